// The text-file write page and its worker, with real threads, against the
// emulated reader; the files are made at run time in a temporary folder.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "CardTestSupport.h"
#include "TextFileSupport.h"
#include "pages/Writetextframe01.h"
#include "ui/Application.h"
#include "cards/LogEntries.h"
#include "cards/TextLines.h"
#include "workers/Wirtetextcard.h"

namespace {

using namespace std::chrono_literals;
using cardtest::EmulatorTest;
using cardtest::Hosted;
using cardtest::transferLine;
using Lines = std::vector<std::string>;

class TextFilePage : public EmulatorTest {
 protected:
  void SetUp() override {
    EmulatorTest::SetUp();
    emu.setSwipeDelayMs(0);
    page = std::make_unique<Hosted<TWriteTextFrame1>>();
    emu.clearLog();
    emu.resetMostConcurrentTransfers();
  }
  void TearDown() override {
    page.reset();
    EXPECT_TRUE(ui::app().runUntil([] { return ui::Thread::running() == 0; }, 5s));
    EXPECT_LE(emu.mostConcurrentTransfers(), 1);
    EmulatorTest::TearDown();
  }

  TWriteTextFrame1& p() { return page->page; }
  // Starts a run of this file content under the selection (1 to 6).
  void start(int selection, const std::string& bytes, const std::string& name = "cards.txt") {
    p().Edit1->setText(files.write(name, bytes));
    p().RadioGroup1->setItemIndex(selection - 1);
    ASSERT_TRUE(p().Button3->click());
  }
  bool waitUntil(const std::function<bool()>& condition) { return ui::app().runUntil(condition, 5s); }
  bool ended() { return waitUntil([&] { return !p().running(); }); }
  void runToEnd(int selection, const std::string& bytes) {
    start(selection, bytes);
    ASSERT_TRUE(ended());
  }
  Lines writes() {
    Lines out;
    for (const std::string& line : emu.log())
      if (line.rfind("writecard(", 0) == 0) out.push_back(line);
    return out;
  }
  // writecard as the log shows it, with the test's connection (1, mode 2, 5000 ms).
  static std::string write(int selection, const std::string& a, const std::string& b, int result,
                           int timeoutMs = 5000) {
    return transferLine("writecard", 1, selection, a, b, 2, timeoutMs, result);
  }
  Lines lines() { return p().Memo1->lines(); }
  Lines confirms() { return session.dialogs().texts(ui::DialogKind::Confirm); }
  // Idle: Start enabled, Stop disabled, no worker.
  void expectIdle() {
    EXPECT_TRUE(p().Button3->enabled());
    EXPECT_FALSE(p().Button5->enabled());
    EXPECT_FALSE(p().running());
  }

