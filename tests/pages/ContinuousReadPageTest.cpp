// The continuous-read page and its worker, with real threads, against the
// emulated reader.
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "CardTestSupport.h"
#include "cards/Buffers.h"
#include "cards/Selections.h"
#include "pages/Mreadcardframe01.h"
#include "pages/TrackChoice.h"
#include "ui/Application.h"
#include "workers/Readcard.h"

namespace {

using namespace std::chrono_literals;
using cardtest::EmulatorTest;
using cardtest::Hosted;

class ContinuousRead : public EmulatorTest {
 protected:
  void SetUp() override {
    EmulatorTest::SetUp();
    emu.setTrack(1, "TRACK ONE");
    emu.setTrack(2, "2222");
    emu.setTrack(3, "3333");
    emu.setSwipeDelayMs(0);
    device::DeviceType = 6;
    page = std::make_unique<Hosted<TMReadCardFrame1>>();
    emu.clearLog();
    emu.resetMostConcurrentTransfers();
  }
  void TearDown() override {
    page.reset();
    EXPECT_TRUE(ui::app().runUntil([] { return ui::Thread::running() == 0; }, 5s));
    EXPECT_LE(emu.mostConcurrentTransfers(), 1);
    EmulatorTest::TearDown();
  }

  TMReadCardFrame1& p() { return page->page; }
  void choose(int selection) {
    ui::RadioButton* buttons[] = {p().RadioButton1, p().RadioButton2, p().RadioButton3,
                                  p().RadioButton4, p().RadioButton5, p().RadioButton6};
    ASSERT_TRUE(buttons[selection - 1]->click());
  }
  void start(const std::string& count) {
    p().Edit1->setText(count);
    ASSERT_TRUE(p().Button1->click());
  }
  bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit = 5s) {
    return ui::app().runUntil(condition, limit);
  }
  bool ended() { return waitUntil([&] { return !p().running(); }); }
  int calls(const std::string& name) {
    int n = 0;
    for (const std::string& line : emu.log())
      if (line.rfind(name + "(", 0) == 0) ++n;
    return n;
  }
  std::vector<std::string> lines() { return p().Memo1->lines(); }

  std::unique_ptr<Hosted<TMReadCardFrame1>> page;
};

TEST_F(ContinuousRead, OpensWithTheModelsTracksAndNothingRunning) {
  EXPECT_EQ(p().bounds(), (ui::Rect{0, 0, 500, 273}));
  EXPECT_EQ(p().TrackSelection, 1);
  EXPECT_TRUE(p().RadioButton1->checked());
  EXPECT_EQ(p().Edit1->text(), "0");
  EXPECT_EQ(p().UpDown1->associate(), p().Edit1);
  EXPECT_EQ(p().RadioButton5->bounds().height, 10);
  EXPECT_TRUE(p().Button1->enabled());
  page.reset();
  const std::pair<int, int> defaults[] = {{2, 2}, {3, 3}, {4, 1}, {5, 2}, {0, 0}};
  for (auto [type, selection] : defaults) {
    device::DeviceType = type;
    Hosted<TMReadCardFrame1> h;
    EXPECT_EQ(h.page.TrackSelection, selection) << type;
  }
  // Unknown model: every button offered, none marked; a click only chooses.
  Hosted<TMReadCardFrame1> h;
  ASSERT_TRUE(h.page.RadioButton6->click());
  EXPECT_EQ(h.page.TrackSelection, 6);
  EXPECT_TRUE(h.page.Button1->enabled());
}

TEST_F(ContinuousRead, BadCountsStartNothing) {
  for (const char* count : {"0", "-3"}) {
    session.dialogs().clear();
    start(count);
    EXPECT_EQ(messages(), std::vector<std::string>{"请选择读卡次数!"}) << count;
  }
  start("abc");
  EXPECT_EQ(errors(), std::vector<std::string>{"'abc' is not a valid integer value"});
  EXPECT_TRUE(p().Button1->enabled());
  EXPECT_FALSE(p().running());
  EXPECT_TRUE(emu.log().empty());

  page.reset();
  device::DeviceType = 0;
  page = std::make_unique<Hosted<TMReadCardFrame1>>();
  session.dialogs().clear();
  start("3");
  EXPECT_EQ(messages(), std::vector<std::string>{"请选择轨道!"});
  EXPECT_TRUE(emu.log().empty());
}

