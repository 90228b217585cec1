// The continuous-read page in the real window under Wine, driven as an
// operator drives it, with the emulated reader beside the test program.
#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "EmulatorClient.h"
#include "Operator.h"
#include "MainFormFixture.h"
#include "app/MainForm.h"
#include "pages/Mreadcardframe01.h"
#include "ui/Application.h"
#include "ui/Thread.h"
#include "ui/win32/Win32Backend.h"

namespace {

using namespace std::chrono_literals;
using ui::win32::handleOf;

// The emulator copy that the window loaded, with its control interface.
using Reader = emu::Client;

struct ReadRow {
  const char* name;
  op::Place place;
  const char* caption;
};

class ContinuousReadWindow : public ::testing::Test, protected WithMainForm {
 protected:
  void SetUp() override {
    showMainForm();
    ASSERT_TRUE(reader.controllable());
    reader.resetState();
    reader.setSwipeDelayMs(5);
    reader.setTrack(2, "6222020200112233445");
    {
      op::BoxAnswerer answerer(IDOK);
      op::press(op::findByText(top, "手动连机", "Button"));
      ASSERT_TRUE(answerer.waitFor(1));
    }
    op::press(op::findByText(top, "连续读卡", "Button"));
    ASSERT_TRUE(op::pumpUntil([&] { return page() != nullptr; }));
    op::pump(100ms);
  }
  void TearDown() override {
    reader.setBlocking("readcard", 0);
    closeMainForm();
  }

  TMReadCardFrame1* page() { return dynamic_cast<TMReadCardFrame1*>(form->OperationPage.get()); }
  HWND on(ui::Control* c) { return handleOf(*c); }
  HWND logBox() { return on(page()->Memo1); }
  // Types the count as the keyboard does: the old text selected and replaced.
  void typeCount(const std::string& count) {
    HWND edit = on(page()->Edit1);
    SetFocus(edit);
    SendMessageW(edit, EM_SETSEL, 0, -1);
    op::type(edit, count);
  }
  bool startEnabled() { return IsWindowEnabled(on(page()->Button1)) != FALSE; }
  void selectTab(const char* caption) {
    HWND tabs = on(form->PageControl1);
    const auto row = op::tabTexts(tabs);
    const auto at = std::find(row.begin(), row.end(), caption);
    ASSERT_NE(at, row.end()) << caption;
    op::clickTab(tabs, static_cast<int>(at - row.begin()));
    ASSERT_TRUE(op::pumpUntil([&] { return form->PageControl1->activeSheet()->caption() == caption; }));
    op::pump(50ms);
  }

