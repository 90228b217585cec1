// The continuous-write page in the real window under Wine, driven as an
// operator drives it, with the emulated reader beside the test program.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "EmulatorClient.h"
#include "Operator.h"
#include "MainFormFixture.h"
#include "app/MainForm.h"
#include "pages/Mwirtecardframe01.h"
#include "ui/Application.h"
#include "ui/Thread.h"
#include "ui/win32/Win32Backend.h"

namespace {

using namespace std::chrono_literals;
using ui::win32::handleOf;

// The emulator copy that the window loaded, with its control interface.
using Writer = emu::Client;

// Esc as the keyboard types it, through the program's own message loop.
void typeEsc(HWND box) {
  const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(VK_ESCAPE, MAPVK_VK_TO_VSC)) << 16;
  PostMessageW(box, WM_KEYDOWN, VK_ESCAPE, scan | 1);
  PostMessageW(box, WM_CHAR, 27, scan | 1);
  PostMessageW(box, WM_KEYUP, VK_ESCAPE, scan | 1 | static_cast<LPARAM>(0xC0000000u));
}

struct WriteRow {
  const char* name;
  op::Place place;
  const char* caption;
};

class ContinuousWriteWindow : public ::testing::Test, protected WithMainForm {
 protected:
  void SetUp() override {
    showMainForm();
    ASSERT_TRUE(writer.controllable());
    writer.resetState();
    writer.setSwipeDelayMs(5);
    {
      // The emulator answers the three-track model.
      op::BoxAnswerer answerer(IDOK);
      op::press(op::findByText(top, "自动连机", "Button"));
      ASSERT_TRUE(answerer.waitFor(1));
    }
    op::press(op::findByText(top, "连续写卡", "Button"));
    ASSERT_TRUE(op::pumpUntil([&] { return page() != nullptr; }));
    op::pump(100ms);
  }
  void TearDown() override {
    writer.setBlocking("writecard", 0);
    closeMainForm();
  }

  TMWirteCardFrame1* page() { return dynamic_cast<TMWirteCardFrame1*>(form->OperationPage.get()); }
  HWND on(ui::Control* c) { return handleOf(*c); }
  HWND logBox() { return on(page()->Memo4); }
  // Types into a box as the keyboard does, the old text selected and replaced.
  void typeInto(ui::Control* c, const std::string& text) {
    HWND h = on(c);
    SetFocus(h);
    SendMessageW(h, EM_SETSEL, 0, -1);
    op::type(h, text);
  }
  bool enabled(ui::Control* c) { return IsWindowEnabled(on(c)) != FALSE; }
  bool shown(ui::Control* c) { return IsWindowVisible(on(c)) != FALSE; }
  // Track 1: fixed text CARD, start 1, increment 1.
  void prepareCards(const std::string& count) {
    typeInto(page()->Memo1, "CARD");
    typeInto(page()->Edit2, "1");
    typeInto(page()->Edit3, "1");
    typeInto(page()->Edit1, count);
  }
  // Presses Start and answers the "请刷卡！" box.
  void startBatch() {
    op::BoxAnswerer answerer(IDOK);
    op::press(on(page()->Button1));
    ASSERT_TRUE(answerer.waitFor(1));
    swipeBox = answerer.boxes()[0];
  }
  bool finished() { return !page()->running() && enabled(page()->Button1); }
  void expectRows(const std::vector<WriteRow>& rows, bool visible) {
    for (const WriteRow& r : rows) {
      SCOPED_TRACE(r.name);
      ui::Control* c = page()->findChild(r.name);
      ASSERT_NE(c, nullptr);
      HWND h = on(c);
      ASSERT_NE(h, nullptr);
      EXPECT_EQ(op::placeOf(h), r.place);
      if (r.caption) {
        EXPECT_EQ(op::text(h), r.caption);
      }
      EXPECT_EQ(IsWindowVisible(h) != FALSE, visible);
    }
  }
  static std::string entry(int n, const std::string& data) {
    return "\r\n第" + std::to_string(n) + "次写卡成功！\r\n第一轨数据：\r\n" + data;
  }