  cardtest::TempFolder files;
  std::unique_ptr<Hosted<TWriteTextFrame1>> page;
};

// --- the page as it opens, and choosing a file ---

TEST_F(TextFilePage, OpensIdleWithItsControlsInPlace) {
  EXPECT_EQ(p().bounds(), (ui::Rect{0, 0, 501, 278}));
  EXPECT_EQ(p().RadioGroup1->items(),
            (Lines{"1轨", "2股", "3轨", "1,2轨", "2,3轨", "1,2,3轨"}));
  EXPECT_EQ(p().RadioGroup1->columns(), 6);
  EXPECT_EQ(p().RadioGroup1->itemIndex(), 0);
  EXPECT_TRUE(p().CheckBox1->checked());
  EXPECT_FALSE(p().CheckBox2->checked());
  EXPECT_TRUE(p().CheckBox1->textLeft());
  EXPECT_TRUE(p().CheckBox2->textLeft());
  EXPECT_EQ(p().Button4->caption(), "清  空");
  EXPECT_EQ(p().Edit1->text(), "");
  expectIdle();
  // Button4 lies over the memo's lower right corner.
  const ui::Rect m = p().Memo1->bounds();
  const ui::Rect b = p().Button4->bounds();
  EXPECT_GT(b.left + b.width, m.left);
  EXPECT_LT(b.left + b.width, m.left + m.width);
  EXPECT_LE(b.top + b.height, m.top + m.height);
  EXPECT_GT(b.top, m.top);
}

TEST_F(TextFilePage, ChoosingAFileFillsTheEditAndCancelChangesNothing) {
  session.dialogs().answerFile(std::string("/some/folder/卡数据.txt"));
  ASSERT_TRUE(p().Button1->click());
  EXPECT_EQ(p().Edit1->text(), "/some/folder/卡数据.txt");
  EXPECT_EQ(session.dialogs().lastFilter(), "文本文件|*.txt");
  EXPECT_EQ(session.dialogs().lastDefaultExtension(), "txt");
  ASSERT_TRUE(p().Button1->click());  // cancelled
  EXPECT_EQ(p().Edit1->text(), "/some/folder/卡数据.txt");
  EXPECT_EQ(session.dialogs().texts(ui::DialogKind::OpenFile).size(), 2u);
}

// --- what Start refuses, changing nothing ---

TEST_F(TextFilePage, StartRefusesWithoutAFileOrAReadableOne) {
  ASSERT_TRUE(p().Button3->click());
  EXPECT_EQ(messages(), Lines{"请选择文本文件！"});
  expectIdle();

  struct Case {
    std::string path;
    std::string reason;
  };
  const std::string fifo = files.pathOf("pipe.txt");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const Case cases[] = {
      {files.pathOf("没有这个文件.txt"), "文件不存在。"},
      {files.pathOf("no-folder/cards.txt"), "文件不存在。"},
      {cardtest::TempFolder::utf8(files.path()), "这是一个文件夹，不是文件。"},
      {fifo, "这不是一个普通文件。"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    session.dialogs().clear();
    p().Memo1->setText("old log");
    p().Edit1->setText(c.path);
    ASSERT_TRUE(p().Button3->click());
    EXPECT_EQ(errors(), Lines{"无法读取文件“" + c.path + "”：" + c.reason});
    EXPECT_TRUE(messages().empty());
    expectIdle();
    EXPECT_EQ(p().Memo1->text(), "old log");
    EXPECT_EQ(p().Edit1->text(), c.path);
  }
  EXPECT_TRUE(emu.log().empty());
}

TEST_F(TextFilePage, AFileWithoutReadPermissionIsRefused) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
  const std::string path = files.write("locked.txt", "1234\n");
  ASSERT_EQ(::chmod(path.c_str(), 0), 0);
  p().Edit1->setText(path);
  ASSERT_TRUE(p().Button3->click());
  EXPECT_EQ(errors(), Lines{"无法读取文件“" + path + "”：没有读取该文件的权限。"});
  expectIdle();
}

TEST_F(TextFilePage, APathIsUsedExactlyAsTypedChineseAndAnyEndingIncluded) {
  emu.setTrack(2, "");
  start(2, "1234\r\n", "磁卡数据 文件.dat");
  ASSERT_TRUE(ended());
  EXPECT_EQ(writes(), Lines{write(2, "1234", "", 0)});
  EXPECT_EQ(emu.track(2), "1234");

  // No extension added, nothing trimmed: " cards.txt" is another file.
  session.dialogs().clear();
  files.write("cards.txt", "1\n");
  p().Edit1->setText(files.pathOf("cards") );
  ASSERT_TRUE(p().Button3->click());
  EXPECT_EQ(errors().size(), 1u);
  p().Edit1->setText(files.pathOf("cards.txt") + " ");
  ASSERT_TRUE(p().Button3->click());
  EXPECT_EQ(errors().size(), 2u);
}

TEST_F(TextFilePage, SelectionSixIsRefusedBeforeAnything) {
  start(6, "AAA\nBBB\n333\n");
  EXPECT_EQ(messages(), Lines{cards::kSelection6Refused});
  expectIdle();
  EXPECT_TRUE(emu.log().empty());
  EXPECT_TRUE(lines().empty());
  // No selection at all.
  session.dialogs().clear();
  p().RadioGroup1->setItemIndex(-1);
  ASSERT_TRUE(p().Button3->click());
  EXPECT_EQ(messages(), Lines{"请选择要写卡的磁道！"});
  expectIdle();
}

TEST_F(TextFilePage, ALineLongerThanTheBufferRefusesTheWholeRunNamingIt) {
  const std::string fits(299, '1');
  const std::string tooLong(300, '2');
  // Line 3 is the first that does not fit; line 5 neither.
  start(2, "1\n" + fits + "\n" + tooLong + "\n4\n" + tooLong + "\n");
  EXPECT_EQ(messages(), Lines{"文件第3行超过299字节，无法写入磁卡，未写任何卡！"});
  expectIdle();
  EXPECT_TRUE(emu.log().empty());

  // Bytes count, not characters: 100 three-byte characters are 300 bytes.
  session.dialogs().clear();
  std::string chinese;
  for (int i = 0; i < 100; ++i) chinese += "卡";
  start(1, chinese);
  EXPECT_EQ(messages(), Lines{"文件第1行超过299字节，无法写入磁卡，未写任何卡！"});

  // A two-track run never writes the unpaired last line: it is not checked,
  // and its card is reported as missing.
  session.dialogs().clear();
  start(5, "12\n34\n" + tooLong);
  ASSERT_TRUE(ended());
  EXPECT_TRUE(messages().empty());
  EXPECT_EQ(writes(), Lines{write(5, "12", "34", 0)});
  EXPECT_EQ(lines().back(), "第2次写卡数据缺失！");
}

TEST_F(TextFilePage, AUtf16FileIsRefusedNamingItsFirstLineAndNoCardIsWritten) {
  // Notepad's "Unicode": "12", "34" in UTF-16 with its byte-order mark. Cut at
  // its first zero it would write FF FE 31 and call the run complete.
  start(2, std::string("\xFF\xFE" "1\0" "2\0\r\0\n\0" "3\0" "4\0\r\0\n\0", 18));
  EXPECT_EQ(messages(),
            Lines{"文件第1行含有零字节，未写任何卡！请将文件另存为纯文本（ANSI）格式后再试。"});
  expectIdle();
  EXPECT_TRUE(lines().empty());
  ASSERT_TRUE(ui::app().runUntil([] { return ui::Thread::running() == 0; }, 5s));
  EXPECT_TRUE(writes().empty());
}

// --- line division ---

TEST_F(TextFilePage, LinesAreDividedAsTheFileFormatSays) {
  struct Case {
    const char* rule;
    std::string bytes;
    Lines expected;
  };
  using namespace std::string_literals;
  const Case cases[] = {
      {"CR LF, lone CR and lone LF end a line", "A\r\nB\rC\nD", {"A", "B", "C", "D"}},
      {"LF CR is two line ends", "A\n\rB", {"A", "", "B"}},
      {"a final line end adds no empty line", "A\r\n", {"A"}},
      {"a final lone CR adds none either", "A\r", {"A"}},
      {"only the final one: empty lines before it stay", "A\n\n\n", {"A", "", ""}},
      {"a zero byte is kept and the text goes on", "A\nB\0C\nD"s, {"A", "B\0C"s, "D"}},
      {"a file of one line end is one empty line", "\r\n", {""}},
      {"an empty file has no lines", "", {}},
      {"a file that begins with a zero byte has it", "\0A\n"s, {"\0A"s}},
      {"UTF-16 divides at its CR and LF bytes", "\xFF\xFE" "1\0\r\0\n\0" "2\0"s,
       {"\xFF\xFE" "1\0"s, "\0"s, "\0" "2\0"s}},
      {"nothing trimmed, BOM and blanks kept", "\xEF\xBB\xBF 1 \t\nx  ", {"\xEF\xBB\xBF 1 \t", "x  "}},
      {"CR CR LF is an empty line", "A\r\r\nB", {"A", "", "B"}},
  };
  for (const Case& c : cases) EXPECT_EQ(cards::splitLines(c.bytes).toStrings(), c.expected) << c.rule;
}

TEST_F(TextFilePage, EveryLineReachesTheDeviceByteForByte) {
  // Track 1 takes these; the lines with odd bytes fail on the encoder (-14)
  // and are skipped, but their bytes are in the log as they were sent.
  p().CheckBox1->setChecked(false);
  for (int i = 0; i < 8; ++i) session.dialogs().answerConfirm(true);
  runToEnd(1, "\xEF\xBB\xBF" "A1\r\nB2\rC3\n\rD 4 \n%B6200^X/Y^?;\n\xB4\xC5\xBF\xA8\r\n");
  EXPECT_EQ(writes(), (Lines{
                          write(1, "", "\xEF\xBB\xBF" "A1", -14),
                          write(1, "", "B2", 0),
                          write(1, "", "C3", 0),
                          write(1, "", "", 0),
                          write(1, "", "D 4 ", 0),
                          write(1, "", "%B6200^X/Y^?;", 0),
                          write(1, "", "\xB4\xC5\xBF\xA8", -14),
                      }));
  EXPECT_EQ(emu.track(1), "%B6200^X/Y^?;");
  EXPECT_EQ(confirms().size(), 2u);
}

// How fast this goes is measured by the benchmarks; here: nothing of a big
// file is lost or shifted.
TEST_F(TextFilePage, AMillionShortLinesAreReadWholeAndTheRunStartsOnThem) {
  std::string big;
  big.reserve(10'000'000);
  for (int i = 0; i < 1'000'000; ++i) {
    big += std::to_string(10'000'000 + i);  // 8 digits
    big += "\r\n";
  }
  ASSERT_EQ(big.size(), 10'000'000u);
  const std::string path = files.write("big.txt", big);
  const cards::TextLines read = cards::readTextLines(path);
  ASSERT_EQ(read.size(), 1'000'000u);
  EXPECT_EQ(read[0], "10000000");
  EXPECT_EQ(read[500000], "10500000");
  EXPECT_EQ(read[999999], "10999999");

  emu.setBlocking("writecard", 1);
  p().Edit1->setText(path);
  p().RadioGroup1->setItemIndex(1);
  ASSERT_TRUE(p().Button3->click());
  ASSERT_TRUE(waitUntil([&] { return emu.pendingCalls() == 1; }));
  ASSERT_TRUE(p().Button5->click());
  ASSERT_TRUE(ended());
  EXPECT_EQ(writes(), Lines{write(2, "10000000", "", -100)});
}

// --- runs ---

TEST_F(TextFilePage, OneTrackRunsWriteALinePerCardAndLogEachCard) {
  struct Row {
    int selection;
    const char* lines;
    const char* heading;
    Lines a, b;  // buffers of the three calls
  };
  const Row rows[] = {
      {1, "ONE 1\nTWO 2\nTHREE 3", "第一轨数据：", {"", "", ""}, {"ONE 1", "TWO 2", "THREE 3"}},
      {2, "111\n222\n333\n", "第二轨数据：", {"111", "222", "333"}, {"", "", ""}},
      {3, "111\n222\n333\n", "第三轨数据：", {"", "", ""}, {"111", "222", "333"}},
  };
  // A library that leaves other text in its buffers changes nothing of the log.
  for (const bool writeBack : {false, true})
  for (const Row& row : rows) {
    SCOPED_TRACE(std::to_string(row.selection) + (writeBack ? ", written back" : ""));
    emu.clearLog();
    emu.setWriteBack(writeBack);
    p().Button4->click();
    runToEnd(row.selection, row.lines);
    Lines expectedWrites, expectedLog;
    for (int i = 0; i < 3; ++i) {
      expectedWrites.push_back(write(row.selection, row.a[i], row.b[i], 0));
      const std::string data = row.a[i].empty() ? row.b[i] : row.a[i];
      for (const std::string& l : {std::string(), "第" + std::to_string(i + 1) + "次写卡成功！",
                                   std::string(row.heading), data})
        expectedLog.push_back(l);
    }
    EXPECT_EQ(writes(), expectedWrites);
    EXPECT_EQ(lines(), expectedLog);
    // Ended: Start back, Stop still enabled.
    EXPECT_TRUE(p().Button3->enabled());
    EXPECT_TRUE(p().Button5->enabled());
    EXPECT_EQ(p().TrackSelection, row.selection);
  }
  EXPECT_EQ(emu.track(3), "333");
}

TEST_F(TextFilePage, TwoTrackRunsWritePairsAndReportAMissingSecondLine) {
  runToEnd(4, "A1\n11\nA2\n22\nA3");
  EXPECT_EQ(writes(), (Lines{write(4, "11", "A1", 0), write(4, "22", "A2", 0)}));
  EXPECT_EQ(lines(), (Lines{"", "第1次写卡成功！", "第一轨数据：", "A1", "第二轨数据：", "11", "",
                            "第2次写卡成功！", "第一轨数据：", "A2", "第二轨数据：", "22", "",
                            "第3次写卡数据缺失！"}));
  EXPECT_TRUE(p().Button3->enabled());
  EXPECT_TRUE(p().Button5->enabled());

  emu.clearLog();
  p().Button4->click();
  runToEnd(5, "12\n34\n\n56\n");  // an empty line makes its track empty
  EXPECT_EQ(writes(), (Lines{write(5, "12", "34", 0), write(5, "", "56", 0)}));
  EXPECT_EQ(lines(), (Lines{"", "第1次写卡成功！", "第二轨数据：", "12", "第三轨数据：", "34", "",
                            "第2次写卡成功！", "第二轨数据：", "", "第三轨数据：", "56"}));
  EXPECT_EQ(emu.track(2), "");
  EXPECT_EQ(emu.track(3), "56");

  // One line: the missing data of card 1 at once, and no device call.
  emu.clearLog();
  p().Button4->click();
  runToEnd(4, "ONLY\r\n");
  EXPECT_TRUE(writes().empty());
  EXPECT_EQ(lines(), (Lines{"", "第1次写卡数据缺失！"}));
  EXPECT_TRUE(p().Button3->enabled());
}

TEST_F(TextFilePage, AnEmptyFileIsReportedAndLeavesTheRunHalted) {
  TextWriteLibrary.set(nullptr);  // as in a new process
  start(2, "");
  ASSERT_TRUE(ended());
  EXPECT_EQ(messages(), Lines{"文件内容为空！"});
  EXPECT_TRUE(lines().empty());
  EXPECT_FALSE(p().Button3->enabled());
  EXPECT_TRUE(p().Button5->enabled());
  EXPECT_TRUE(emu.log().empty());
  // No load was taken, so Stop has no endcard to call and cannot help.
  session.dialogs().clear();
  ASSERT_TRUE(p().Button5->click());
  EXPECT_EQ(messages(), Lines{"未装载40x动态库!"});
  EXPECT_FALSE(p().Button3->enabled());
}

// --- failed cards ---

TEST_F(TextFilePage, AFailedCardIsLoggedAndAskedAboutInThreeLines) {
  emu.script("writecard", {-6});
  session.dialogs().answerConfirm(true);
  p().CheckBox1->setChecked(false);
  Lines logWhileAsked;
  session.dialogs().whileOpen = [&](const ui::headless::DialogRecord&) { logWhileAsked = lines(); };
  runToEnd(2, "111\n222\n");
  session.dialogs().whileOpen = nullptr;
  EXPECT_EQ(confirms(), Lines{"第1次写卡失败！\r\n  错误代码-6\r\n   是否继续"});
  EXPECT_EQ(logWhileAsked, (Lines{"", "第1次写卡失败！错误代码-6"}));
  EXPECT_EQ(lines(), (Lines{"", "第1次写卡失败！错误代码-6", "", "第2次写卡成功！", "第二轨数据：",
                            "222"}));
  const auto w = std::dynamic_pointer_cast<WriteTextCard>(p().lastWorker());
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->ReportLine, "\r\n第2次写卡成功！");
  EXPECT_EQ(w->LastResult, 0);
}