TEST_F(ContinuousRead, EveryAttemptIsNumberedAndTheStartButtonComesBack) {
  emu.script("readcard", {-1, -1, -1});
  choose(2);
  start("3");
  EXPECT_FALSE(p().Button1->enabled());
  ASSERT_TRUE(ended());
  EXPECT_EQ(lines(), (std::vector<std::string>{"", "第1次读卡失败！错误代码-1", "",
                                               "第2次读卡失败！错误代码-1", "",
                                               "第3次读卡失败！错误代码-1"}));
  EXPECT_TRUE(p().Button1->enabled());
  EXPECT_EQ(calls("readcard"), 3);
  EXPECT_EQ(ReadCounter, 4);
}

TEST_F(ContinuousRead, SuccessfulReadsLogTheTracksOfTheSelection) {
  cardtest::setConnection(3, 1, 10000, 6);
  choose(4);
  start("2");
  ASSERT_TRUE(ended());
  EXPECT_EQ(lines(), (std::vector<std::string>{"", "第1次读卡成功！", "第一轨数据：", "TRACK ONE",
                                               "第二轨数据：", "2222", "", "第2次读卡成功！",
                                               "第一轨数据：", "TRACK ONE", "第二轨数据：", "2222"}));
  // The worker's own copies of the connection values.
  EXPECT_EQ(emu.log()[0], cardtest::transferLine("readcard", 3, 4, "2222", "TRACK ONE", 1, 10000, 0));

  struct Row {
    int selection;
    std::vector<std::string> after;
  };
  const Row rows[] = {{1, {"第一轨数据：", "TRACK ONE"}},
                      {3, {"第三轨数据：", "3333"}},
                      {5, {"第二轨数据：", "2222", "第三轨数据：", "3333"}}};
  for (const Row& row : rows) {
    p().Button2->click();
    choose(row.selection);
    start("1");
    ASSERT_TRUE(ended());
    std::vector<std::string> expected{"", "第1次读卡成功！"};
    expected.insert(expected.end(), row.after.begin(), row.after.end());
    EXPECT_EQ(lines(), expected) << row.selection;
  }
}

TEST_F(ContinuousRead, SelectionSixLogsTracksOneAndTwoAndSaysTrackThreeIsNotRead) {
  emu.script("readcard", {0, -2});
  choose(6);
  start("2");
  ASSERT_TRUE(ended());
  EXPECT_EQ(lines(), (std::vector<std::string>{"", "第1次读卡成功！", "第一轨数据：", "TRACK ONE",
                                               "第二轨数据：", "2222", cards::kSelection6ReadNote,
                                               "", "第2次读卡失败！错误代码-2"}));
  EXPECT_TRUE(p().Button1->enabled());

  // -100 ends a run under selection 6 as under every other one.
  p().Button2->click();
  emu.script("readcard", {-100});
  start("3");
  ASSERT_TRUE(ended());
  EXPECT_TRUE(lines().empty());
  EXPECT_FALSE(p().Button1->enabled());
}

TEST_F(ContinuousRead, BuffersWithoutATerminatingZeroAreNeverReadPastTheirEnd) {
  // The library fills all 300 bytes: the track's text, then filler, no zero.
  emu.setUnterminatedBuffers(1);
  choose(2);
  start("1");
  ASSERT_TRUE(ended());
  const std::string shown = "2222" + std::string(300 - 4, '#');
  EXPECT_EQ(lines(), (std::vector<std::string>{"", "第1次读卡成功！", "第二轨数据：", shown}));
  EXPECT_TRUE(p().Button1->enabled());
}

TEST_F(ContinuousRead, BrokenOffReadEndsTheRunSilentlyUntilStop) {
  emu.script("readcard", {-3, -100});
  choose(1);
  start("5");
  ASSERT_TRUE(ended());
  EXPECT_EQ(lines(), (std::vector<std::string>{"", "第1次读卡失败！错误代码-3"}));
  EXPECT_FALSE(p().Button1->enabled());  // stuck
  EXPECT_EQ(calls("readcard"), 2);
  ASSERT_TRUE(p().Button3->click());
  EXPECT_TRUE(p().Button1->enabled());
}

TEST_F(ContinuousRead, StopDuringABlockedReadReturnsAtOnceAndLogsNothing) {
  emu.setBlocking("readcard", 1);
  choose(2);
  start("3");
  ASSERT_TRUE(waitUntil([&] { return emu.pendingCalls() == 1; }));
  const auto t0 = std::chrono::steady_clock::now();
  ASSERT_TRUE(p().Button3->click());
  EXPECT_LT(std::chrono::steady_clock::now() - t0, 500ms);
  EXPECT_TRUE(p().Button1->enabled());
  EXPECT_EQ(ReadRunning, 0);
  ASSERT_TRUE(ended());
  ui::app().runUntil([] { return false; }, 30ms);
  EXPECT_TRUE(lines().empty());
  const auto log = emu.log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0], "endcard(2)=0");
  EXPECT_EQ(log[1].substr(log[1].size() - 6), ")=-100");

  // Stop after the run has ended still breaks off and leaves Start enabled.
  emu.clearLog();
  ASSERT_TRUE(p().Button3->click());
  EXPECT_EQ(emu.log(), std::vector<std::string>{"endcard(2)=0"});
  EXPECT_TRUE(p().Button1->enabled());
}

