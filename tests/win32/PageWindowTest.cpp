// The pages of the real main window under Wine: the single-card pages' layout
// in real windows, Esc typed into every multi-line box, and the bytes that
// the write page hands to the library for Chinese text.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "EmulatorClient.h"
#include "Operator.h"
#include "MainFormFixture.h"
#include "app/MainForm.h"
#include "pages/Aboutframe01.h"
#include "pages/Directframe01.h"
#include "pages/Directframe02.h"
#include "pages/Mreadcardframe01.h"
#include "pages/Mwirtecardframe01.h"
#include "pages/Readcardframe01.h"
#include "pages/Wirtecardframe01.h"
#include "pages/Writetextframe01.h"
#include "ui/Application.h"
#include "ui/win32/Win32Backend.h"

namespace {

using namespace std::chrono_literals;
using ui::win32::handleOf;

// The emulator copy that the window loaded, with its control interface.
using Emulator = emu::Client;

class PageWindowTest : public ::testing::Test, protected WithMainForm {
 protected:
  void SetUp() override {
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
  // Automatic connection: the emulator answers the three-track model, so
  // every track button of the card pages can be used.
  void connect() {
    if (form->PageControl1->activeSheet() != form->TabSheet1) selectTab("系统初始化");
    op::BoxAnswerer answerer(IDOK);
    op::press(button("自动连机"));
    ASSERT_TRUE(answerer.waitFor(1));
    ASSERT_EQ(answerer.boxes()[0].text, "联机成功！");
    ASSERT_TRUE(op::pumpUntil([&] { return dynamic_cast<TReadCardFrame1*>(form->OperationPage.get()); }));
    op::pump(100ms);
  }
  template <class Page>
  Page* openPage(const char* caption, std::unique_ptr<ui::Frame>& slot) {
    op::press(button(caption));
    if (!op::pumpUntil([&] { return dynamic_cast<Page*>(slot.get()) != nullptr; })) return nullptr;
    op::pump(100ms);
    return dynamic_cast<Page*>(slot.get());
  }
  // Types the key into every multi-line box of every page.
  void sweepMultiLineBoxes(UINT vk);

  Emulator emulator;
};

// --- Esc and Enter in multi-line boxes ---

// A key typed into a box through the program's message loop, as the keyboard
// does; the box and every window that holds it are still there and shown.
::testing::AssertionResult survivesKey(UINT vk, const char* what, HWND box, const std::vector<HWND>& holders) {
  if (!box) return ::testing::AssertionFailure() << what << ": no window";
  SetFocus(box);
  if (GetFocus() != box) return ::testing::AssertionFailure() << what << ": cannot take the focus";
  op::key(box, vk);
  op::pump(100ms);
  if (!IsWindow(box) || !IsWindowVisible(box))
    return ::testing::AssertionFailure() << what << ": the box is gone";
  for (std::size_t i = 0; i < holders.size(); ++i)
    if (!IsWindow(holders[i]) || !IsWindowVisible(holders[i]))
      return ::testing::AssertionFailure() << what << ": holder " << i << " is gone";
  if (ui::app().terminated()) return ::testing::AssertionFailure() << what << ": the program ended";
  return ::testing::AssertionSuccess();
}

void PageWindowTest::sweepMultiLineBoxes(UINT vk) {
  auto survives = [vk](const char* what, HWND box, const std::vector<HWND>& holders) {
    return survivesKey(vk, what, box, holders);
  };
  HWND sheet1 = handleOf(*form->TabSheet1);
  ASSERT_TRUE(survives("status line", handleOf(*form->Memo1), {sheet1, top}));

  // The three help pages.
  selectTab("说明");
  HWND sheet3 = handleOf(*form->TabSheet3);
  auto* instructions = dynamic_cast<TDirectFrame1*>(form->HelpPage.get());
  ASSERT_NE(instructions, nullptr);
  ASSERT_TRUE(survives("instructions", handleOf(*instructions->Memo1),
                          {handleOf(*instructions), sheet3, top}));
  auto* functions = openPage<TDirectFrame2>("函数及调用", form->HelpPage);
  ASSERT_NE(functions, nullptr);
  ASSERT_TRUE(survives("function reference", handleOf(*functions->Memo1),
                          {handleOf(*functions), sheet3, top}));
  auto* about = openPage<TAboutFrame1>("关于", form->HelpPage);
  ASSERT_NE(about, nullptr);
  ASSERT_TRUE(survives("about", handleOf(*about->Memo1), {handleOf(*about), sheet3, top}));

  // The card pages, with all three track boxes in use.
  connect();
  HWND sheet2 = handleOf(*form->TabSheet2);
  auto checkCardPage = [&](pages::SingleCardFrame& page, const std::string& name) {
    op::press(handleOf(*page.RadioButton6));
    ASSERT_TRUE(op::pumpUntil([&] { return page.TrackSelection == 6; }));
    const std::vector<HWND> holders{handleOf(page), sheet2, top};
    ASSERT_TRUE(survives((name + " Memo1").c_str(), handleOf(*page.Memo1), holders));
    ASSERT_TRUE(survives((name + " Memo2").c_str(), handleOf(*page.Memo2), holders));
    ASSERT_TRUE(survives((name + " Memo3").c_str(), handleOf(*page.Memo3), holders));
  };
  auto* readPage = dynamic_cast<TReadCardFrame1*>(form->OperationPage.get());
  ASSERT_NE(readPage, nullptr);
  checkCardPage(*readPage, "read page");
  if (HasFatalFailure()) return;
  auto* writePage = openPage<TWirteCardFrame1>("写卡测试", form->OperationPage);
  ASSERT_NE(writePage, nullptr);
  checkCardPage(*writePage, "write page");
  if (HasFatalFailure()) return;
  auto* readingPage = openPage<TMReadCardFrame1>("连续读卡", form->OperationPage);
  ASSERT_NE(readingPage, nullptr);
  {
    // Esc is the log's key to stop a run; whatever it says, it is answered.
    op::BoxAnswerer answerer(IDOK);
    ASSERT_TRUE(survives("continuous-read log", handleOf(*readingPage->Memo1),
                            {handleOf(*readingPage), sheet2, top}));
  }
  // The continuous write's fixed texts (its log's Esc is the stop key, tested
  // with that page) and the text-file page's log.
  auto* writingPage = openPage<TMWirteCardFrame1>("连续写卡", form->OperationPage);
  ASSERT_NE(writingPage, nullptr);
  op::press(handleOf(*writingPage->RadioButton1));
  ASSERT_TRUE(op::pumpUntil([&] { return writingPage->TrackSelection == 1; }));
  ASSERT_TRUE(survives("continuous-write Memo1", handleOf(*writingPage->Memo1),
                          {handleOf(*writingPage), sheet2, top}));
  auto* textPage = openPage<TWriteTextFrame1>("写文本文件", form->OperationPage);
  ASSERT_NE(textPage, nullptr);
  ASSERT_TRUE(survives("text-file log", handleOf(*textPage->Memo1),
                          {handleOf(*textPage), sheet2, top}));

  // The window still works: back to the first tab.
  selectTab("系统初始化");
  EXPECT_TRUE(IsWindowVisible(sheet1));
  EXPECT_FALSE(op::boxOpen());
}

TEST_F(PageWindowTest, EscInAnyMultiLineBoxLeavesEveryPageInPlace) { sweepMultiLineBoxes(VK_ESCAPE); }

// Enter is a line break in a box, never the form's key.
TEST_F(PageWindowTest, EnterInAnyMultiLineBoxLeavesEveryPageInPlace) { sweepMultiLineBoxes(VK_RETURN); }

// --- Layout of the single-card pages ---

struct Row {
  const char* name;
  const char* parent;  // "" for the page itself
  op::Place place;
  const char* caption;
};

void expectLayout(const ui::Frame& page, const std::vector<Row>& rows) {
  HWND frame = handleOf(page);
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const ui::Control* c = page.findChild(r.name);
    ASSERT_NE(c, nullptr);
    HWND h = handleOf(*c);
    ASSERT_NE(h, nullptr);
    const ui::Control* parent = *r.parent ? page.findChild(r.parent) : &page;
    ASSERT_NE(parent, nullptr);
    EXPECT_EQ(GetParent(h), parent == &page ? frame : handleOf(*parent));
    EXPECT_EQ(op::placeOf(h), r.place);
    EXPECT_EQ(op::text(h), r.caption);
    EXPECT_TRUE(IsWindowVisible(h));
  }
}

TEST_F(PageWindowTest, ReadCardPageLaysOutAsDescribed) {
  connect();
  auto* page = dynamic_cast<TReadCardFrame1*>(form->OperationPage.get());
  ASSERT_NE(page, nullptr);
  HWND frame = handleOf(*page);
  EXPECT_EQ(GetParent(frame), handleOf(*form->Panel1));
  EXPECT_EQ(op::placeOf(frame), (op::Place{0, 0, 500, 280}));
  expectLayout(*page, {
                          {"Label4", "", {216, 8, 65, 13}, "读卡测试"},
                          {"Label1", "", {16, 21, 65, 13}, "1轨数据"},
                          {"Memo1", "", {16, 35, 465, 33}, ""},
                          {"Label2", "", {16, 70, 57, 13}, "2轨数据"},
                          {"Memo2", "", {16, 84, 465, 33}, ""},
                          {"Label3", "", {16, 119, 65, 13}, "3轨数据"},
                          {"Memo3", "", {16, 134, 465, 33}, ""},
                          {"GroupBox1", "", {16, 177, 465, 57}, "请选择轨道"},
                          {"RadioButton1", "GroupBox1", {16, 24, 41, 17}, "1轨"},
                          {"RadioButton2", "GroupBox1", {84, 24, 41, 17}, "2轨"},
                          {"RadioButton3", "GroupBox1", {153, 24, 41, 17}, "3轨"},
                          {"RadioButton4", "GroupBox1", {233, 24, 49, 17}, "1,2轨"},
                          {"RadioButton5", "GroupBox1", {315, 24, 49, 17}, "2,3轨"},
                          {"RadioButton6", "GroupBox1", {394, 24, 58, 17}, "1,2,3轨"},
                          {"Button1", "", {208, 248, 75, 25}, "读卡"},
                      });
  op::screenshot(top, "read-card-page");
}

TEST_F(PageWindowTest, WriteCardPageLaysOutAsDescribed) {
  connect();
  auto* page = openPage<TWirteCardFrame1>("写卡测试", form->OperationPage);
  ASSERT_NE(page, nullptr);
  HWND frame = handleOf(*page);
  EXPECT_EQ(GetParent(frame), handleOf(*form->Panel1));
  EXPECT_EQ(op::placeOf(frame), (op::Place{0, 0, 501, 280}));
  expectLayout(*page, {
                          {"Label4", "", {216, 8, 73, 13}, "写卡测试"},
                          {"Label1", "", {16, 21, 65, 13}, "1轨数据"},
                          {"selectuplw", "", {71, 19, 97, 17}, "小写转大写"},
                          {"Memo1", "", {16, 35, 465, 33}, ""},
                          {"Label2", "", {16, 70, 65, 13}, "2轨数据"},
                          {"Memo2", "", {16, 84, 465, 33}, ""},
                          {"Label3", "", {16, 119, 65, 13}, "3轨数据"},
                          {"Memo3", "", {16, 134, 465, 33}, ""},
                          {"GroupBox1", "", {16, 177, 465, 57}, "请选择轨道"},
                          {"RadioButton1", "GroupBox1", {16, 24, 41, 17}, "1轨"},
                          {"RadioButton2", "GroupBox1", {86, 24, 41, 17}, "2轨"},
                          {"RadioButton3", "GroupBox1", {161, 24, 41, 17}, "3轨"},
                          {"RadioButton4", "GroupBox1", {238, 24, 49, 17}, "1,2轨"},
                          {"RadioButton5", "GroupBox1", {323, 24, 49, 17}, "2,3轨"},
                          {"RadioButton6", "GroupBox1", {400, 25, 61, 17}, "1,2,3轨"},
                          {"Button1", "", {208, 248, 75, 25}, "写卡"},
                      });
  // The check box's own font.
  LOGFONTW lf{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(handleOf(*page->selectuplw), WM_GETFONT, 0, 0)),
             sizeof lf, &lf);
  EXPECT_EQ(std::wstring(lf.lfFaceName), L"宋体");
  EXPECT_EQ(lf.lfHeight, -12);
  op::screenshot(top, "write-card-page");
}