TEST_F(TextFilePage, OkRewritesOrSkipsAsTheRewriteBoxSays) {
  // One track, rewrite: the same line again until it is written.
  emu.script("writecard", {-6, -13});
  session.dialogs().answerConfirm(true);
  session.dialogs().answerConfirm(true);
  runToEnd(2, "111\n222\n");
  EXPECT_EQ(writes(), (Lines{write(2, "111", "", -6), write(2, "111", "", -13),
                             write(2, "111", "", 0), write(2, "222", "", 0)}));
  EXPECT_EQ(confirms(), (Lines{"第1次写卡失败！\r\n  错误代码-6\r\n   是否继续",
                               "第1次写卡失败！\r\n  错误代码-13\r\n   是否继续"}));

  // One track, skip: the next line.
  emu.clearLog();
  p().Button4->click();
  p().CheckBox1->setChecked(false);
  emu.script("writecard", {0, -6});
  session.dialogs().answerConfirm(true);
  runToEnd(3, "111\n222\n333");
  EXPECT_EQ(writes(), (Lines{write(3, "", "111", 0), write(3, "", "222", -6), write(3, "", "333", 0)}));
  EXPECT_EQ(lines(), (Lines{"", "第1次写卡成功！", "第三轨数据：", "111", "", "第2次写卡失败！错误代码-6",
                            "", "第3次写卡成功！", "第三轨数据：", "333"}));

  // Two tracks, rewrite: the same pair again.
  emu.clearLog();
  p().Button4->click();
  p().CheckBox1->setChecked(true);
  emu.script("writecard", {-6});
  session.dialogs().clear();
  session.dialogs().answerConfirm(true);
  runToEnd(5, "12\n34\n56\n78\n");
  EXPECT_EQ(writes(), (Lines{write(5, "12", "34", -6), write(5, "12", "34", 0), write(5, "56", "78", 0)}));
  EXPECT_EQ(confirms(), Lines{"第1次写卡失败！\r\n  错误代码-6\r\n   是否继续"});

  // Two tracks, skip: on with the next pair; card numbers stay the pairs'.
  emu.clearLog();
  p().Button4->click();
  p().CheckBox1->setChecked(false);
  emu.script("writecard", {-6});
  session.dialogs().clear();
  session.dialogs().answerConfirm(true);
  runToEnd(4, "A1\n11\nA2\n22\nA3\n33\nA4");
  EXPECT_EQ(writes(), (Lines{write(4, "11", "A1", -6), write(4, "22", "A2", 0), write(4, "33", "A3", 0)}));
  EXPECT_EQ(lines(), (Lines{"", "第1次写卡失败！错误代码-6", "", "第2次写卡成功！", "第一轨数据：", "A2",
                            "第二轨数据：", "22", "", "第3次写卡成功！", "第一轨数据：", "A3",
                            "第二轨数据：", "33", "", "第4次写卡数据缺失！"}));
  EXPECT_TRUE(p().Button3->enabled());
}

