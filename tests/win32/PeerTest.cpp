// The native peers of every component kind, driven through their windows on
// a form of the test's own.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "Operator.h"
#include "ui/Application.h"
#include "ui/Form.h"
#include "ui/Thread.h"
#include "ui/win32/Win32Backend.h"

namespace {

using namespace std::chrono_literals;
using ui::Kind;
using ui::win32::handleOf;

// clang-format off
const ui::FormRow kRows[] = {
  {Kind::Image,       "Banner",   "",         0,   0, 682,  75, "",            "picture=banner"},
  {Kind::TabControl,  "Tabs",     "",         0,  75, 681, 361, "",            ""},
  {Kind::TabSheet,    "SheetA",   "Tabs",     4,  24, 673, 333, "甲页",        "active"},
  {Kind::TabSheet,    "SheetB",   "Tabs",     4,  24, 673, 333, "乙页",        "notab"},
  {Kind::TabSheet,    "SheetC",   "Tabs",     4,  24, 673, 333, "丙页",        ""},
  {Kind::Label,       "Label1",   "SheetA",  16,   8,  65,  13, "标签文字",    ""},
  {Kind::Button,      "Button1",  "SheetA",  16,  28,  75,  25, "按钮",        ""},
  {Kind::Button,      "Button2",  "SheetA", 100,  28,  75,  25, "不可用",      "disabled"},
  {Kind::Button,      "Button3",  "SheetA", 184,  28,  75,  25, "看不见",      "hidden"},
  {Kind::Button,      "Thrower",  "SheetA", 268,  28,  75,  25, "出错",        ""},
  {Kind::Memo,        "Log",      "SheetA",  16,  60, 300,  80, "",            "readonly;vscroll"},
  {Kind::Memo,        "Typing",   "SheetA", 330,  60, 150,  40, "",            ""},
  {Kind::Edit,        "Edit1",    "SheetA",  16, 150,  49,  21, "0",           ""},
  {Kind::UpDown,      "UpDown1",  "SheetA",  65, 150,  16,  21, "",            "associate=Edit1;min=0;max=100;position=0"},
  {Kind::CheckBox,    "Check1",   "SheetA", 100, 150, 157,  17, "文字在左",    "alignment=left;checked"},
  {Kind::CheckBox,    "Check2",   "SheetA", 270, 150,  97,  17, "小写转大写",  "font=宋体/12px"},
  {Kind::GroupBox,    "Group1",   "SheetA",  16, 180, 200,  57, "请选择",      ""},
  {Kind::RadioButton, "Radio1",   "Group1",  16,  24,  41,  17, "1轨",         ""},
  {Kind::RadioButton, "Radio2",   "Group1",  84,  24,  41,  17, "2轨",         ""},
  {Kind::RadioGroup,  "Choice",   "SheetA", 230, 180, 250,  57, "方式",        "items=甲|乙|丙|丁;columns=2;index=1"},
  {Kind::Panel,       "Host",     "SheetA", 490,  10, 170, 150, "",            "border;flat;color=menubar"},
  {Kind::Label,       "Inside",   "Host",    10,  10, 100,  13, "面板里",      ""},
  {Kind::Memo,        "Late",     "SheetC",  10,  10, 400, 200, "",            "vscroll"},
};
// clang-format on

class TestForm : public ui::Form {
 public:
  TestForm() : ui::Form("TestForm") {
    setCaption("部件测试");
    setBounds({40, 30, 680, 435});
    setKeyPreview(true);
    build(kRows);
  }
  template <class T>
  T* get(const char* name) {
    return find<T>(name);
  }
};

class PeerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form = std::make_unique<TestForm>();
    ui::app().setMainForm(form.get());
    form->showForm();
    op::pump(100ms);
  }
  void TearDown() override {
    ui::app().setMainForm(nullptr);
    form.reset();
    ui::app().resetTerminated();
  }
  HWND hwnd(const char* name) { return handleOf(*form->findChild(name)); }

  std::unique_ptr<TestForm> form;
};