  Writer writer;
  op::Box swipeBox;
};

// Shown in both layouts.
const std::vector<WriteRow> kCommonRows = {
    {"Label2", {192, 8, 89, 13}, "连续写卡测试"},
    {"CheckBox1", {327, 8, 157, 14}, "写卡失败重写该次数据"},
    {"Label1", {8, 248, 60, 13}, "写卡次数："},
    {"Edit1", {72, 244, 49, 21}, nullptr},
    {"UpDown1", {121, 244, 16, 21}, nullptr},
    {"Button1", {148, 243, 75, 25}, "开始写卡"},
    {"Button2", {235, 242, 75, 26}, nullptr},
    {"Button3", {323, 242, 75, 25}, "停止写卡"},
    {"Button4", {412, 240, 65, 27}, "返  回"},
};
// Shown in the input layout only.
const std::vector<WriteRow> kInputRows = {
    {"GroupBox1", {14, 23, 115, 202}, "请选择轨道"},
    {"RadioButton1", {16, 24, 41, 17}, "1轨"},
    {"RadioButton2", {16, 53, 41, 17}, "2轨"},
    {"RadioButton3", {16, 84, 41, 17}, "3轨"},
    {"RadioButton4", {16, 115, 49, 17}, "1,2轨"},
    {"RadioButton5", {16, 148, 49, 13}, "2,3轨"},
    {"RadioButton6", {16, 176, 65, 18}, "1,2,3轨"},
    {"Label3", {144, 36, 65, 13}, "一轨数据"},
    {"Label6", {232, 32, 41, 13}, "起始数"},
    {"Edit2", {280, 28, 50, 21}, nullptr},
    {"UpDown2", {330, 28, 16, 21}, nullptr},
    {"Label9", {368, 32, 33, 13}, "增量"},
    {"Edit3", {408, 28, 50, 21}, nullptr},
    {"UpDown3", {458, 28, 16, 21}, nullptr},
    {"Memo1", {144, 53, 330, 30}, nullptr},
    {"Label4", {144, 98, 65, 13}, "二轨数据"},
    {"Label7", {232, 96, 41, 13}, "起始数"},
    {"Edit4", {280, 92, 50, 21}, "0"},
    {"UpDown4", {330, 92, 16, 21}, nullptr},
    {"Label10", {368, 96, 33, 13}, "增量"},
    {"Edit5", {408, 92, 50, 21}, "0"},
    {"UpDown5", {458, 92, 16, 21}, nullptr},
    {"Memo2", {144, 116, 330, 36}, ""},
    {"Label5", {147, 166, 65, 13}, "三轨数据"},
    {"Label8", {232, 165, 41, 13}, "起始数"},
    {"Edit6", {280, 160, 50, 21}, "0"},
    {"UpDown6", {330, 160, 16, 21}, nullptr},
    {"Label11", {368, 165, 33, 13}, "增量"},
    {"Edit7", {408, 160, 50, 21}, "0"},
    {"UpDown7", {458, 160, 16, 21}, nullptr},
    {"Memo3", {144, 184, 330, 40}, ""},
};