TEST_F(TextFilePage, CancelEndsTheRunAfterTheFailedCard) {
  emu.script("writecard", {0, -6});
  session.dialogs().answerConfirm(false);
  runToEnd(4, "A1\n11\nA2\n22\nA3\n33\n");
  EXPECT_EQ(writes(), (Lines{write(4, "11", "A1", 0), write(4, "22", "A2", -6)}));
  EXPECT_EQ(lines().back(), "第2次写卡失败！错误代码-6");
  EXPECT_EQ(confirms(), Lines{"第2次写卡失败！\r\n  错误代码-6\r\n   是否继续"});
  EXPECT_TRUE(p().Button3->enabled());
  EXPECT_TRUE(p().Button5->enabled());
}

TEST_F(TextFilePage, UncheckingTheRewriteBoxDuringARunCountsAtTheNextFailedCard) {
  emu.script("writecard", {-6, -6, -6});
  session.dialogs().answerConfirm(true);
  session.dialogs().answerConfirm(true);
  session.dialogs().answerConfirm(true);
  int opened = 0;
  // The operator unchecks the box while the second dialog is open.
  session.dialogs().whileOpen = [&](const ui::headless::DialogRecord& r) {
    if (r.kind == ui::DialogKind::Confirm && ++opened == 2) p().CheckBox1->setChecked(false);
  };
  runToEnd(2, "111\n222\n");
  session.dialogs().whileOpen = nullptr;
  // Failed, rewritten; failed, skipped (box unchecked); the next line failed, skipped.
  EXPECT_EQ(writes(), (Lines{write(2, "111", "", -6), write(2, "111", "", -6), write(2, "222", "", -6)}));
  EXPECT_EQ(confirms().size(), 3u);
}

