// The text-file page in the real main window under Wine: its layout, the
// system's file-open dialog, a run with the emulated reader whose log is read
// back from the real edit control, the real failure dialog, and a file that
// another program holds open for writing.
#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "../pages/TextFileSupport.h"
#include "EmulatorClient.h"
#include "Operator.h"
#include "MainFormFixture.h"
#include "app/MainForm.h"
#include "pages/Readcardframe01.h"
#include "pages/Writetextframe01.h"
#include "ui/Application.h"
#include "ui/win32/Text.h"
#include "ui/win32/Win32Backend.h"

namespace {

using namespace std::chrono_literals;
using ui::win32::handleOf;

// The emulator copy that the window loaded, with its control interface.
struct TextFileEmulator : emu::Client {
  std::vector<std::string> writes() const {
    std::vector<std::string> lines;
    for (std::string& line : log())
      if (line.rfind("writecard(", 0) == 0) lines.push_back(std::move(line));
    return lines;
  }
};

// The open dialogs of this thread (message boxes and the file dialog).
BOOL CALLBACK collectDialogs(HWND hwnd, LPARAM lp) {
  if (op::className(hwnd) == "#32770" && IsWindowVisible(hwnd))
    reinterpret_cast<std::vector<HWND>*>(lp)->push_back(hwnd);
  return TRUE;
}
HWND openDialog() {
  std::vector<HWND> found;
  EnumThreadWindows(GetCurrentThreadId(), collectDialogs, reinterpret_cast<LPARAM>(&found));
  return found.empty() ? nullptr : found.front();
}

// The text of a message box.
std::string staticText(HWND box) {
  for (HWND c : op::children(box)) {
    if (op::className(c) != "Static" && op::className(c) != "STATIC") continue;
    if ((GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) continue;
    if (!op::text(c).empty()) return op::text(c);
  }
  return {};
}

// Controls of the common file dialog's template.
constexpr int kFilterCombo = 0x470;    // cmb1
constexpr int kFileNameCombo = 0x47c;  // cmb13
constexpr int kFileNameEdit = 0x480;   // edt1

std::vector<std::string> comboItems(HWND combo) {
  std::vector<std::string> items;
  const LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    std::wstring item(static_cast<std::size_t>(SendMessageW(combo, CB_GETLBTEXTLEN, i, 0)) + 1, L'\0');
    SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item.data()));
    item.resize(wcslen(item.c_str()));
    items.push_back(ui::win32::narrow(item.data(), static_cast<int>(item.size())));
  }
  return items;
}

class TextFileWindowTest : public ::testing::Test, protected WithMainForm {
 protected:
  void SetUp() override {
    showMainForm();
    ASSERT_NE(top, nullptr);
    ASSERT_TRUE(emulator.controllable());
    emulator.resetState();
    emulator.setSwipeDelayMs(0);
    connect();
    op::press(button("写文本文件"));
    ASSERT_TRUE(op::pumpUntil([&] { return dynamic_cast<TWriteTextFrame1*>(form->OperationPage.get()); }));
    op::pump(100ms);
    page = dynamic_cast<TWriteTextFrame1*>(form->OperationPage.get());
    emulator.clearLog();
  }
  void TearDown() override {
    closeMainForm();
  }
  HWND button(const char* caption) { return op::findByText(top, caption, "Button"); }
  void connect() {
    op::BoxAnswerer answerer(IDOK);
    op::press(button("自动连机"));
    ASSERT_TRUE(answerer.waitFor(1));
    ASSERT_EQ(answerer.boxes()[0].text, "联机成功！");
    ASSERT_TRUE(op::pumpUntil([&] { return dynamic_cast<TReadCardFrame1*>(form->OperationPage.get()); }));
    op::pump(100ms);
  }
  HWND h(const ui::Control* c) { return handleOf(*c); }
  // Starts a run of the file under the radio item.
  void start(const std::string& path, int item) {
    SetWindowTextW(h(page->Edit1), ui::win32::widen(path).c_str());
    op::press(op::children(h(page->RadioGroup1))[static_cast<std::size_t>(item)]);
    ASSERT_TRUE(op::pumpUntil([&] { return page->RadioGroup1->itemIndex() == item; }));
    op::press(h(page->Button3));
  }
  bool startEnabledAgain() {
    return op::pumpUntil([&] { return IsWindowEnabled(h(page->Button3)) && !page->running(); });
  }

