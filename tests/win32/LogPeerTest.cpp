// The batch logs' own control, driven as an operator does: appends from the
// program, keys, mouse, clipboard and the context menu.
#include <windows.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "Operator.h"
#include "ui/Application.h"
#include "ui/Form.h"
#include "ui/GrowingText.h"
#include "ui/win32/LogPeer.h"
#include "ui/win32/Text.h"
#include "ui/win32/Win32Backend.h"

namespace {

using namespace std::chrono_literals;
using ui::Kind;
using ui::win32::handleOf;

// clang-format off
const ui::FormRow kLogRows[] = {
  {Kind::Panel,  "Sheet",  "",       0,   0, 680, 435, "",  ""},
  {Kind::Memo,   "Log",    "Sheet", 16,  16, 354, 195, "",  "vscroll;log"},
  {Kind::Memo,   "Quiet",  "Sheet", 16, 220, 354, 100, "",  "vscroll;log"},
  {Kind::Button, "Other",  "Sheet", 400, 16,  75,  25, "别处", ""},
};
// clang-format on

class LogForm : public ui::Form {
 public:
  LogForm() : ui::Form("LogForm") {
    setCaption("日志测试");
    setBounds({40, 30, 680, 435});
    build(kLogRows);
  }
  ui::Memo* memo(const char* name) { return find<ui::Memo>(name); }
};

std::string clipboardText() {
  std::string out;
  if (!OpenClipboard(nullptr)) return "(no clipboard)";
  if (HANDLE h = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* p = static_cast<const wchar_t*>(GlobalLock(h))) {
      out = ui::win32::narrow(p, static_cast<int>(wcslen(p)));
      GlobalUnlock(h);
    }
  }
  CloseClipboard();
  return out;
}

void setClipboardText(const std::string& text) { ASSERT_TRUE(op::setClipboardText(text)); }

class LogPeerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form = std::make_unique<LogForm>();
    ui::app().setMainForm(form.get());
    form->showForm();
    log = form->memo("Log");
    h = handleOf(*log);
    op::pump(100ms);
    SetFocus(h);
  }
  void TearDown() override {
    setModifiers(false, false);
    ui::app().setMainForm(nullptr);
    form.reset();
    ui::app().resetTerminated();
  }

  // Posted keys do not change the keyboard state: the modifiers are set by hand.
  static void setModifiers(bool ctrl, bool shift) {
    BYTE state[256];
    GetKeyboardState(state);
    state[VK_CONTROL] = ctrl ? 0x80 : 0;
    state[VK_SHIFT] = shift ? 0x80 : 0;
    SetKeyboardState(state);
  }
  // A key as the keyboard gives it, through the program's own message loop.
  void press(UINT vk, bool ctrl = false, bool shift = false) {
    setModifiers(ctrl, shift);
    op::key(GetFocus(), vk);
    op::pump(30ms);
    setModifiers(false, false);
  }
  long lines() const { return static_cast<long>(SendMessageW(h, EM_GETLINECOUNT, 0, 0)); }
  long top() const { return static_cast<long>(SendMessageW(h, EM_GETFIRSTVISIBLELINE, 0, 0)); }
  int lineHeight() const {
    HDC dc = GetDC(h);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0)));
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(h, dc);
    return tm.tmHeight;
  }
  long rowsInView() const {
    RECT rc;
    GetClientRect(h, &rc);
    return rc.bottom / lineHeight();
  }
  void click(int x, int y, bool shift = false) {
    const LPARAM at = MAKELPARAM(x, y);
    SendMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON | (shift ? MK_SHIFT : 0), at);
    SendMessageW(h, WM_LBUTTONUP, shift ? MK_SHIFT : 0, at);
  }

  std::unique_ptr<LogForm> form;
  ui::Memo* log = nullptr;
  HWND h = nullptr;
};