TEST_F(TextFilePage, ABrokenOffWriteEndsTheRunSilentlyUntilStop) {
  emu.script("writecard", {0, -100});
  runToEnd(2, "111\n222\n333\n");
  EXPECT_EQ(writes().size(), 2u);
  EXPECT_EQ(lines(), (Lines{"", "第1次写卡成功！", "第二轨数据：", "111"}));
  EXPECT_FALSE(p().Button3->enabled());  // Halted
  EXPECT_TRUE(p().Button5->enabled());
  ASSERT_TRUE(p().Button5->click());
  expectIdle();
}

// --- Stop ---

TEST_F(TextFilePage, StopDuringABlockedWriteEndsTheRunWithNoReport) {
  emu.setBlocking("writecard", 1);
  start(2, "111\n222\n");
  EXPECT_FALSE(p().Button3->enabled());
  EXPECT_TRUE(p().Button5->enabled());
  ASSERT_TRUE(waitUntil([&] { return emu.pendingCalls() == 1; }));
  const auto t0 = std::chrono::steady_clock::now();
  ASSERT_TRUE(p().Button5->click());
  EXPECT_LT(std::chrono::steady_clock::now() - t0, 500ms);
  EXPECT_EQ(TextWriteStop, 1);
  EXPECT_TRUE(p().Button3->enabled());
  EXPECT_FALSE(p().Button5->enabled());
  ASSERT_TRUE(ended());
  ui::app().runUntil([] { return false; }, 30ms);
  EXPECT_TRUE(lines().empty());
  EXPECT_EQ(emu.log(), (Lines{"endcard(2)=0", write(2, "111", "", -100)}));
  EXPECT_TRUE(session.dialogs().records().empty());
}