TEST_F(ContinuousRead, StopBeforeAnyRunOfTheProcessCallsNothing) {
  ReaderLibraryHandle.set(nullptr);  // as in a new process
  ASSERT_TRUE(p().Button3->click());
  EXPECT_EQ(messages(), std::vector<std::string>{"未装载40x动态库!"});
  EXPECT_TRUE(emu.log().empty());
  EXPECT_TRUE(p().Button1->enabled());
}

TEST_F(ContinuousRead, StopAndStartAtOnceNeverRevivesTheOldWorker) {
  emu.setBlocking("readcard", 1);
  choose(2);
  start("100");
  ASSERT_TRUE(waitUntil([&] { return emu.pendingCalls() == 1; }));
  ASSERT_TRUE(p().Button3->click());
  emu.setBlocking("readcard", 0);
  start("2");  // sets ReadRunning again while the old worker may still be returning
  ASSERT_TRUE(ended());
  EXPECT_EQ(lines(), (std::vector<std::string>{"", "第1次读卡成功！", "第二轨数据：", "2222", "",
                                               "第2次读卡成功！", "第二轨数据：", "2222"}));
  // One broken-off read of the old run, two of the new one.
  EXPECT_EQ(calls("readcard"), 3);
  EXPECT_EQ(emu.mostConcurrentTransfers(), 1);
}

TEST_F(ContinuousRead, AStopThatMissesTheReadBreaksItOffAgainWithoutAStart) {
  // Stop's break-off comes a moment before the worker's read begins (the
  // emulator misses it): the stop repeats it while the read is pending.
  device::TimeoutMs = 60000;
  emu.setBlocking("readcard", 1);
  choose(2);
  start("5");
  ASSERT_TRUE(waitUntil([&] { return emu.pendingCalls() == 1; }));
  emu.missBreakOffs(1);
  ASSERT_TRUE(p().Button3->click());
  EXPECT_TRUE(p().Button1->enabled());
  ASSERT_TRUE(waitUntil([&] { return emu.pendingCalls() == 0 && !p().running(); }, 3s));
  ui::app().runUntil([] { return false; }, 50ms);
  EXPECT_TRUE(lines().empty());
  EXPECT_GE(calls("endcard"), 2);
  EXPECT_EQ(calls("readcard"), 1);
  EXPECT_EQ(emu.mostConcurrentTransfers(), 1);
}

TEST_F(ContinuousRead, StartStillBreaksOffAReadThatEveryRepeatMissed) {
  device::TimeoutMs = 60000;
  emu.setBlocking("readcard", 1);
  choose(2);
  start("5");
  ASSERT_TRUE(waitUntil([&] { return emu.pendingCalls() == 1; }));
  emu.missBreakOffs(1000);
  ASSERT_TRUE(p().Button3->click());
  ui::app().runUntil([] { return false; }, ui::WorkerSlot::kRepeatLimit + 300ms);
  ASSERT_EQ(emu.pendingCalls(), 1);
  emu.missBreakOffs(0);
  session.dialogs().clear();
  start("1");
  EXPECT_TRUE(messages().empty());
  ASSERT_TRUE(waitUntil([&] { return emu.pendingCalls() == 1 && calls("readcard") == 1; }));
  EXPECT_TRUE(p().running());
  ASSERT_TRUE(p().Button3->click());
  ASSERT_TRUE(ended());
  EXPECT_EQ(emu.mostConcurrentTransfers(), 1);
}

TEST_F(ContinuousRead, StartRefusesWhileAWorkerCannotEnd) {
  // A worker of another page is still inside the library (its break-off does
  // not reach it): Start waits a little, then says so and starts nothing.
  emu.setBlocking("readcard", 1);
  choose(2);
  start("5");
  ASSERT_TRUE(waitUntil([&] { return emu.pendingCalls() == 1; }));
  ReadRunning = 0;  // what Stop does, without the break-off
  p().Button1->setEnabled(true);
  session.dialogs().clear();
  start("1");
  EXPECT_EQ(messages(), std::vector<std::string>{"上一次连续读卡尚未结束，请稍后再开始！"});
  EXPECT_EQ(emu.pendingCalls(), 1);
  EXPECT_EQ(emu.mostConcurrentTransfers(), 1);
}

