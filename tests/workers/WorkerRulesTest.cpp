// The card rules of the three workers (numbers, rewrite, skip, pairs, the
// end of a run), each worker talking to a port of the test's own instead of
// its page, against the emulated reader.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "CardTestSupport.h"
#include "cards/Selections.h"
#include "ui/Application.h"
#include "workers/Readcard.h"
#include "workers/Wirtecard.h"
#include "workers/Wirtetextcard.h"

namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

// What a port saw, and the answers it gives; touched on the UI thread only.
struct Seen {
  Lines entries;
  Lines questions;
  Lines problems;
  int finished = 0;
  std::deque<bool> answers;  // to the failure questions; Cancel when empty
  bool rewrite = true;
  std::function<void()> onQuestion;
  bool answer(const std::string& question) {
    questions.push_back(question);
    if (onQuestion) onQuestion();
    if (answers.empty()) return false;
    const bool ok = answers.front();
    answers.pop_front();
    return ok;
  }
};

struct FakeReadPort : ReadPort, Seen {
  void appendEntry(const std::string& entry) override { entries.push_back(entry); }
  void showProblem(const std::string& text) override { problems.push_back(text); }
  void runFinished() override { ++finished; }
};

struct FakeWritePort : WritePort, Seen {
  std::array<cards::TrackFields, 3> fields;
  int fieldReads = 0;
  std::array<cards::TrackFields, 3> cardFields(const std::array<bool, 3>& tracks) override {
    ++fieldReads;
    std::array<cards::TrackFields, 3> out;
    for (std::size_t t = 0; t < 3; ++t)
      if (tracks[t]) out[t] = fields[t];
    return out;
  }
  bool rewriteFailedCard() override { return rewrite; }
  void appendEntry(const std::string& entry) override { entries.push_back(entry); }
  void showProblem(const std::string& text) override { problems.push_back(text); }
  bool askGoOn(const std::string& question) override { return answer(question); }
  void batchFinished() override { ++finished; }
};

struct FakeTextPort : WriteTextPort, Seen {
  bool rewriteFailedCard() override { return rewrite; }
  void appendEntry(const std::string& entry) override { entries.push_back(entry); }
  void showProblem(const std::string& text) override { problems.push_back(text); }
  bool askGoOn(const std::string& question) override { return answer(question); }
  void runFinished() override { ++finished; }
};

class WorkerRules : public cardtest::EmulatorTest {
 protected:
  void SetUp() override {
    EmulatorTest::SetUp();
    emu.setSwipeDelayMs(0);
    emu.clearLog();
  }
  void TearDown() override {
    EXPECT_TRUE(ui::app().runUntil([] { return ui::Thread::running() == 0; }, 5s));
    EmulatorTest::TearDown();
  }
  void run(const std::shared_ptr<ui::Thread>& worker) {
    worker->start();
    ASSERT_TRUE(ui::app().runUntil([&] { return worker->finished(); }, 10s));
    ASSERT_FALSE(worker->fatalError());
  }
  Lines calls(const std::string& name) {
    Lines out;
    for (const std::string& line : emu.log())
      if (line.rfind(name + "(", 0) == 0) out.push_back(line);
    return out;
  }
  static std::string written(int selection, const std::string& a, const std::string& b,
                             int result = 0, int timeoutMs = 5000) {
    return cardtest::transferLine("writecard", 1, selection, a, b, 2, timeoutMs, result);
  }
};

// --- continuous read ---

TEST_F(WorkerRules, ReadNumbersEveryAttemptAndFinishesAfterTheLast) {
  emu.setTrack(2, "2222");
  emu.script("readcard", {0, -6, 0});
  FakeReadPort port;
  run(std::make_shared<ReadCard>(3, 1, 2, 2, 5000, port));
  EXPECT_EQ(port.entries, (Lines{"\r\n第1次读卡成功！\r\n第二轨数据：\r\n2222",
                                 "\r\n第2次读卡失败！错误代码-6",
                                 "\r\n第3次读卡成功！\r\n第二轨数据：\r\n2222"}));
  EXPECT_EQ(port.finished, 1);
  EXPECT_EQ(ReadCounter, 4);
}

TEST_F(WorkerRules, ReadEndsSilentlyOnABreakOffAndOnItsStop) {
  emu.script("readcard", {0, -100});
  FakeReadPort port;
  run(std::make_shared<ReadCard>(5, 1, 2, 2, 5000, port));
  EXPECT_EQ(port.entries.size(), 1u);
  EXPECT_EQ(port.finished, 0);  // the page stays as it was

  // Stopped between two attempts: no attempt is made after it.
  emu.clearLog();
  FakeReadPort stopped;
  auto worker = std::make_shared<ReadCard>(5, 1, 2, 2, 5000, stopped);
  worker->start();
  ASSERT_TRUE(ui::app().runUntil([&] { return !stopped.entries.empty(); }, 5s));
  worker->requestStop();
  ASSERT_TRUE(ui::app().runUntil([&] { return worker->finished(); }, 5s));
  // The read that was already inside when the stop came may return; none begins after it.
  EXPECT_LE(calls("readcard").size(), stopped.entries.size() + 1);
  EXPECT_EQ(stopped.finished, 0);
}