TEST_F(TextFilePage, AFailureOfARunThatStopHasJustEndedNeverReachesThePage) {
  // The card failed and its report waits for the window; Stop comes first.
  emu.script("writecard", {-6});
  start(2, "111\n222\n");
  for (int i = 0; i < 5000 && !ui::app().hasPending(); ++i) std::this_thread::sleep_for(1ms);
  ASSERT_TRUE(ui::app().hasPending());
  session.dialogs().answerConfirm(true);
  ASSERT_TRUE(p().Button5->click());
  ASSERT_TRUE(ended());
  ui::app().runUntil([] { return false; }, 30ms);
  EXPECT_TRUE(lines().empty());
  EXPECT_TRUE(confirms().empty());
  EXPECT_EQ(writes(), Lines{write(2, "111", "", -6)});
  expectIdle();
}

TEST_F(TextFilePage, AStopThatMissesAWriteWithoutTimeLimitBreaksItOffAgain) {
  // "取消写卡超时限制": the write waits for a card without limit; Stop's
  // endcard comes a moment before it begins (the emulator misses it).
  p().CheckBox2->setChecked(true);
  emu.setSwipeDelayMs(-1);  // a card that never comes
  start(2, "111\n222\n");
  ASSERT_TRUE(waitUntil([&] { return emu.pendingCalls() == 1; }));
  emu.missBreakOffs(1);
  ASSERT_TRUE(p().Button5->click());
  EXPECT_TRUE(p().Button3->enabled());
  EXPECT_FALSE(p().Button5->enabled());
  ASSERT_TRUE(waitUntil([&] { return emu.pendingCalls() == 0 && !p().running(); }));
  ui::app().runUntil([] { return false; }, 30ms);
  EXPECT_TRUE(lines().empty());
  const Lines log = emu.log();
  EXPECT_GE(std::count(log.begin(), log.end(), "endcard(2)=0"), 2);
  EXPECT_EQ(writes(), Lines{write(2, "111", "", -100, 0)});
}