TEST_F(ContinuousRead, ClearDuringARunEmptiesTheLogAndTheRunGoesOn) {
  // Slow swipes: the clear comes between the first and the second card.
  emu.setSwipeDelayMs(300);
  choose(2);
  start("3");
  ASSERT_TRUE(waitUntil([&] { return lines().size() >= 3; }));
  ASSERT_TRUE(p().Button2->click());
  ASSERT_TRUE(ended());
  const auto after = lines();
  ASSERT_FALSE(after.empty());
  // The next entry is the first text in the log.
  EXPECT_EQ(after[0], "");
  EXPECT_EQ(after[1].rfind("第", 0), 0u);
  EXPECT_EQ(after.back(), "2222");
  EXPECT_EQ(calls("readcard"), 3);
}

TEST_F(ContinuousRead, ATypedCountAboveTheArrowsLimitIsUsed) {
  const std::vector<std::int32_t> failures(250, -1);
  emu.scriptResults("readcard", failures.data(), 250);
  choose(2);
  start("250");
  ASSERT_TRUE(waitUntil([&] { return !p().running(); }));
  EXPECT_EQ(calls("readcard"), 250);
  EXPECT_EQ(lines().back(), "第250次读卡失败！错误代码-1");
}

TEST_F(ContinuousRead, LoadsDoNotPileUpRunAfterRun) {
  choose(2);
  start("1");
  ASSERT_TRUE(ended());
  const int afterFirst = device::DynamicLibrary::liveLoads();
  for (int i = 0; i < 5; ++i) {
    ASSERT_TRUE(p().Button1->enabled());
    start("1");
    ASSERT_TRUE(ended());
  }
  EXPECT_EQ(device::DynamicLibrary::liveLoads(), afterFirst);
  // The handle always names a load that is still there.
  ASSERT_TRUE(p().Button3->click());
  EXPECT_EQ(emu.log().back(), "endcard(2)=0");
}

TEST_F(ContinuousRead, LibraryProblemsAreReportedByTheWorker) {
  ReaderLibraryHandle.set(nullptr);
  // A file of that name that is no library (a missing file would find the
  // copy that the test has loaded).
  device::DynamicLibrary::setSearchFolderForTests(cardtest::variantFolder("not_a_library"));
  choose(2);
  start("2");
  ASSERT_TRUE(ended());
  EXPECT_EQ(messages(), std::vector<std::string>{"装载40x动态库失败！"});
  EXPECT_FALSE(p().Button1->enabled());
  session.dialogs().clear();
  ASSERT_TRUE(p().Button3->click());  // no load to find endcard in
  EXPECT_EQ(messages(), std::vector<std::string>{"未装载40x动态库!"});
  EXPECT_FALSE(p().Button1->enabled());

  device::DynamicLibrary::setSearchFolderForTests(cardtest::variantFolder("no_readcard"));
  session.dialogs().clear();
  p().Button1->setEnabled(true);
  start("2");
  ASSERT_TRUE(ended());
  EXPECT_EQ(messages(), std::vector<std::string>{"装载40x动态库函数失败!"});
  EXPECT_FALSE(p().Button1->enabled());
  // The load is kept for the stop button, which leaves the stuck state.
  ASSERT_TRUE(p().Button3->click());
  EXPECT_TRUE(p().Button1->enabled());
}

// --- the page goes while its worker runs ---

TEST_F(ContinuousRead, PageDestroyedDuringABlockedReadEndsTheWorkerFirst) {
  emu.setBlocking("readcard", 1);
  choose(2);
  start("5");
  ASSERT_TRUE(waitUntil([&] { return emu.pendingCalls() == 1; }));
  const auto t0 = std::chrono::steady_clock::now();
  page.reset();  // no endcard from anybody else: the page breaks off itself
  EXPECT_LT(std::chrono::steady_clock::now() - t0, 2s);
  EXPECT_EQ(ui::Thread::running(), 0);
  EXPECT_EQ(emu.pendingCalls(), 0);
}

TEST_F(ContinuousRead, PageDestroyedDuringAFastRunLeavesNothingBehind) {
  for (int round = 0; round < 20; ++round) {
    choose(2);
    start("100000");
    ui::app().runUntil([] { return false; }, std::chrono::milliseconds(round % 5));
    page.reset();
    EXPECT_EQ(ui::Thread::running(), 0) << round;
    page = std::make_unique<Hosted<TMReadCardFrame1>>();
  }
}

}  // namespace