TEST_F(PeerTest, EveryKindHasItsNativeWindowInPlace) {
  HWND top = handleOf(*form);
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(op::text(top), "部件测试");
  EXPECT_EQ(op::clientSize(top).cx, 680);
  EXPECT_EQ(op::clientSize(top).cy, 435);
  const LONG style = GetWindowLongW(top, GWL_STYLE);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME);

  struct Expect {
    const char* name;
    const char* cls;
  };
  const Expect kinds[] = {{"Tabs", "SysTabControl32"}, {"Label1", "Static"},  {"Button1", "Button"},
                          {"Log", "Edit"},             {"Edit1", "Edit"},     {"UpDown1", "msctls_updown32"},
                          {"Check1", "Button"},        {"Group1", "Button"},  {"Radio1", "Button"},
                          {"Choice", "Button"}};
  for (const Expect& e : kinds) {
    HWND h = hwnd(e.name);
    ASSERT_NE(h, nullptr) << e.name;
    EXPECT_STRCASEEQ(op::className(h).c_str(), e.cls) << e.name;
    const ui::Rect& b = form->findChild(e.name)->bounds();
    EXPECT_EQ(op::placeOf(h), (op::Place{b.left, b.top, b.width, b.height})) << e.name;
  }
  // Children of boxes and panels are placed in the box.
  EXPECT_EQ(GetParent(hwnd("Radio1")), hwnd("Group1"));
  EXPECT_EQ(op::placeOf(hwnd("Radio2")), (op::Place{84, 24, 41, 17}));
  EXPECT_EQ(GetParent(hwnd("Inside")), hwnd("Host"));
  EXPECT_EQ(op::placeOf(hwnd("Inside")), (op::Place{10, 10, 100, 13}));

  EXPECT_EQ(op::text(hwnd("Label1")), "标签文字");
  EXPECT_EQ(op::text(hwnd("Button1")), "按钮");
  EXPECT_EQ(op::text(hwnd("Group1")), "请选择");
  EXPECT_EQ(op::text(hwnd("Edit1")), "0");
}

TEST_F(PeerTest, StatesAndOptionsShowInTheWindowStyles) {
  EXPECT_FALSE(IsWindowEnabled(hwnd("Button2")));
  EXPECT_FALSE(IsWindowVisible(hwnd("Button3")));
  EXPECT_TRUE(IsWindowVisible(hwnd("Button1")));
  EXPECT_TRUE(GetWindowLongW(hwnd("Log"), GWL_STYLE) & ES_READONLY);
  EXPECT_TRUE(GetWindowLongW(hwnd("Log"), GWL_STYLE) & WS_VSCROLL);
  EXPECT_FALSE(GetWindowLongW(hwnd("Typing"), GWL_STYLE) & WS_VSCROLL);
  EXPECT_TRUE(GetWindowLongW(hwnd("Check1"), GWL_STYLE) & BS_LEFTTEXT);
  EXPECT_FALSE(GetWindowLongW(hwnd("Check2"), GWL_STYLE) & BS_LEFTTEXT);
  EXPECT_EQ(SendMessageW(hwnd("Check1"), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_TRUE(GetWindowLongW(hwnd("Host"), GWL_STYLE) & WS_BORDER);

  form->findChild("Button3")->show();
  form->findChild("Button1")->setEnabled(false);
  EXPECT_TRUE(IsWindowVisible(hwnd("Button3")));
  EXPECT_FALSE(IsWindowEnabled(hwnd("Button1")));
  form->get<ui::Memo>("Log")->setReadOnly(false);
  EXPECT_FALSE(GetWindowLongW(hwnd("Log"), GWL_STYLE) & ES_READONLY);
  form->findChild("Label1")->setCaption("新的标签");
  EXPECT_EQ(op::text(hwnd("Label1")), "新的标签");

  auto faceOf = [](HWND h) {
    LOGFONTW lf{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0)), sizeof lf, &lf);
    return std::make_pair(std::wstring(lf.lfFaceName), lf.lfHeight);
  };
  EXPECT_EQ(faceOf(hwnd("Button1")), std::make_pair(std::wstring(L"MS Sans Serif"), -11L));
  EXPECT_EQ(faceOf(hwnd("Check2")), std::make_pair(std::wstring(L"宋体"), -12L));
}