TEST_F(LogPeerTest, AppendsKeepEveryLineInOrderAndFollowTheEndUnlessScrolledBack) {
  EXPECT_EQ(op::className(h), "CardTestLog");
  for (int i = 1; i <= 20000; ++i)
    log->addLine("第" + std::to_string(i) + "次读卡成功！\r\n1轨：B62000^DEMO\r\n2轨：6200=2912");
  op::pump(100ms);
  const auto all = log->lines();
  ASSERT_EQ(all.size(), 60000u);
  EXPECT_EQ(all[0], "第1次读卡成功！");
  EXPECT_EQ(all[29997], "第10000次读卡成功！");
  EXPECT_EQ(all[59998], "1轨：B62000^DEMO");
  EXPECT_EQ(all[59999], "2轨：6200=2912");
  // The window's text is the component's, read the way other programs read it.
  EXPECT_EQ(op::text(h), log->text());
  EXPECT_EQ(lines(), 60000);
  EXPECT_EQ(top(), 60000 - rowsInView());

  // Scrolled back for reading: new cards do not pull the view away.
  SendMessageW(h, WM_VSCROLL, SB_TOP, 0);
  EXPECT_EQ(top(), 0);
  log->addLine("第20001次读卡成功！");
  op::pump(100ms);
  EXPECT_EQ(top(), 0);
  EXPECT_EQ(log->lines().back(), "第20001次读卡成功！");
  // Back at the end, it follows again.
  press(VK_END, true);
  log->addLine("第20002次读卡成功！");
  op::pump(100ms);
  EXPECT_EQ(top(), lines() - rowsInView());

  log->clear();
  EXPECT_EQ(op::text(h), "");
  EXPECT_EQ(lines(), 1);
  EXPECT_EQ(top(), 0);
  log->addLine("清空后第一行");
  EXPECT_EQ(log->lines(), std::vector<std::string>{"清空后第一行"});
}

TEST_F(LogPeerTest, TypingGoesThroughTheKeyHandlerAndLandsAtTheCaret) {
  std::u32string seen;
  log->onKeyPress = [&](char32_t& key) { seen += key; };
  log->setText("甲乙\r\n丙");
  press(VK_END, true);
  op::type(h, "丁");
  EXPECT_EQ(log->text(), "甲乙\r\n丙丁");
  op::key(h, VK_RETURN);
  op::pump(30ms);
  op::type(h, "戊");
  EXPECT_EQ(log->text(), "甲乙\r\n丙丁\r\n戊");
  // Esc is the handler's; it types nothing and closes nothing.
  op::key(h, VK_ESCAPE);
  op::pump(30ms);
  EXPECT_EQ(seen.back(), U'\x1b');
  EXPECT_EQ(log->text(), "甲乙\r\n丙丁\r\n戊");
  EXPECT_TRUE(IsWindowVisible(h));
  // Backspace takes the line break as one step.
  press(VK_BACK);
  press(VK_BACK);
  EXPECT_EQ(log->text(), "甲乙\r\n丙丁");

  // In the middle of the text, while the program appends at the end.
  press(VK_HOME, true);
  press(VK_RIGHT);
  log->addLine("新的一行");
  op::type(h, "中");
  op::pump(100ms);
  EXPECT_EQ(log->text(), "甲中乙\r\n丙丁\r\n新的一行");

  // A character outside the basic plane comes as two halves and goes as one.
  press(VK_END, true);
  op::type(h, "\xF0\x9D\x84\x9E");
  EXPECT_EQ(log->lines().back(), "新的一行\xF0\x9D\x84\x9E");
  press(VK_LEFT);
  op::type(h, "前");
  EXPECT_EQ(log->lines().back(), "新的一行前\xF0\x9D\x84\x9E");
  press(VK_END);
  press(VK_BACK);
  EXPECT_EQ(log->lines().back(), "新的一行前");
}

TEST_F(LogPeerTest, AHandlerThatKeepsEveryKeyLeavesTheTextAlone) {
  std::u32string seen;
  log->onKeyPress = [&](char32_t& key) {
    seen += key;
    key = 0;
  };
  log->setText("批次日志");
  setClipboardText("粘贴的");
  press(VK_END, true);
  op::type(h, "x");
  op::key(h, VK_RETURN);
  press(VK_BACK);
  press('V', true);  // its character goes to the handler too
  op::pump(30ms);
  EXPECT_EQ(log->text(), "批次日志");
  EXPECT_EQ(seen, std::u32string(U"x\r\b\x16"));
  // Reading is not typing: copying still works.
  press('A', true);
  press('C', true);
  EXPECT_EQ(clipboardText(), "批次日志");
}