TEST_F(WorkerRules, ReadUnderSelectionSixShowsTracksOneAndTwoWithTheNote) {
  emu.setTrack(1, "ONE");
  emu.setTrack(2, "22");
  FakeReadPort port;
  run(std::make_shared<ReadCard>(1, 1, 6, 2, 5000, port));
  ASSERT_EQ(port.entries.size(), 1u);
  EXPECT_EQ(port.entries[0], std::string("\r\n第1次读卡成功！\r\n第一轨数据：\r\nONE\r\n第二轨数据：\r\n22\r\n") +
                                 cards::kSelection6ReadNote);
}

// --- continuous write ---

class WriteRules : public WorkerRules {
 protected:
  std::shared_ptr<WriteCard> batch(std::int32_t cards, int selection) {
    return std::make_shared<WriteCard>(1, cards, selection, 2, 5000, port, gate, clicks);
  }
  FakeWritePort port;
  std::shared_ptr<ui::Event> gate = std::make_shared<ui::Event>(true);
  std::shared_ptr<std::atomic<std::uint32_t>> clicks =
      std::make_shared<std::atomic<std::uint32_t>>(0);
  void SetUp() override {
    WorkerRules::SetUp();
    WriteRunning = 1;
  }
};

TEST_F(WriteRules, EveryCardGetsTheDataOfItsNumber) {
  port.fields[0] = {"T1-", "100", "-7"};
  port.fields[1] = {"22", "0", "0"};
  port.fields[2] = {"3", "0", "5"};  // start 0 is written, as the increment is not 0
  run(batch(3, 4));
  EXPECT_EQ(calls("writecard"), (Lines{written(4, "22", "T1-100"), written(4, "22", "T1-93"),
                                       written(4, "22", "T1-86")}));
  run(batch(2, 5));
  EXPECT_EQ(calls("writecard").back(), written(5, "22", "35"));
  EXPECT_EQ(port.finished, 2);
  // The fields of the next card come with the report of the last one.
  EXPECT_EQ(port.fieldReads, 5);
}

TEST_F(WriteRules, AFailedCardIsWrittenAgainWithTheSameDataOrSkipped) {
  port.fields[1] = {"9", "1", "1"};
  emu.script("writecard", {0, -6, 0, -2});
  port.answers = {true, true};
  port.rewrite = true;
  port.onQuestion = [&] {
    if (port.questions.size() == 2) port.rewrite = false;  // unchecked before the second
  };
  run(batch(4, 2));
  EXPECT_EQ(calls("writecard"), (Lines{written(2, "91", ""), written(2, "92", "", -6),
                                       written(2, "92", ""), written(2, "93", "", -2),
                                       written(2, "94", "")}));
  EXPECT_EQ(port.questions, (Lines{"第2次写卡失败\r\n  是否继续", "第3次写卡失败\r\n  是否继续"}));
  EXPECT_EQ(port.entries[1], "\r\n第2次写卡失败！错误代码-6");
  EXPECT_EQ(port.entries[2], "\r\n第2次写卡成功！\r\n第二轨数据：\r\n92");
  EXPECT_EQ(port.finished, 1);
}

TEST_F(WriteRules, CancelEndsTheBatchAtOnceAndFinishesIt) {
  port.fields[0] = {"X", "0", "0"};
  emu.script("writecard", {-3});
  run(batch(5, 1));
  EXPECT_EQ(calls("writecard").size(), 1u);
  EXPECT_EQ(port.finished, 1);
  EXPECT_EQ(port.entries, Lines{"\r\n第1次写卡失败！错误代码-3"});
}

TEST_F(WriteRules, TheLargestCountEndsAfterItsLastCard) {
  // The batch stands at its last card (the count is the largest number):
  // after it the counter must not wrap round to a new first card.
  port.fields[0] = {"L", "0", "0"};
  emu.script("writecard", {-6});
  port.answers = {true};
  port.rewrite = false;
  port.onQuestion = [] { WriteCounter = std::numeric_limits<std::int32_t>::max(); };
  run(batch(std::numeric_limits<std::int32_t>::max(), 1));
  EXPECT_EQ(calls("writecard").size(), 1u);
  EXPECT_EQ(port.finished, 1);
  EXPECT_EQ(WriteCounter, std::numeric_limits<std::int32_t>::max());
}