TEST_F(PeerTest, ClicksReachTheComponentsWhichOwnTheMarks) {
  int clicks = 0, checkClicks = 0, radioClicks = 0, choiceClicks = 0;
  form->findChild("Button1")->onClick = [&] { ++clicks; };
  form->findChild("Button2")->onClick = [&] { ++clicks; };
  form->findChild("Check2")->onClick = [&] { ++checkClicks; };
  form->findChild("Radio2")->onClick = [&] { ++radioClicks; };
  form->findChild("Choice")->onClick = [&] { ++choiceClicks; };

  op::press(hwnd("Button1"));
  op::press(hwnd("Button2"));  // disabled: nothing happens
  op::pump(100ms);
  EXPECT_EQ(clicks, 1);

  op::press(hwnd("Check2"));
  op::pump(100ms);
  EXPECT_TRUE(form->get<ui::CheckBox>("Check2")->checked());
  EXPECT_EQ(SendMessageW(hwnd("Check2"), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(checkClicks, 1);

  form->get<ui::RadioButton>("Radio1")->setChecked(true);
  op::press(hwnd("Radio2"));
  op::pump(100ms);
  EXPECT_TRUE(form->get<ui::RadioButton>("Radio2")->checked());
  EXPECT_FALSE(form->get<ui::RadioButton>("Radio1")->checked());
  EXPECT_EQ(SendMessageW(hwnd("Radio1"), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_EQ(SendMessageW(hwnd("Radio2"), BM_GETCHECK, 0, 0), BST_CHECKED);
  op::press(hwnd("Radio2"));  // already marked: no second click
  op::pump(100ms);
  EXPECT_EQ(radioClicks, 1);

  // The radio group's items: two columns, column by column.
  const std::vector<HWND> items = op::children(hwnd("Choice"));
  ASSERT_EQ(items.size(), 4u);
  EXPECT_EQ(op::text(items[2]), "丙");
  EXPECT_LT(op::placeOf(items[0]).left, op::placeOf(items[2]).left);
  EXPECT_EQ(op::placeOf(items[0]).left, op::placeOf(items[1]).left);
  EXPECT_EQ(SendMessageW(items[1], BM_GETCHECK, 0, 0), BST_CHECKED);
  op::press(items[3]);
  op::pump(100ms);
  EXPECT_EQ(form->get<ui::RadioGroup>("Choice")->itemIndex(), 3);
  EXPECT_EQ(SendMessageW(items[1], BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_EQ(SendMessageW(items[3], BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(choiceClicks, 1);

  // A disabled group takes no clicks on its items.
  form->findChild("Choice")->setEnabled(false);
  EXPECT_FALSE(IsWindowEnabled(items[0]));
  op::press(items[0]);
  op::pump(100ms);
  EXPECT_EQ(form->get<ui::RadioGroup>("Choice")->itemIndex(), 3);
}

TEST_F(PeerTest, HiddenTabLeavesTheRowAndComesBackInItsPlace) {
  HWND tabs = hwnd("Tabs");
  auto* tc = form->get<ui::TabControl>("Tabs");
  EXPECT_EQ(op::tabTexts(tabs), (std::vector<std::string>{"甲页", "丙页"}));
  EXPECT_TRUE(IsWindowVisible(hwnd("SheetA")));
  EXPECT_FALSE(IsWindowVisible(hwnd("SheetC")));

  int shown = 0;
  form->findChild("SheetC")->onShow = [&] { ++shown; };
  op::clickTab(tabs, 1);
  ASSERT_TRUE(op::pumpUntil([&] { return tc->activeSheet() == form->findChild("SheetC"); }));
  EXPECT_EQ(shown, 1);
  EXPECT_TRUE(IsWindowVisible(hwnd("SheetC")));
  EXPECT_FALSE(IsWindowVisible(hwnd("SheetA")));

  form->get<ui::TabSheet>("SheetB")->setTabVisible(true);
  EXPECT_EQ(op::tabTexts(tabs), (std::vector<std::string>{"甲页", "乙页", "丙页"}));
  EXPECT_EQ(TabCtrl_GetCurSel(tabs), 2);  // still on 丙页, now third
  op::clickTab(tabs, 1);
  ASSERT_TRUE(op::pumpUntil([&] { return tc->activeSheet() == form->findChild("SheetB"); }));
  EXPECT_TRUE(IsWindowVisible(hwnd("SheetB")));

  op::clickTab(tabs, 0);
  ASSERT_TRUE(op::pumpUntil([&] { return tc->activeSheet() == form->findChild("SheetA"); }));
  form->get<ui::TabSheet>("SheetB")->setTabVisible(false);
  EXPECT_EQ(op::tabTexts(tabs), (std::vector<std::string>{"甲页", "丙页"}));
  EXPECT_EQ(TabCtrl_GetCurSel(tabs), 0);

  // A disabled tab control refuses the change and keeps the row as it was.
  tc->setEnabled(false);
  EnableWindow(tabs, TRUE);  // as if the click came through all the same
  op::clickTab(tabs, 1);
  op::pump(150ms);
  EXPECT_EQ(tc->activeSheet(), form->findChild("SheetA"));
  EXPECT_EQ(TabCtrl_GetCurSel(tabs), 0);
}

TEST_F(PeerTest, UpDownStepsWithinItsRangeWithoutWrapping) {
  HWND ud = hwnd("UpDown1");
  HWND edit = hwnd("Edit1");
  auto* upDown = form->get<ui::UpDown>("UpDown1");
  EXPECT_EQ(reinterpret_cast<HWND>(SendMessageW(ud, UDM_GETBUDDY, 0, 0)), edit);
  EXPECT_EQ(op::placeOf(ud), (op::Place{65, 150, 16, 21}));  // beside the edit, not inside it
  EXPECT_EQ(op::placeOf(edit).width, 49);

  op::clickArrow(ud, false);
  EXPECT_EQ(op::text(edit), "0");
  EXPECT_EQ(upDown->position(), 0);
  for (int i = 0; i < 3; ++i) op::clickArrow(ud, true);
  EXPECT_EQ(op::text(edit), "3");
  EXPECT_EQ(upDown->position(), 3);
  EXPECT_EQ(form->get<ui::Edit>("Edit1")->text(), "3");

  // The arrows go on from a number typed into the edit, and stop at 100.
  SetFocus(edit);
  SendMessageW(edit, EM_SETSEL, 0, -1);
  op::type(edit, "98");
  for (int i = 0; i < 4; ++i) op::clickArrow(ud, true);
  EXPECT_EQ(op::text(edit), "100");
  EXPECT_EQ(upDown->position(), 100);
  op::clickArrow(ud, false);
  EXPECT_EQ(op::text(edit), "99");
  // A larger number typed in stays as typed.
  SendMessageW(edit, EM_SETSEL, 0, -1);
  op::type(edit, "150");
  EXPECT_EQ(form->get<ui::Edit>("Edit1")->text(), "150");
}

// The program keeps the text it read last; every way the text can change
// must show in the next read.
TEST_F(PeerTest, TextReadBackFollowsEveryKindOfChange) {
  for (const char* name : {"Edit1", "Typing"}) {
    SCOPED_TRACE(name);
    auto* box = form->get<ui::TextControl>(name);
    HWND w = hwnd(name);
    auto now = [&](const std::string& expected) {
      EXPECT_EQ(box->text(), expected);
      EXPECT_EQ(box->text(), op::text(w));
    };
    box->setText("甲乙丙");
    now("甲乙丙");
    SetFocus(w);
    SendMessageW(w, EM_SETSEL, 3, 3);
    op::type(w, "丁");
    now("甲乙丙丁");
    SetWindowTextW(w, L"外部");
    now("外部");
    SendMessageW(w, EM_SETSEL, 0, -1);
    SendMessageW(w, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"替换"));
    now("替换");
    SendMessageW(w, EM_UNDO, 0, 0);
    now("外部");
    SendMessageW(w, EM_SETSEL, 0, 1);
    SendMessageW(w, WM_CUT, 0, 0);
    now("部");
    SendMessageW(w, EM_SETSEL, 0, 0);
    SendMessageW(w, WM_PASTE, 0, 0);
    now("外部");
    SendMessageW(w, EM_SETSEL, 0, -1);
    SendMessageW(w, WM_CLEAR, 0, 0);
    now("");
    EXPECT_TRUE(box->text().empty());
    box->setText("ab");
    now("ab");
    SendMessageW(w, EM_SETSEL, 0, 0);
    op::key(w, VK_DELETE);
    op::pump(50ms);
    now("b");
  }
  // The up-down writes its edit itself.
  auto* edit = form->get<ui::Edit>("Edit1");
  edit->setText("0");
  EXPECT_EQ(edit->text(), "0");
  op::clickArrow(hwnd("UpDown1"), true);
  EXPECT_EQ(edit->text(), "1");
}

TEST_F(PeerTest, KeyPressesGoThroughTheFormAndTheControlFilter) {
  std::u32string previewed;
  form->onKeyPress = [&](char32_t& key) {
    previewed += key;
    if (key == U'#') key = 0;  // the form swallows it before the control sees it
  };
  auto* typing = form->get<ui::Memo>("Typing");
  typing->onKeyPress = [](char32_t& key) {
    if (key >= U'0' && key <= U'9') key = 0;
    if (key == U'a') key = U'A';
  };
  HWND h = hwnd("Typing");
  SetFocus(h);
  op::type(h, "a1b#中");
  EXPECT_EQ(op::text(h), "Ab中");
  EXPECT_EQ(typing->text(), "Ab中");
  EXPECT_EQ(previewed, U"a1b#中");
  EXPECT_TRUE(typing->focused());

  // Typed text lives in the window and is kept when the window goes.
  typing->unrealizeTree();
  EXPECT_EQ(typing->text(), "Ab中");
}

TEST_F(PeerTest, EscInAMemoGoesToItsKeyHandlerAndClosesNothing) {
  HWND top = handleOf(*form);
  std::u32string keys;
  for (const char* name : {"Typing", "Log"}) {
    SCOPED_TRACE(name);
    keys.clear();
    auto* memo = form->get<ui::Memo>(name);
    memo->onKeyPress = [&](char32_t& key) { keys += key; };
    HWND h = hwnd(name);
    SetFocus(h);
    ASSERT_EQ(GetFocus(), h);
    op::key(h, VK_ESCAPE);
    op::pump(100ms);
    EXPECT_EQ(keys, U"\x1b");
    EXPECT_TRUE(IsWindow(h) && IsWindowVisible(h));
    EXPECT_TRUE(IsWindow(hwnd("SheetA")) && IsWindowVisible(hwnd("SheetA")));
    EXPECT_TRUE(IsWindowVisible(top));
    EXPECT_FALSE(ui::app().terminated());
    EXPECT_EQ(memo->text(), "");
    memo->onKeyPress = nullptr;
  }
}

// One card's report in a log: three lines in one entry.
std::string report(int i) {
  return "第" + std::to_string(i) + "次读卡成功！\r\n1轨：B6200000000000000^DEMO/CARD READER^2912" +
         "\r\n2轨：6200000000000000=29121010000012345";
}

bool hitTestable(HWND h) {
  RECT r;
  GetWindowRect(h, &r);
  const POINT centre{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  POINT inParent = centre;
  ScreenToClient(GetParent(h), &inParent);
  return WindowFromPoint(centre) == h &&
         ChildWindowFromPointEx(GetParent(h), inParent, CWP_SKIPINVISIBLE) == h;
}

// A memo that is the system's edit: every entry is in the window as soon as
// it was appended, in order, with the end in view; the window stays shown,
// takes clicks and has nothing left to paint once the loop has run.
TEST_F(PeerTest, AppendsToAMemoGoInAtOnceInOrderAndRepaint) {
  auto* log = form->get<ui::Memo>("Log");
  HWND h = hwnd("Log");
  ASSERT_TRUE(hitTestable(h));
  std::string expected;
  for (int i = 1; i <= 100; ++i) {
    log->addLine(report(i));
    expected += (i == 1 ? "" : "\r\n") + report(i);
    // Now and then the loop runs between two cards, as with a worker.
    if (i % 7 == 0) ui::app().processMessages();
    if (i % 25 == 0) {
      EXPECT_EQ(op::text(h), expected) << i;  // read from the window itself
      EXPECT_TRUE(IsWindowVisible(h)) << i;
      EXPECT_TRUE(hitTestable(h)) << i;
    }
  }
  const auto lines = log->lines();
  ASSERT_EQ(lines.size(), 300u);
  EXPECT_EQ(lines[0], "第1次读卡成功！");
  EXPECT_EQ(lines[297], "第100次读卡成功！");
  EXPECT_GT(log->firstVisibleLine(), 0);  // the end of the log is in view
  op::pump(100ms);
  EXPECT_FALSE(GetUpdateRect(h, nullptr, FALSE));
  log->scrollToTop();
  EXPECT_EQ(log->firstVisibleLine(), 0);

  // Past the edit's default limit of about 30,000 characters, which would
  // drop appended text without a word.
  std::string longText;
  for (int i = 1; i <= 400; ++i) longText += (i == 1 ? "" : "\r\n") + report(i);
  ASSERT_GT(longText.size(), 40000u);
  log->setText(longText);
  log->addLine(report(401));
  // An entry that begins with a line break shows an empty line first.
  log->addLine("\r\n最后一行");
  EXPECT_EQ(op::text(h), longText + "\r\n" + report(401) + "\r\n\r\n最后一行");
}

// Clearing, replacing, hiding and typing right after appends: each sees the
// entries appended before it, and nothing comes back later.
TEST_F(PeerTest, ChangesRightAfterAppendsKeepTheOrder) {
  auto* log = form->get<ui::Memo>("Log");
  HWND h = hwnd("Log");
  auto entries = [&](int count) {
    for (int i = 1; i <= count; ++i) log->addLine(report(i));
  };

  entries(10);
  log->clear();
  op::pump(100ms);
  EXPECT_EQ(op::text(h), "");
  // An entry into the emptied log begins without a line break.
  log->addLine("甲");
  log->addLine("乙");
  EXPECT_EQ(log->lines(), (std::vector<std::string>{"甲", "乙"}));

  entries(10);
  log->setText("新的内容");
  op::pump(100ms);
  EXPECT_EQ(op::text(h), "新的内容");

  log->clear();
  entries(10);
  log->hide();
  EXPECT_FALSE(IsWindowVisible(h));
  log->show();
  EXPECT_TRUE(IsWindowVisible(h));
  EXPECT_EQ(log->lines().size(), 30u);
  EXPECT_EQ(log->lines()[27], "第10次读卡成功！");

  // Typing comes after the entries appended before it.
  auto* typing = form->get<ui::Memo>("Typing");
  HWND t = hwnd("Typing");
  typing->addLine("一");
  typing->addLine("二");
  SetFocus(t);
  op::type(t, "x");
  EXPECT_EQ(typing->text(), "一\r\n二x");
  typing->addLine("三");
  // The window goes at once: its text stays with the component.
  typing->unrealizeTree();
  EXPECT_EQ(typing->text(), "一\r\n二x\r\n三");
}

// A worker reports while a message box is open: the report is shown before
// the operator closes the box.
class Reporter : public ui::Thread {
 public:
  explicit Reporter(ui::Memo& memo) : memo_(memo) {}
  std::atomic<bool> boxSeen{false};
  std::atomic<bool> reported{false};

 protected:
  void execute() override {
    while (!boxSeen) std::this_thread::sleep_for(10ms);
    if (synchronize([this] { memo_.addLine("工作线程报告"); })) reported = true;
  }

 private:
  ui::Memo& memo_;
};

TEST_F(PeerTest, SynchronizeRunsWhileAModalBoxIsOpen) {
  auto* log = form->get<ui::Memo>("Log");
  auto worker = std::make_shared<Reporter>(*log);
  op::BoxAnswerer answerer(IDOK, [&] {
    worker->boxSeen = true;
    return worker->reported.load();
  });
  form->findChild("Button1")->onClick = [&] {
    worker->start();
    ui::showMessage("请稍候");
    // The worker's line came while the box was open.
    EXPECT_EQ(log->lines(), std::vector<std::string>{"工作线程报告"});
  };
  op::press(hwnd("Button1"));
  ASSERT_TRUE(answerer.waitFor(1));
  worker->waitFor();
  EXPECT_TRUE(worker->reported);
  EXPECT_EQ(answerer.boxes()[0].text, "请稍候");
}

TEST_F(PeerTest, DialogsAreOwnedBoxesWithTheirButtons) {
  HWND top = handleOf(*form);
  {
    op::BoxAnswerer answerer(IDOK);
    form->findChild("Button1")->onClick = [] { ui::showMessage("联机成功！"); };
    op::press(hwnd("Button1"));
    ASSERT_TRUE(answerer.waitFor(1));
    const op::Box& box = answerer.boxes()[0];
    EXPECT_EQ(box.text, "联机成功！");
    EXPECT_EQ(box.caption, "");
    EXPECT_EQ(box.owner, top);
    EXPECT_FALSE(box.hasIcon);
    EXPECT_EQ(box.buttons.size(), 1u);
  }
  bool answer = true;
  form->findChild("Button1")->onClick = [&] { answer = ui::confirm("是否停止写卡？"); };
  {
    op::BoxAnswerer answerer(IDOK);
    op::press(hwnd("Button1"));
    ASSERT_TRUE(answerer.waitFor(1));
    EXPECT_TRUE(answer);
    EXPECT_TRUE(answerer.boxes()[0].hasIcon);
    EXPECT_EQ(answerer.boxes()[0].buttons.size(), 2u);
  }
  {
    op::BoxAnswerer answerer(IDCANCEL);
    op::press(hwnd("Button1"));
    ASSERT_TRUE(answerer.waitFor(1));
    EXPECT_FALSE(answer);
  }
  {
    answer = true;
    op::BoxAnswerer answerer(0);  // closed from the title bar
    op::press(hwnd("Button1"));
    ASSERT_TRUE(answerer.waitFor(1));
    EXPECT_FALSE(answer);
  }
}

TEST_F(PeerTest, AnErrorInAHandlerShowsTheErrorBoxAndTheProgramGoesOn) {
  form->findChild("Thrower")->onClick = [] { throw std::runtime_error("'abc' is not a valid integer value"); };
  int later = 0;
  form->findChild("Button1")->onClick = [&] { ++later; };
  op::BoxAnswerer answerer(IDOK);
  op::press(hwnd("Thrower"));
  ASSERT_TRUE(answerer.waitFor(1));
  EXPECT_EQ(answerer.boxes()[0].text, "'abc' is not a valid integer value");
  EXPECT_TRUE(answerer.boxes()[0].hasIcon);
  op::press(hwnd("Button1"));
  op::pump(100ms);
  EXPECT_EQ(later, 1);
}

TEST_F(PeerTest, FramesPlacedIntoAPanelGetWindowsAndLoseThemFirst) {
  auto frame = std::make_unique<ui::Frame>("Page");
  const ui::FormRow rows[] = {
      {Kind::Label, "PageLabel", "", 5, 5, 80, 13, "页面", ""},
      {Kind::Button, "PageButton", "", 5, 30, 75, 25, "页面按钮", ""},
  };
  frame->setBounds({0, 0, 160, 140});
  frame->build(rows);
  EXPECT_EQ(frame->peer(), nullptr);
  frame->setParent(form->findChild("Host"));
  HWND page = handleOf(*frame);
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(GetParent(page), hwnd("Host"));
  EXPECT_EQ(GetWindowLongW(page, GWL_STYLE) & (WS_BORDER | WS_DLGFRAME), 0);
  HWND button = handleOf(*frame->findChild("PageButton"));
  EXPECT_EQ(GetParent(button), page);
  EXPECT_EQ(op::placeOf(button), (op::Place{5, 30, 75, 25}));
  frame.reset();
  EXPECT_FALSE(IsWindow(page));
  EXPECT_FALSE(IsWindow(button));
}

TEST_F(PeerTest, TabMovesFocusInTheComponentsTabOrder) {
  HWND first = hwnd("Button1");
  SetFocus(first);
  PostMessageW(first, WM_KEYDOWN, VK_TAB, 0);
  op::pump(50ms);
  EXPECT_EQ(GetFocus(), hwnd("Thrower"));  // the disabled and the hidden buttons are skipped
}

TEST_F(PeerTest, ClosingTheMainFormEndsTheLoop) {
  form->get<ui::Memo>("Log")->addLine("截图用的日志");
  op::screenshot(handleOf(*form), "toolkit-form");
  PostMessageW(handleOf(*form), WM_CLOSE, 0, 0);
  op::pump(100ms);
  EXPECT_TRUE(ui::app().terminated());
  EXPECT_TRUE(form->closed());
  EXPECT_FALSE(IsWindowVisible(handleOf(*form)));
}

}  // namespace