  cardtest::TempFolder files;
  TWriteTextFrame1* page = nullptr;
  TextFileEmulator emulator;
};

TEST_F(TextFileWindowTest, LaysOutItsControlsInPlace) {
  ASSERT_NE(page, nullptr);
  HWND frame = h(page);
  EXPECT_EQ(GetParent(frame), h(form->Panel1));
  EXPECT_EQ(op::placeOf(frame), (op::Place{0, 0, 501, 278}));
  struct Row {
    const ui::Control* control;
    op::Place place;
    const char* caption;
  };
  const Row rows[] = {
      {page->Label1, {191, 8, 81, 13}, "写文本文件"},
      {page->Button1, {12, 25, 75, 25}, "选择文件"},
      {page->Edit1, {95, 29, 247, 21}, ""},
      {page->Button3, {352, 27, 69, 28}, "开始写卡"},
      {page->Button5, {429, 27, 65, 27}, "停止写卡"},
      {page->RadioGroup1, {7, 53, 336, 42}, "请选择轨道"},
      {page->CheckBox1, {348, 61, 147, 18}, "写卡失败重写该次数据"},
      {page->CheckBox2, {363, 79, 130, 17}, "取消写卡超时限制"},
      {page->Memo1, {10, 112, 483, 153}, ""},
      {page->Button4, {412, 242, 53, 23}, "清  空"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.control->name());
    HWND w = h(r.control);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(GetParent(w), frame);
    EXPECT_EQ(op::placeOf(w), r.place);
    EXPECT_EQ(op::text(w), r.caption);
    EXPECT_TRUE(IsWindowVisible(w));
  }
  std::vector<std::string> items;
  for (HWND item : op::children(h(page->RadioGroup1))) items.push_back(op::text(item));
  EXPECT_EQ(items, (std::vector<std::string>{"1轨", "2股", "3轨", "1,2轨", "2,3轨", "1,2,3轨"}));
  EXPECT_EQ(SendMessageW(op::children(h(page->RadioGroup1))[0], BM_GETCHECK, 0, 0), BST_CHECKED);
  for (const ui::CheckBox* box : {page->CheckBox1, page->CheckBox2})
    EXPECT_TRUE(GetWindowLongW(h(box), GWL_STYLE) & BS_LEFTTEXT) << box->name();
  EXPECT_EQ(SendMessageW(h(page->CheckBox1), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(SendMessageW(h(page->CheckBox2), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_TRUE(GetWindowLongW(h(page->Memo1), GWL_STYLE) & WS_VSCROLL);
  EXPECT_FALSE(IsWindowEnabled(h(page->Button5)));
  // The clear button lies over the memo: it comes first in the z-order, and
  // a click on its place reaches it.
  std::vector<HWND> order;
  for (HWND c = GetWindow(frame, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) order.push_back(c);
  const auto at = [&](HWND w) { return std::find(order.begin(), order.end(), w) - order.begin(); };
  EXPECT_LT(at(h(page->Button4)), at(h(page->Memo1)));
  EXPECT_EQ(ChildWindowFromPoint(frame, POINT{460, 260}), h(page->Button4));
  op::screenshot(top, "text-file-page");
}

TEST_F(TextFileWindowTest, TheFileDialogOffersTextFilesAndFillsTheEdit) {
  ASSERT_NE(page, nullptr);
  const std::string chosen = files.write("卡片数据.txt", "1\n");
  std::vector<std::string> filters;
  {
    // Look at it, then cancel: nothing changes.
    op::BoxAnswerer answerer(IDCANCEL, [&] {
      if (HWND d = openDialog()) filters = comboItems(GetDlgItem(d, kFilterCombo));
      return true;
    });
    op::press(h(page->Button1));
    ASSERT_TRUE(answerer.waitFor(1));
    EXPECT_FALSE(answerer.boxes()[0].caption.empty());
  }
  ASSERT_EQ(filters.size(), 1u);
  EXPECT_EQ(filters[0].rfind("文本文件", 0), 0u) << filters[0];
  EXPECT_EQ(op::text(h(page->Edit1)), "");
  {
    // The name typed without its extension: the default extension is added.
    const std::string typed = chosen.substr(0, chosen.size() - 4);
    op::BoxAnswerer answerer(IDOK, [&] {
      HWND d = openDialog();
      if (!d) return false;
      HWND name = GetDlgItem(d, kFileNameCombo);
      if (!name) name = GetDlgItem(d, kFileNameEdit);
      SetWindowTextW(name, ui::win32::widen(typed).c_str());
      return true;
    });
    op::press(h(page->Button1));
    ASSERT_TRUE(answerer.waitFor(1));
  }
  ASSERT_TRUE(op::pumpUntil([&] { return !op::text(h(page->Edit1)).empty(); }));
  EXPECT_EQ(op::text(h(page->Edit1)), chosen);
}

TEST_F(TextFileWindowTest, WritesTheCardsOfASmallFileAndLogsThemInTheRealEditControl) {
  ASSERT_NE(page, nullptr);
  start(files.write("磁卡 数据.txt", "1111\r\n2222\r\n"), 1);
  ASSERT_TRUE(startEnabledAgain());
  EXPECT_EQ(op::text(h(page->Memo1)),
            "\r\n第1次写卡成功！\r\n第二轨数据：\r\n1111\r\n\r\n第2次写卡成功！\r\n第二轨数据：\r\n2222");
  const auto writes = emulator.writes();
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_NE(writes[0].find(",2,\"1111\",\"\","), std::string::npos) << writes[0];
  EXPECT_TRUE(IsWindowEnabled(h(page->Button5)));
  op::screenshot(top, "text-file-page-after-run");
  // Stop after the end still works and leaves the page idle.
  op::press(h(page->Button5));
  ASSERT_TRUE(op::pumpUntil([&] { return !IsWindowEnabled(h(page->Button5)); }));
  EXPECT_TRUE(IsWindowEnabled(h(page->Button3)));
}

TEST_F(TextFileWindowTest, TheRealFailureDialogRewritesOnOkAndEndsOnCancel) {
  ASSERT_NE(page, nullptr);
  const std::int32_t failures[] = {-6, -7};
  emulator.scriptResults("writecard", failures, 2);
  start(files.write("fail.txt", "1111\n2222\n"), 1);
  // The first dialog is answered OK here, the second one Cancel by the
  // answerer (one answerer at a time sees the boxes).
  HWND first = nullptr;
  std::string firstText;
  op::BoxAnswerer answerer(IDCANCEL, [&] {
    HWND d = openDialog();
    if (!d || d == first) return false;
    if (first) return true;
    first = d;
    firstText = staticText(d);
    PostMessageW(GetDlgItem(d, IDOK), BM_CLICK, 0, 0);
    return false;
  });
  ASSERT_TRUE(answerer.waitFor(1));
  EXPECT_EQ(firstText, "第1次写卡失败！\r\n  错误代码-6\r\n   是否继续");
  const op::Box& second = answerer.boxes()[0];
  EXPECT_EQ(second.text, "第1次写卡失败！\r\n  错误代码-7\r\n   是否继续");
  EXPECT_TRUE(second.hasIcon);
  EXPECT_EQ(second.buttons.size(), 2u);
  EXPECT_EQ(second.caption, "");
  ASSERT_TRUE(startEnabledAgain());
  EXPECT_EQ(op::text(h(page->Memo1)), "\r\n第1次写卡失败！错误代码-6\r\n\r\n第1次写卡失败！错误代码-7");
  const auto writes = emulator.writes();
  ASSERT_EQ(writes.size(), 2u);  // the same line twice, then Cancel
  for (const std::string& w : writes) EXPECT_NE(w.find(",2,\"1111\",\"\","), std::string::npos) << w;
}

TEST_F(TextFileWindowTest, AFileHeldOpenForWritingIsRefusedWithTheErrorBox) {
  ASSERT_NE(page, nullptr);
  const std::string path = files.write("打开中.txt", "1111\n");
  HANDLE writer = CreateFileW(ui::win32::widen(path).c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(writer, INVALID_HANDLE_VALUE);
  {
    op::BoxAnswerer answerer(IDOK);
    start(path, 1);
    ASSERT_TRUE(answerer.waitFor(1));
    EXPECT_EQ(answerer.boxes()[0].text,
              "无法读取文件“" + path + "”：文件正被其他程序写入或锁定，请关闭该程序后再试。");
  }
  CloseHandle(writer);
  EXPECT_TRUE(IsWindowEnabled(h(page->Button3)));
  EXPECT_FALSE(IsWindowEnabled(h(page->Button5)));
  EXPECT_TRUE(emulator.writes().empty());
  // Once the writer has gone, the same file is written.
  start(path, 1);
  ASSERT_TRUE(startEnabledAgain());
  EXPECT_EQ(emulator.writes().size(), 1u);
}

}  // namespace