TEST_F(WriteRules, DataThatCannotGoToTheCardEndsTheBatchAndAFieldThatIsNoNumberEndsItSilently) {
  port.fields[0] = {std::string(298, 'A'), "10", "5"};  // 300 bytes: never cut
  run(batch(3, 1));
  EXPECT_TRUE(calls("writecard").empty());
  EXPECT_EQ(port.entries,
            Lines{"\r\n第1次写卡：1轨数据超过299字节（共300字节），未写卡！\r\n连续写卡已停止，请修改数据后重新开始。"});
  EXPECT_EQ(port.finished, 1);

  FakeWritePort silent;
  silent.fields[0] = {"A", "x", "1"};
  run(std::make_shared<WriteCard>(1, 3, 1, 2, 5000, silent, gate, clicks));
  EXPECT_TRUE(silent.entries.empty());
  EXPECT_EQ(silent.finished, 0);
}

TEST_F(WriteRules, AStoppedBatchAtItsClosedGateEndsWithoutAWord) {
  port.fields[0] = {"G", "0", "0"};
  gate->reset();
  auto worker = batch(3, 1);
  worker->start();
  std::this_thread::sleep_for(20ms);
  worker->requestStop();
  ASSERT_TRUE(ui::app().runUntil([&] { return worker->finished(); }, 5s));
  EXPECT_TRUE(calls("writecard").empty());
  EXPECT_EQ(port.fieldReads, 0);
  EXPECT_EQ(port.finished, 0);
}

// --- text file ---

class TextRules : public WorkerRules {
 protected:
  std::shared_ptr<WriteTextCard> textRun(const std::string& bytes, int selection, int timeoutMs = 5000) {
    return std::make_shared<WriteTextCard>(timeoutMs, 2, cards::splitLines(bytes), selection, 1, port);
  }
  void SetUp() override {
    WorkerRules::SetUp();
    TextWriteStop = 0;
  }
  FakeTextPort port;
};

TEST_F(TextRules, PairsGoLowerTrackFirstAndAnOddLastLineIsMissingData) {
  run(textRun("T1\n12\nU1\n34\nLAST\n", 4));
  EXPECT_EQ(calls("writecard"), (Lines{written(4, "12", "T1"), written(4, "34", "U1")}));
  EXPECT_EQ(port.entries.back(), "\r\n第3次写卡数据缺失！");
  EXPECT_EQ(port.finished, 1);
  emu.clearLog();
  run(textRun("22\n33\n", 5, 0));
  EXPECT_EQ(calls("writecard"), Lines{written(5, "22", "33", 0, 0)});
  EXPECT_EQ(port.entries.back(), "\r\n第1次写卡成功！\r\n第二轨数据：\r\n22\r\n第三轨数据：\r\n33");
}

TEST_F(TextRules, ARewriteTakesTheSamePairAndASkipTheNextOneWithItsNumber) {
  emu.script("writecard", {-6, 0, -7});
  port.answers = {true, true};
  port.onQuestion = [&] { port.rewrite = port.questions.size() == 1; };
  run(textRun("P1\n22\nQ1\n33\nR1\n44\n", 4));
  EXPECT_EQ(calls("writecard"),
            (Lines{written(4, "22", "P1", -6), written(4, "22", "P1"), written(4, "33", "Q1", -7),
                   written(4, "44", "R1")}));
  EXPECT_EQ(port.questions, (Lines{"第1次写卡失败！\r\n  错误代码-6\r\n   是否继续",
                                   "第2次写卡失败！\r\n  错误代码-7\r\n   是否继续"}));
  EXPECT_EQ(port.entries.back(), "\r\n第3次写卡成功！\r\n第一轨数据：\r\nR1\r\n第二轨数据：\r\n44");
  EXPECT_EQ(port.finished, 1);
}

TEST_F(TextRules, CancelEndsTheRunAfterTheFailedCard) {
  emu.script("writecard", {0, -6});
  run(textRun("1\n2\n3\n", 2));
  EXPECT_EQ(calls("writecard").size(), 2u);
  EXPECT_EQ(port.finished, 1);
  EXPECT_EQ(port.entries.back(), "\r\n第2次写卡失败！错误代码-6");
}

TEST_F(TextRules, RefusedFilesAreReportedBeforeAnyCard) {
  run(textRun("a\n", 6));
  EXPECT_EQ(port.entries, Lines{cards::kSelection6Refused});
  EXPECT_EQ(port.finished, 1);
  FakeTextPort empty;
  run(std::make_shared<WriteTextCard>(5000, 2, cards::splitLines(""), 1, 1, empty));
  EXPECT_EQ(empty.problems, Lines{cards::kFileEmpty});
  EXPECT_EQ(empty.finished, 0);
  EXPECT_TRUE(calls("writecard").empty());
}

TEST_F(TextRules, TheStopFlagBetweenCardsEndsTheRun) {
  port.onQuestion = [] { TextWriteStop = 1; };  // set while the question is open
  port.answers = {true};
  emu.script("writecard", {-6});
  run(textRun("1\n2\n3\n", 1));
  EXPECT_EQ(calls("writecard").size(), 1u);
  EXPECT_EQ(port.finished, 0);
}

}  // namespace