  Reader reader;
};

TEST_F(ContinuousReadWindow, ShowsTheDescribedLayout) {
  const ReadRow rows[] = {
      {"Label2", {192, 8, 89, 13}, "连续读卡测试"},
      {"GroupBox1", {14, 23, 115, 202}, "请选择轨道"},
      {"RadioButton1", {16, 24, 41, 17}, "1轨"},
      {"RadioButton2", {16, 53, 41, 17}, "2轨"},
      {"RadioButton3", {16, 82, 41, 17}, "3轨"},
      {"RadioButton4", {16, 116, 49, 17}, "1,2轨"},
      {"RadioButton5", {16, 148, 49, 10}, "2,3轨"},
      {"RadioButton6", {16, 174, 65, 17}, "1,2,3轨"},
      {"Memo1", {133, 29, 354, 195}, ""},
      {"Label1", {48, 248, 60, 13}, "读卡次数："},
      {"Edit1", {112, 244, 73, 21}, "0"},
      {"UpDown1", {185, 244, 16, 21}, ""},
      {"Button1", {221, 242, 75, 25}, "开始读卡"},
      {"Button3", {318, 240, 75, 25}, "停止读卡"},
      {"Button2", {408, 240, 73, 25}, "清空显示"},
  };
  for (const ReadRow& r : rows) {
    ui::Control* c = page()->findChild(r.name);
    ASSERT_NE(c, nullptr) << r.name;
    HWND h = on(c);
    ASSERT_NE(h, nullptr) << r.name;
    EXPECT_EQ(op::placeOf(h), r.place) << r.name;
    if (std::string(r.name) != "UpDown1") {
      EXPECT_EQ(op::text(h), r.caption) << r.name;
    }
    EXPECT_TRUE(IsWindowVisible(h)) << r.name;
  }
  EXPECT_EQ(op::placeOf(on(page())), (op::Place{0, 0, 500, 273}));
  EXPECT_TRUE(GetWindowLongW(logBox(), GWL_STYLE) & WS_VSCROLL);
  EXPECT_FALSE(GetWindowLongW(logBox(), GWL_STYLE) & ES_READONLY);
  // Model 402: only "2轨", marked.
  EXPECT_EQ(SendMessageW(on(page()->RadioButton2), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_FALSE(IsWindowEnabled(on(page()->RadioButton1)));
}

TEST_F(ContinuousReadWindow, ReadsThreeCardsIntoTheLog) {
  typeCount("3");
  op::press(on(page()->Button1));
  ASSERT_TRUE(op::pumpUntil([&] { return !page()->running() && startEnabled(); }, 10000ms));
  op::pump(100ms);
  // Each entry is a new line that begins with a line break: an empty line
  // and then its text.
  std::string expected;
  for (int n = 1; n <= 3; ++n)
    expected += std::string(n == 1 ? "" : "\r\n") + "\r\n第" + std::to_string(n) +
                "次读卡成功！\r\n第二轨数据：\r\n6222020200112233445";
  EXPECT_EQ(op::text(logBox()), expected);
  op::screenshot(top, "continuous-read-after-run");

  // Clear empties the real box.
  op::press(on(page()->Button2));
  ASSERT_TRUE(op::pumpUntil([&] { return op::text(logBox()).empty(); }));
}

TEST_F(ContinuousReadWindow, StopDuringABlockedReadReturnsAtOnceAndLogsNothing) {
  reader.setBlocking("readcard", 1);
  typeCount("5");
  op::press(on(page()->Button1));
  ASSERT_TRUE(op::pumpUntil([&] { return reader.pendingCalls() == 1; }));
  EXPECT_FALSE(startEnabled());
  const auto t0 = std::chrono::steady_clock::now();
  op::press(on(page()->Button3));
  ASSERT_TRUE(op::pumpUntil([&] { return startEnabled(); }, 2000ms));
  EXPECT_LT(std::chrono::steady_clock::now() - t0, 1000ms);
  ASSERT_TRUE(op::pumpUntil([&] { return !page()->running(); }, 2000ms));
  op::pump(200ms);
  EXPECT_EQ(op::text(logBox()), "");
  EXPECT_FALSE(op::boxOpen());
}

TEST_F(ContinuousReadWindow, AMissedStopIsBrokenOffAgainWhileAMessageBoxIsOpen) {
  // Stop's endcard comes a moment before the read waits (the emulator misses
  // it); the operator's next click opens a box at once. The stop's repeated
  // break-off comes from the window's own timer, inside the box's loop.
  reader.setBlocking("readcard", 1);
  typeCount("5");
  op::press(on(page()->Button1));
  ASSERT_TRUE(op::pumpUntil([&] { return reader.pendingCalls() == 1; }));
  reader.missBreakOffs(1);
  typeCount("0");
  op::BoxAnswerer answerer(IDOK, [&] { return reader.pendingCalls() == 0; });
  op::press(on(page()->Button3));
  op::press(on(page()->Button1));  // "请选择读卡次数!"
  ASSERT_TRUE(answerer.waitFor(1, 5000ms));
  EXPECT_EQ(answerer.boxes()[0].text, "请选择读卡次数!");
  ASSERT_TRUE(op::pumpUntil([&] { return !page()->running(); }, 2000ms));
  op::pump(100ms);
  EXPECT_EQ(op::text(logBox()), "");
  EXPECT_TRUE(startEnabled());
}

TEST_F(ContinuousReadWindow, LeavingThePageDuringARunLeavesNothingBehind) {
  for (bool blocked : {true, false}) {
    SCOPED_TRACE(blocked ? "blocked read" : "fast run");
    reader.setBlocking("readcard", blocked ? 1 : 0);
    reader.setSwipeDelayMs(0);
    typeCount(blocked ? "5" : "100000");
    op::press(on(page()->Button1));
    ASSERT_TRUE(op::pumpUntil([&] {
      return blocked ? reader.pendingCalls() == 1 : op::text(logBox()).size() > 200;
    }));
    op::press(op::findByText(top, "读卡测试", "Button"));
    ASSERT_TRUE(op::pumpUntil([&] { return page() == nullptr; }));
    EXPECT_EQ(ui::Thread::running(), 0);
    const std::int32_t calls = reader.logCount();
    op::pump(200ms);
    EXPECT_EQ(reader.logCount(), calls);
    EXPECT_FALSE(op::boxOpen());
    EXPECT_TRUE(IsWindowVisible(top));
    op::press(op::findByText(top, "连续读卡", "Button"));
    ASSERT_TRUE(op::pumpUntil([&] { return page() != nullptr; }));
    op::pump(100ms);
  }
}

TEST_F(ContinuousReadWindow, ANewConnectionWaitsUntilTheRunIsStopped) {
  reader.setBlocking("readcard", 1);
  typeCount("5");
  op::press(on(page()->Button1));
  ASSERT_TRUE(op::pumpUntil([&] { return reader.pendingCalls() == 1; }));
  selectTab("系统初始化");
  {
    op::BoxAnswerer answerer(IDOK);
    op::press(op::findByText(top, "手动连机", "Button"));
    ASSERT_TRUE(answerer.waitFor(1));
    EXPECT_EQ(answerer.boxes()[0].text, "连续读写卡正在进行，请先停止后再联机或复位！");
  }
  EXPECT_NE(page(), nullptr);
  EXPECT_EQ(reader.pendingCalls(), 1);
  selectTab("操作");
  op::press(on(page()->Button3));
  ASSERT_TRUE(op::pumpUntil([&] { return !page()->running(); }));
  selectTab("系统初始化");
  {
    op::BoxAnswerer answerer(IDOK);
    op::press(op::findByText(top, "手动连机", "Button"));
    ASSERT_TRUE(answerer.waitFor(1));
    EXPECT_EQ(answerer.boxes()[0].text, "联机成功！");
  }
  EXPECT_EQ(page(), nullptr);  // the read-card test page took its place
}

}  // namespace