TEST_F(LogPeerTest, SelectionAndClipboardTakeExactlyTheChosenText) {
  log->setText("第一行 alpha\r\n第二行 beta\r\n第三行 gamma");
  press('A', true);
  press('C', true);
  EXPECT_EQ(clipboardText(), "第一行 alpha\r\n第二行 beta\r\n第三行 gamma");

  // Keys: the second row from its start to its end.
  press(VK_HOME, true);
  press(VK_DOWN);
  press(VK_END, false, true);
  SendMessageW(h, WM_COPY, 0, 0);
  EXPECT_EQ(clipboardText(), "第二行 beta");

  // Mouse: from the start of the second row to the end of the third.
  const int row = lineHeight();
  click(1, row + row / 2);
  click(340, 2 * row + row / 2, true);
  SendMessageW(h, WM_COPY, 0, 0);
  EXPECT_EQ(clipboardText(), "第二行 beta\r\n第三行 gamma");
  DWORD from = 0, to = 0;
  SendMessageW(h, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
  EXPECT_EQ(to - from, static_cast<DWORD>(ui::win32::widen("第二行 beta\r\n第三行 gamma").size()));

  // Cut and paste move the text; the line breaks stay whole.
  press('X', true);
  EXPECT_EQ(log->text(), "第一行 alpha\r\n");
  press(VK_HOME, true);
  press('V', true);
  EXPECT_EQ(log->text(), "第二行 beta\r\n第三行 gamma第一行 alpha\r\n");
  // A pasted lone line break becomes a whole one.
  setClipboardText("甲\n乙");
  press(VK_END, true);
  press(VK_INSERT, false, true);
  EXPECT_EQ(log->text(), "第二行 beta\r\n第三行 gamma第一行 alpha\r\n甲\r\n乙");
  EXPECT_EQ(log->lines().size(), 4u);
}

// What the menu answer below still has to type.
const char* g_menuKeys = "";

void CALLBACK answerMenu(HWND, UINT, UINT_PTR, DWORD) {
  HWND menu = FindWindowW(L"#32768", nullptr);
  if (!menu || !IsWindowVisible(menu) || !*g_menuKeys) return;
  PostMessageW(menu, WM_CHAR, static_cast<WPARAM>(*g_menuKeys++), 0);
}

// The context menu as the operator uses it, answered from the keyboard.
TEST_F(LogPeerTest, TheContextMenuSelectsAllAndCopies) {
  log->setText("菜单里的全选");
  const char*& keys = g_menuKeys;
  keys = "a";
  // A thread timer: the menu's own loop dispatches it.
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, answerMenu);
  PostMessageW(h, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(h), -1);
  EXPECT_TRUE(op::pumpUntil([&] { return !*keys && !IsWindowVisible(FindWindowW(L"#32768", nullptr)); }, 3000ms));
  op::pump(50ms);
  DWORD from = 0, to = 0;
  SendMessageW(h, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
  EXPECT_EQ(from, 0u);
  EXPECT_EQ(to, static_cast<DWORD>(ui::win32::widen("菜单里的全选").size()));
  keys = "c";
  PostMessageW(h, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(h), -1);
  EXPECT_TRUE(op::pumpUntil([&] { return !*keys && !IsWindowVisible(FindWindowW(L"#32768", nullptr)); }, 3000ms));
  KillTimer(nullptr, timer);
  EXPECT_EQ(clipboardText(), "菜单里的全选");
  EXPECT_EQ(log->text(), "菜单里的全选");
}

TEST_F(LogPeerTest, LongLinesGoOnInTheNextRowWithTheTextUnchanged) {
  std::string words, digits;
  for (int i = 0; i < 60; ++i) words += "word" + std::to_string(i) + " ";
  for (int i = 0; i < 300; ++i) digits += static_cast<char>('0' + i % 10);
  log->setText(words + "\r\n" + digits + "\r\n短");
  EXPECT_GT(lines(), 6);
  EXPECT_EQ(log->lines(), (std::vector<std::string>{words, digits, "短"}));
  // Rows break after a space: every row of the first line starts with a word.
  press(VK_HOME, true);
  for (int i = 0; i < 3; ++i) {
    press(VK_DOWN);
    press(VK_HOME);
    press(VK_END, false, true);
    SendMessageW(h, WM_COPY, 0, 0);
    const std::string row = clipboardText();
    EXPECT_EQ(row.rfind("word", 0), 0u) << row;
    press(VK_HOME);
  }
  // A row chosen with the keys, for a look.
  press(VK_DOWN);
  press(VK_END, false, true);
  op::screenshot(GetAncestor(h, GA_ROOT), "log-wrapped-selection");
  // Typing at the end of the wrapped line keeps everything else as it was.
  press(VK_END, true);
  press(VK_UP);
  press(VK_END);
  op::type(h, "!");
  EXPECT_EQ(log->lines()[1], digits + "!");
  EXPECT_EQ(log->lines()[0], words);
}

TEST_F(LogPeerTest, APastedLineOfMegabytesIsKeptWholeAndTheLogStillAnswers) {
  std::string digits(2000000, '0');
  for (std::size_t i = 0; i < digits.size(); ++i) digits[i] = static_cast<char>('0' + i % 10);
  log->setText("前");
  setClipboardText(digits);
  press(VK_END, true);
  press('V', true);
  EXPECT_EQ(log->text(), "前" + digits);
  EXPECT_GT(lines(), 10000);
  // The rows cover the line without a gap: from the end, one row up, to its end.
  press(VK_END, true);
  press(VK_HOME);
  press(VK_END, false, true);
  SendMessageW(h, WM_COPY, 0, 0);
  const std::string lastRow = clipboardText();
  EXPECT_FALSE(lastRow.empty());
  EXPECT_EQ(digits.substr(digits.size() - lastRow.size()), lastRow);
  press(VK_END, true);
  op::type(h, "!");
  EXPECT_EQ(log->text(), "前" + digits + "!");
}

TEST_F(LogPeerTest, AReadOnlyOrDisabledLogTakesNoTyping) {
  log->setText("只读");
  log->setReadOnly(true);
  press(VK_END, true);
  op::type(h, "x");
  press(VK_BACK);
  press(VK_DELETE);
  EXPECT_EQ(log->text(), "只读");
  press('A', true);
  press('C', true);
  EXPECT_EQ(clipboardText(), "只读");
  log->setReadOnly(false);
  log->setEnabled(false);
  op::type(h, "y");
  EXPECT_EQ(log->text(), "只读");
  log->setEnabled(true);
  SetFocus(h);
  press(VK_END, true);
  op::type(h, "z");
  EXPECT_EQ(log->text(), "只读z");
}

}  // namespace

namespace {

// The log's store on Windows' reserved address space: grown past a small
// reservation, so that it moves to larger ones, with its text intact. The
// store's own rules are tested natively (tests/ui/LogTextTest.cpp).
TEST(GrowingText, GrowsOnVirtualMemoryPastItsReservation) {
  ui::GrowingText text(ui::win32::virtualAddressSpace(), 64 * 1024);
  std::u16string model;
  for (int round = 0; round < 300; ++round) {
    const std::u16string piece(1000 + round, static_cast<char16_t>(0x4E00 + round % 50));
    text += piece;
    model += piece;
    if (round % 3 == 0) {
      text.replace(round, 10, u"\r\n");
      model.replace(round, 10, u"\r\n");
    }
  }
  EXPECT_GT(model.size() * sizeof(char16_t), 8u * 64u * 1024u);
  EXPECT_EQ(text.str(), model);
  EXPECT_EQ(text.rfind(u'\n'), model.rfind(u'\n'));
}

}  // namespace