TEST_F(ContinuousWriteWindow, ShowsBothLayoutsInPlace) {
  EXPECT_EQ(op::placeOf(on(page())), (op::Place{0, 0, 494, 289}));
  EXPECT_EQ(GetParent(on(page())), on(form->Panel1));
  expectRows(kCommonRows, true);
  expectRows(kInputRows, true);
  EXPECT_FALSE(shown(page()->Memo4));
  EXPECT_EQ(op::text(on(page()->Button2)), "暂停写卡");
  EXPECT_FALSE(enabled(page()->Button2));
  EXPECT_FALSE(enabled(page()->Button3));
  // The check box: text left of the box, checked.
  EXPECT_TRUE(GetWindowLongW(on(page()->CheckBox1), GWL_STYLE) & BS_LEFTTEXT);
  EXPECT_EQ(SendMessageW(on(page()->CheckBox1), BM_GETCHECK, 0, 0), BST_CHECKED);
  // Native up-downs on their edits, 0 to 100.
  const std::pair<ui::UpDown*, ui::Edit*> pairs[] = {
      {page()->UpDown1, page()->Edit1}, {page()->UpDown2, page()->Edit2},
      {page()->UpDown7, page()->Edit7}};
  for (auto [upDown, edit] : pairs) {
    EXPECT_EQ(reinterpret_cast<HWND>(SendMessageW(on(upDown), UDM_GETBUDDY, 0, 0)), on(edit));
    int low = -1, high = -1;
    SendMessageW(on(upDown), UDM_GETRANGE32, reinterpret_cast<WPARAM>(&low),
                 reinterpret_cast<LPARAM>(&high));
    EXPECT_EQ(low, 0);
    EXPECT_EQ(high, 100);
  }
  // "1轨" marked: track 1 fields enabled, the others not, their arrows are.
  EXPECT_EQ(SendMessageW(on(page()->RadioButton1), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_TRUE(enabled(page()->Memo1));
  EXPECT_FALSE(enabled(page()->Memo2));
  EXPECT_FALSE(enabled(page()->Edit6));
  EXPECT_TRUE(enabled(page()->UpDown6));
  op::screenshot(top, "continuous-write-input");

  // The log layout while a batch waits for its card.
  writer.setBlocking("writecard", 1);
  prepareCards("3");
  startBatch();
  ASSERT_TRUE(op::pumpUntil([&] { return writer.pendingCalls() == 1; }));
  expectRows(kCommonRows, true);
  expectRows(kInputRows, false);
  EXPECT_TRUE(shown(page()->Memo4));
  EXPECT_EQ(op::placeOf(logBox()), (op::Place{9, 24, 481, 211}));
  EXPECT_TRUE(GetWindowLongW(logBox(), GWL_STYLE) & WS_VSCROLL);
  EXPECT_EQ(GetFocus(), logBox());
  EXPECT_EQ(op::text(on(page()->Button2)), "暂停刷卡");
  EXPECT_FALSE(enabled(page()->Button1));
  EXPECT_TRUE(enabled(page()->Button2));
  EXPECT_TRUE(enabled(page()->Button3));
}

TEST_F(ContinuousWriteWindow, WritesThreeCardsAndTheLogIsReadBackFromTheBox) {
  writer.setSwipeDelayMs(400);  // slow enough to look at a running batch
  prepareCards("3");
  startBatch();
  EXPECT_EQ(swipeBox.text, "请刷卡！");
  EXPECT_EQ(swipeBox.caption, "");
  EXPECT_EQ(swipeBox.owner, top);
  ASSERT_TRUE(op::pumpUntil([&] { return op::text(logBox()) == entry(1, "CARD1"); }));
  op::screenshot(top, "continuous-write-running");
  ASSERT_TRUE(op::pumpUntil([&] { return finished(); }, 10000ms));
  op::pump(100ms);
  EXPECT_EQ(op::text(logBox()),
            entry(1, "CARD1") + "\r\n" + entry(2, "CARD2") + "\r\n" + entry(3, "CARD3"));
  EXPECT_EQ(writer.track(1), "CARD3");
  EXPECT_FALSE(enabled(page()->Button2));
  EXPECT_EQ(op::text(on(page()->Button2)), "暂停写卡");
  EXPECT_FALSE(op::boxOpen());
  op::screenshot(top, "continuous-write-finished");
}

TEST_F(ContinuousWriteWindow, StopAsksFirstAndCancelLeavesTheBatchGoing) {
  writer.setBlocking("writecard", 1);
  prepareCards("3");
  startBatch();
  ASSERT_TRUE(op::pumpUntil([&] { return writer.pendingCalls() == 1; }));
  {
    op::BoxAnswerer answerer(IDCANCEL);
    op::press(on(page()->Button3));
    ASSERT_TRUE(answerer.waitFor(1));
    const op::Box& box = answerer.boxes()[0];
    EXPECT_EQ(box.text, "确定退出连续写卡？");
    EXPECT_EQ(box.caption, "");
    EXPECT_TRUE(box.hasIcon);
    EXPECT_EQ(box.buttons.size(), 2u);
  }
  op::pump(100ms);
  EXPECT_TRUE(shown(page()->Memo4));
  EXPECT_TRUE(enabled(page()->Button3));
  EXPECT_EQ(writer.pendingCalls(), 1);
  EXPECT_TRUE(page()->running());
  {
    op::BoxAnswerer answerer(IDOK);
    op::press(on(page()->Button3));
    ASSERT_TRUE(answerer.waitFor(1));
  }
  ASSERT_TRUE(op::pumpUntil([&] { return !page()->running(); }, 2000ms));
  EXPECT_EQ(writer.pendingCalls(), 0);
  EXPECT_FALSE(shown(page()->Memo4));
  EXPECT_TRUE(shown(page()->Memo1));
  EXPECT_TRUE(enabled(page()->Button1));
  EXPECT_FALSE(enabled(page()->Button3));
  EXPECT_EQ(op::text(logBox()), "");
}

TEST_F(ContinuousWriteWindow, AFailedCardIsAskedAboutRewrittenOnOkAndCancelEndsTheBatch) {
  const std::int32_t results[] = {0, -6, 0, -3};
  writer.scriptResults("writecard", results, 4);
  prepareCards("3");
  {
    // The swipe box and the first failure: OK; the second failure: Cancel.
    // One answerer: the next box may open before the test could change it.
    int answered = 0;
    op::BoxAnswerer answerer([&](const op::Box&) { return ++answered < 3 ? IDOK : IDCANCEL; });
    op::press(on(page()->Button1));
    ASSERT_TRUE(answerer.waitFor(3, 10000ms));
    EXPECT_EQ(answerer.boxes()[0].text, "请刷卡！");
    EXPECT_EQ(answerer.boxes()[1].text, "第2次写卡失败\r\n  是否继续");
    EXPECT_TRUE(answerer.boxes()[1].hasIcon);
    EXPECT_EQ(answerer.boxes()[2].text, "第3次写卡失败\r\n  是否继续");
  }
  ASSERT_TRUE(op::pumpUntil([&] { return finished(); }, 5000ms));
  op::pump(100ms);
  EXPECT_EQ(op::text(logBox()), entry(1, "CARD1") + "\r\n\r\n第2次写卡失败！错误代码-6\r\n" +
                                    entry(2, "CARD2") + "\r\n\r\n第3次写卡失败！错误代码-3");
  EXPECT_FALSE(enabled(page()->Button2));
  EXPECT_FALSE(enabled(page()->Button3));
  EXPECT_EQ(writer.track(1), "CARD2");
}

TEST_F(ContinuousWriteWindow, EscTypedIntoTheLogAsksTheStopQuestionOtherKeysAreDropped) {
  prepareCards("1");
  startBatch();
  ASSERT_TRUE(op::pumpUntil([&] { return finished(); }, 10000ms));
  const std::string log = op::text(logBox());
  ASSERT_FALSE(log.empty());
  SetFocus(logBox());
  op::type(logBox(), "abc");
  op::pump(50ms);
  EXPECT_EQ(op::text(logBox()), log);
  // Stop is disabled in Finished; Esc asks all the same.
  ASSERT_FALSE(enabled(page()->Button3));
  {
    op::BoxAnswerer answerer(IDCANCEL);
    typeEsc(logBox());
    ASSERT_TRUE(answerer.waitFor(1));
    EXPECT_EQ(answerer.boxes()[0].text, "确定退出连续写卡？");
  }
  op::pump(50ms);
  EXPECT_EQ(op::text(logBox()), log);
  EXPECT_TRUE(shown(page()->Memo4));
  {
    op::BoxAnswerer answerer(IDOK);
    SetFocus(logBox());
    typeEsc(logBox());
    ASSERT_TRUE(answerer.waitFor(1));
  }
  ASSERT_TRUE(op::pumpUntil([&] { return shown(page()->Memo1); }));
  EXPECT_EQ(op::text(logBox()), "");
  EXPECT_TRUE(IsWindowVisible(top));
  EXPECT_FALSE(ui::app().terminated());
}

}  // namespace