TEST_F(TextFilePage, StopInANewProcessFindsNoLoad) {
  TextWriteLibrary.set(nullptr);
  p().Button5->setEnabled(true);  // as after a run that loaded nothing
  ASSERT_TRUE(p().Button5->click());
  EXPECT_EQ(messages(), Lines{"未装载40x动态库!"});
  EXPECT_TRUE(emu.log().empty());
  EXPECT_TRUE(p().Button3->enabled());
  EXPECT_TRUE(p().Button5->enabled());
}

TEST_F(TextFilePage, StopAfterARunThatEndedByItselfStillCallsEndcard) {
  runToEnd(2, "111\n");
  EXPECT_TRUE(p().Button5->enabled());
  emu.clearLog();
  ASSERT_TRUE(p().Button5->click());
  EXPECT_EQ(emu.log(), Lines{"endcard(2)=0"});
  expectIdle();
}

TEST_F(TextFilePage, StopAndStartAtOnceNeverRevivesTheOldWorker) {
  emu.setBlocking("writecard", 1);
  start(2, "111\n222\n333\n");
  ASSERT_TRUE(waitUntil([&] { return emu.pendingCalls() == 1; }));
  ASSERT_TRUE(p().Button5->click());
  emu.setBlocking("writecard", 0);
  start(2, "444\n555\n");  // clears TextWriteStop while the old worker may still return
  ASSERT_TRUE(ended());
  EXPECT_EQ(writes(), (Lines{write(2, "111", "", -100), write(2, "444", "", 0), write(2, "555", "", 0)}));
  EXPECT_EQ(lines(), (Lines{"", "第1次写卡成功！", "第二轨数据：", "444", "", "第2次写卡成功！",
                            "第二轨数据：", "555"}));
  EXPECT_EQ(emu.mostConcurrentTransfers(), 1);
}

TEST_F(TextFilePage, StartRefusesWhileAWorkerCannotEnd) {
  emu.setBlocking("writecard", 1);
  start(2, "111\n");
  ASSERT_TRUE(waitUntil([&] { return emu.pendingCalls() == 1; }));
  // What a Stop does, without the break-off reaching the write.
  TextWriteStop = 1;
  p().Button3->setEnabled(true);
  session.dialogs().clear();
  start(2, "222\n");
  EXPECT_EQ(messages(), Lines{"上一次写卡尚未结束，请稍后再开始！"});
  EXPECT_EQ(emu.pendingCalls(), 1);
  EXPECT_EQ(writes().size(), 0u);
}