// --- Device bytes of Chinese text ---

TEST_F(PageWindowTest, UpperCaseLeavesChineseCharactersWholeInTheDeviceCodePage) {
  if (GetACP() != 936) GTEST_SKIP() << "needs code page 936";
  connect();
  auto* page = openPage<TWirteCardFrame1>("写卡测试", form->OperationPage);
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->TrackSelection, 1);
  HWND input = handleOf(*page->Memo1);
  SetFocus(input);
  op::type(input, "abc磁卡");
  op::press(handleOf(*page->selectuplw));
  ASSERT_TRUE(op::pumpUntil([&] { return page->selectuplw->checked(); }));
  emulator.clearLog();
  {
    // The encoder takes no Chinese on track 1; what matters is what was sent.
    op::BoxAnswerer answerer(IDOK);
    op::press(handleOf(*page->Button1));
    ASSERT_TRUE(answerer.waitFor(1, 10000ms));
    EXPECT_EQ(answerer.boxes()[0].text, "-14:写卡失败！");
  }
  const std::vector<std::string> log = emulator.log();
  ASSERT_EQ(log.size(), 1u);
  // writecard(port, 1, buffer A, buffer B, mode, time-out)
  EXPECT_EQ(log[0].rfind("writecard(", 0), 0u) << log[0];
  EXPECT_NE(log[0].find(",1,\"\",\"ABC\\xB4\\xC5\\xBF\\xA8\","), std::string::npos) << log[0];
  EXPECT_EQ(op::text(input), "abc磁卡");
}

}  // namespace
