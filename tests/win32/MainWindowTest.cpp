// The real main window under Wine, driven as an operator drives it: look at
// the layout, connect, read and write a card with the emulated reader beside
// the test program, switch pages, take screenshots.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "EmulatorClient.h"
#include "Operator.h"
#include "MainFormFixture.h"
#include "app/MainForm.h"
#include "ui/Application.h"
#include "ui/win32/Win32Backend.h"

namespace {

using namespace std::chrono_literals;
using ui::win32::handleOf;

// The emulator copy that the window loaded, with its control interface.
using Emulator = emu::Client;

class MainWindowTest : public ::testing::Test, protected WithMainForm {
 protected:
  void SetUp() override {
    {
      // A box during creation would mean the library did not load.
      op::BoxAnswerer unexpected(IDOK);
      form = std::make_unique<TForm1>();
      startupBoxes = unexpected.boxes().size();
    }
    showMainForm();
    ASSERT_NE(top, nullptr);
    ASSERT_TRUE(emulator.controllable());
    emulator.resetState();
  }
  void TearDown() override {
    closeMainForm();
  }
  HWND button(const char* caption) { return op::findByText(top, caption, "Button"); }
  HWND tabs() { return handleOf(*form->PageControl1); }
  void selectTab(const char* caption) {
    const auto row = op::tabTexts(tabs());
    const auto at = std::find(row.begin(), row.end(), caption);
    ASSERT_NE(at, row.end()) << caption;
    op::clickTab(tabs(), static_cast<int>(at - row.begin()));
    ASSERT_TRUE(op::pumpUntil([&] { return form->PageControl1->activeSheet()->caption() == caption; }));
    op::pump(100ms);
  }
  void connect() {
    op::BoxAnswerer answerer(IDOK);
    op::press(button("手动连机"));
    ASSERT_TRUE(answerer.waitFor(1));
    connectBox = answerer.boxes()[0];
  }

  std::size_t startupBoxes = 0;
  Emulator emulator;
  op::Box connectBox;
};

struct MainRow {
  const char* name;
  op::Place place;
  const char* caption;
};

TEST_F(MainWindowTest, OpensWithTheDescribedLayout) {
  EXPECT_EQ(startupBoxes, 0u);
  EXPECT_EQ(op::text(top), "磁卡读写器测试程序（模拟读卡器）");
  EXPECT_EQ(op::clientSize(top).cx, 680);
  EXPECT_EQ(op::clientSize(top).cy, 435);
  RECT outer;
  GetWindowRect(top, &outer);
  EXPECT_EQ(outer.left, 226);
  EXPECT_EQ(outer.top, 168);
  const LONG style = GetWindowLongW(top, GWL_STYLE);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & (WS_MAXIMIZEBOX | WS_THICKFRAME));

  const MainRow rows[] = {
      {"Image1", {0, 0, 682, 75}, ""},
      {"PageControl1", {0, 75, 681, 361}, ""},
      {"RadioGroup1", {25, 4, 438, 73}, "卡机型号"},
      {"RadioGroup3", {452, 4, 187, 73}, "命令方式"},
      {"RadioGroup2", {25, 89, 616, 73}, "请选择端口"},
      {"RadioGroup4", {25, 177, 616, 64}, "请选择超时时间(ms)"},
      {"Label1", {25, 259, 56, 13}, "联机信息："},
      {"Memo1", {84, 254, 556, 22}, ""},
      {"Button12", {184, 280, 75, 25}, "自动连机"},
      {"Button3", {292, 281, 75, 25}, "手动连机"},
      {"Button11", {400, 280, 75, 25}, "退出"},
      {"Panel1", {153, 23, 500, 280}, ""},
      {"Button1", {32, 32, 85, 25}, "读卡测试"},
      {"Button2", {32, 78, 85, 25}, "写卡测试"},
      {"Button4", {32, 124, 85, 25}, "连续读卡"},
      {"Button5", {32, 171, 85, 25}, "连续写卡"},
      {"Button6", {32, 217, 85, 25}, "写文本文件"},
      {"Button7", {32, 264, 85, 25}, "卡机复位"},
      {"Panel2", {153, 23, 500, 280}, ""},
      {"Button8", {32, 32, 85, 25}, "操作说明"},
      {"Button9", {32, 78, 85, 25}, "函数及调用"},
      {"Button10", {32, 124, 85, 25}, "关于"},
  };
  for (const MainRow& r : rows) {
    ui::Control* c = form->findChild(r.name);
    ASSERT_NE(c, nullptr) << r.name;
    HWND h = handleOf(*c);
    ASSERT_NE(h, nullptr) << r.name;
    EXPECT_EQ(op::placeOf(h), r.place) << r.name;
    EXPECT_EQ(op::text(h), r.caption) << r.name;
  }
  EXPECT_TRUE(GetWindowLongW(handleOf(*form->Memo1), GWL_STYLE) & ES_READONLY);
  EXPECT_TRUE(GetWindowLongW(handleOf(*form->Panel1), GWL_STYLE) & WS_BORDER);