TEST_F(TextFilePage, TheTimeOutBoxAndTheTracksAreReadOnlyAtStart) {
  p().CheckBox2->setChecked(true);
  emu.script("writecard", {-6});
  session.dialogs().answerConfirm(true);
  // Changed while the run goes on: no effect on it.
  session.dialogs().whileOpen = [&](const ui::headless::DialogRecord&) {
    p().CheckBox2->setChecked(false);
    p().RadioGroup1->setItemIndex(4);
  };
  runToEnd(2, "111\n222\n");
  session.dialogs().whileOpen = nullptr;
  EXPECT_EQ(writes(), (Lines{write(2, "111", "", -6, 0), write(2, "111", "", 0, 0),
                             write(2, "222", "", 0, 0)}));
  // The next run reads it again.
  emu.clearLog();
  runToEnd(2, "333\n");
  EXPECT_EQ(writes(), Lines{write(2, "333", "", 0, 5000)});
}

TEST_F(TextFilePage, ClearDuringARunEmptiesTheLogAndTheRunGoesOn) {
  emu.script("writecard", {-6});
  session.dialogs().answerConfirm(true);
  session.dialogs().whileOpen = [&](const ui::headless::DialogRecord&) { p().Button4->click(); };
  runToEnd(2, "111\n222\n");
  session.dialogs().whileOpen = nullptr;
  EXPECT_EQ(lines(), (Lines{"", "第1次写卡成功！", "第二轨数据：", "111", "", "第2次写卡成功！",
                            "第二轨数据：", "222"}));
}

// --- the library ---

TEST_F(TextFilePage, LibraryProblemsAreReportedInTheLog) {
  TextWriteLibrary.set(nullptr);
  device::DynamicLibrary::setSearchFolderForTests(cardtest::variantFolder("not_a_library"));
  runToEnd(2, "111\n");
  EXPECT_EQ(lines(), Lines{"装载40x动态库失败！"});
  EXPECT_FALSE(p().Button3->enabled());
  ASSERT_TRUE(p().Button5->click());
  EXPECT_EQ(messages(), Lines{"未装载40x动态库!"});
  EXPECT_FALSE(p().Button3->enabled());

  device::DynamicLibrary::setSearchFolderForTests(cardtest::variantFolder("no_writecard"));
  p().Button4->click();
  p().Button3->setEnabled(true);
  runToEnd(2, "111\n");
  EXPECT_EQ(lines(), Lines{"装载40x动态库函数失败!"});
  EXPECT_FALSE(p().Button3->enabled());
  // The load is kept for the stop button, which leaves the stuck state.
  ASSERT_TRUE(p().Button5->click());
  expectIdle();
}

TEST_F(TextFilePage, LoadsDoNotPileUpAndTheHandleAlwaysNamesALiveLoad) {
  runToEnd(2, "111\n");
  const int afterFirst = device::DynamicLibrary::liveLoads();
  for (int i = 0; i < 5; ++i) {
    emu.script("writecard", {-6});
    session.dialogs().answerConfirm(false);  // Cancel: the run gives its load back
    runToEnd(2, "111\n222\n");
  }
  runToEnd(4, "A\n");  // missing data keeps it
  EXPECT_EQ(device::DynamicLibrary::liveLoads(), afterFirst);
  EXPECT_TRUE(device::DynamicLibrary::isLoadedInProcess(device::kLibraryFileName));
  emu.clearLog();
  ASSERT_TRUE(p().Button5->click());
  EXPECT_EQ(emu.log(), Lines{"endcard(2)=0"});
}

// --- the log shows the operator's text ---

TEST_F(TextFilePage, TheLogShowsDeviceBytesAsTextAndInvalidBytesAsReplacements) {
  device::TrackBuffer a, b;
  // UTF-8 is the device's code page on Linux.
  ASSERT_TRUE(b.assign("\xE5\x8D\xA1\xFF 1"));
  ASSERT_TRUE(a.assign("22\x80"));
  EXPECT_EQ(cards::textCardEntry(7, 4, a, b),
            "\r\n第7次写卡成功！\r\n第一轨数据：\r\n卡\xEF\xBF\xBD 1\r\n第二轨数据：\r\n22\xEF\xBF\xBD");
  // The buffers themselves are untouched.
  EXPECT_EQ(b.text(), "\xE5\x8D\xA1\xFF 1");
}

}  // namespace