  // Radio groups show their items, blanks included, with the default marked.
  const std::vector<HWND> models = op::children(handleOf(*form->RadioGroup1));
  const char* const modelTexts[] = {"402", "412 ", "423 ", "427 ", "523", "623"};
  ASSERT_EQ(models.size(), 6u);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(op::text(models[i]), modelTexts[i]);
  EXPECT_EQ(SendMessageW(models[0], BM_GETCHECK, 0, 0), BST_CHECKED);
  const std::vector<HWND> modes = op::children(handleOf(*form->RadioGroup3));
  ASSERT_EQ(modes.size(), 2u);
  EXPECT_EQ(op::text(modes[1]), "模式二");
  EXPECT_EQ(SendMessageW(modes[1], BM_GETCHECK, 0, 0), BST_CHECKED);

  // "操作" is not in the tab row before a connection.
  EXPECT_EQ(op::tabTexts(tabs()), (std::vector<std::string>{"系统初始化", "说明"}));
  EXPECT_TRUE(IsWindowVisible(handleOf(*form->TabSheet1)));
  EXPECT_FALSE(IsWindowVisible(handleOf(*form->TabSheet2)));
  op::screenshot(top, "main-start");
}

TEST_F(MainWindowTest, ConnectReadWriteAndBrowseThePages) {
  connect();
  EXPECT_EQ(connectBox.text, "联机成功！");
  EXPECT_EQ(connectBox.caption, "");
  EXPECT_EQ(connectBox.owner, top);
  EXPECT_EQ(op::text(handleOf(*form->Memo1)).rfind("您的卡机型号为ZVX402（单2轨），", 0), 0u)
      << op::text(handleOf(*form->Memo1));
  EXPECT_EQ(op::tabTexts(tabs()), (std::vector<std::string>{"系统初始化", "操作", "说明"}));
  selectTab("系统初始化");
  op::screenshot(top, "tab1-system-init");

  // The read page came with the connection; one swipe fills the track 2 box.
  selectTab("操作");
  EXPECT_TRUE(IsWindowVisible(handleOf(*form->TabSheet2)));
  EXPECT_FALSE(IsWindowVisible(handleOf(*form->TabSheet1)));
  ASSERT_TRUE(form->OperationPage);
  EXPECT_EQ(GetParent(handleOf(*form->OperationPage)), handleOf(*form->Panel1));
  EXPECT_EQ(op::placeOf(handleOf(*form->OperationPage)).left, 0);
  emulator.setTrack(2, "6222020200112233445");
  HWND memo2 = handleOf(*form->OperationPage->find<ui::Memo>("Memo2"));
  op::press(op::findByText(handleOf(*form->Panel1), "读卡", "Button"));
  ASSERT_TRUE(op::pumpUntil([&] { return op::text(memo2) == "6222020200112233445"; }, 8000ms))
      << op::text(memo2);
  op::screenshot(top, "tab2-read-card");

  // The write page: type track 2 and write it.
  op::press(button("写卡测试"));
  ASSERT_TRUE(op::pumpUntil([&] {
    return form->OperationPage && form->OperationPage->findChild("selectuplw") != nullptr;
  }));
  op::pump(100ms);
  HWND input = handleOf(*form->OperationPage->find<ui::Memo>("Memo2"));
  SetFocus(input);
  op::type(input, "1234567890");
  {
    op::BoxAnswerer answerer(IDOK);
    op::press(op::findByText(handleOf(*form->Panel1), "写卡", "Button"));
    ASSERT_TRUE(answerer.waitFor(1, 10000ms));
    EXPECT_EQ(answerer.boxes()[0].text, "写卡成功！");
    EXPECT_EQ(answerer.boxes()[0].owner, top);
  }
  EXPECT_EQ(emulator.track(2), "1234567890");
  op::screenshot(top, "tab2-write-card");

  // Help pages: the instructions come with the tab, the about page on its button.
  selectTab("说明");
  ASSERT_TRUE(form->HelpPage);
  EXPECT_NE(op::findByText(handleOf(*form->Panel2), "测试程序使用说明"), nullptr);
  op::screenshot(top, "tab3-instructions");
  op::press(button("函数及调用"));
  ASSERT_TRUE(op::pumpUntil(
      [&] { return op::findByText(handleOf(*form->Panel2), "函数参数及调用说明") != nullptr; }));
  op::screenshot(top, "tab3-functions");
  op::press(button("关于"));
  ASSERT_TRUE(op::pumpUntil([&] { return form->HelpPage && form->HelpPage->findChild("Image1"); }));
  op::pump(100ms);
  op::screenshot(top, "tab3-about");

  selectTab("系统初始化");
  EXPECT_TRUE(IsWindowVisible(handleOf(*form->TabSheet1)));
  EXPECT_FALSE(IsWindowVisible(handleOf(*form->TabSheet3)));
}

TEST_F(MainWindowTest, EscNeitherClosesNorStopsAndExitEndsTheProgram) {
  HWND connectButton = button("手动连机");
  SetFocus(connectButton);
  PostMessageW(connectButton, WM_KEYDOWN, VK_ESCAPE, 0);
  PostMessageW(connectButton, WM_CHAR, VK_ESCAPE, 0);
  op::pump(100ms);
  EXPECT_TRUE(IsWindowVisible(top));
  EXPECT_FALSE(ui::app().terminated());
  EXPECT_FALSE(op::boxOpen());

  op::press(button("退出"));
  op::pump(100ms);
  EXPECT_TRUE(ui::app().terminated());
  EXPECT_FALSE(IsWindowVisible(top));
}

}  // namespace
