// The emulated reader, loaded for real through the program's loader.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "EmulatorClient.h"
#include "device/TrackBuffer.h"

namespace {

using device::TrackBuffer;
using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

constexpr std::int32_t kSwipeMs = 5;
constexpr std::int32_t kTimeoutMs = 5000;

class EmulatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(emu.library().loaded());
    ASSERT_TRUE(emu.controllable());
    ASSERT_TRUE(emu.readcard && emu.writecard && emu.endcard && emu.reset);
    emu.resetState();
    emu.setSwipeDelayMs(kSwipeMs);
  }

  std::int32_t read(std::int32_t selection, std::int32_t mode = 2,
                    std::int32_t timeoutMs = kTimeoutMs) {
    return emu.readcard(1, selection, a->data(), b->data(), mode, timeoutMs);
  }
  std::int32_t write(std::int32_t selection, const std::string& dataA, const std::string& dataB,
                     std::int32_t timeoutMs = kTimeoutMs) {
    a->assign(dataA);
    b->assign(dataB);
    return emu.writecard(1, selection, a->data(), b->data(), 2, timeoutMs);
  }
  std::vector<std::string> card() const { return {emu.track(1), emu.track(2), emu.track(3)}; }
  void setCard(const std::string& t1, const std::string& t2, const std::string& t3) {
    emu.setTrack(1, t1.c_str());
    emu.setTrack(2, t2.c_str());
    emu.setTrack(3, t3.c_str());
  }
  // Waits (bounded) until `count` calls wait inside the library.
  bool pendingReaches(std::int32_t count) {
    const auto until = Clock::now() + std::chrono::seconds(5);
    while (emu.pendingCalls() != count) {
      if (Clock::now() > until) return false;
      std::this_thread::sleep_for(milliseconds(1));
    }
    return true;
  }

  emu::Client emu;
  // Separate heap blocks of exactly 300 bytes, so an overrun is caught.
  std::unique_ptr<TrackBuffer> a = std::make_unique<TrackBuffer>();
  std::unique_ptr<TrackBuffer> b = std::make_unique<TrackBuffer>();
};

TEST_F(EmulatorTest, ConnectionCallsCheckTheirArguments) {
  struct Case {
    const char* call;
    std::function<std::int32_t()> run;
    std::int32_t expected;
  };
  const std::vector<Case> cases = {
      {"opencomm port 0", [&] { return emu.opencomm(0, 2, 5000); }, -6},
      {"opencomm port 7", [&] { return emu.opencomm(7, 2, 5000); }, -6},
      {"opencomm time-out -1", [&] { return emu.opencomm(1, 2, -1); }, -7},
      {"opencomm mode 0", [&] { return emu.opencomm(1, 0, 5000); }, -8},
      {"opencomm mode 3", [&] { return emu.opencomm(6, 3, 0); }, -8},
      {"opencomm fine", [&] { return emu.opencomm(6, 1, 0); }, 0},
      {"detect port 0", [&] { return emu.detect(0, 5000); }, -6},
      {"detect time-out -1", [&] { return emu.detect(1, -1); }, -7},
      {"detect fine", [&] { return emu.detect(6, 60000); }, 2428},
      {"reset port 7", [&] { return emu.reset(7, 2); }, -1},
      {"reset mode 0", [&] { return emu.reset(1, 0); }, -4},
      {"reset fine", [&] { return emu.reset(1, 1); }, 0},
      {"endcard mode 3", [&] { return emu.endcard(3); }, -4},
      {"endcard fine", [&] { return emu.endcard(2); }, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(c.run(), c.expected) << c.call;
}

TEST_F(EmulatorTest, TransferCallsCheckTheirArgumentsWithoutTouchingAnything) {
  // A call that wrongly passed its checks would time out, or read or write
  // the card, a little later.
  emu.setSwipeDelayMs(200);
  const auto before = card();
  struct Case {
    std::int32_t port, selection, mode, timeoutMs, expected;
  };
  const Case cases[] = {
      {0, 2, 2, 100, -1}, {7, 2, 2, 100, -1}, {1, 2, 0, 100, -4}, {1, 2, 3, 100, -4},
      {1, 0, 2, 100, -4}, {1, 7, 2, 100, -4}, {1, 2, 2, -1, -13}, {1, 2, 1, 0, -13},
  };
  for (const bool writing : {false, true}) {
    const auto call = writing ? emu.writecard : emu.readcard;
    for (const Case& c : cases) {
      a->assign("1234");
      b->assign("5678");
      EXPECT_EQ(call(c.port, c.selection, a->data(), b->data(), c.mode, c.timeoutMs), c.expected)
          << (writing ? "writecard" : "readcard") << " port " << c.port << " selection "
          << c.selection << " mode " << c.mode << " time-out " << c.timeoutMs;
      EXPECT_EQ(a->text(), "1234");
      EXPECT_EQ(b->text(), "5678");
    }
  }
  // A buffer the selection needs may not be missing.
  EXPECT_EQ(emu.readcard(1, 2, nullptr, b->data(), 2, 100), -4);
  EXPECT_EQ(emu.writecard(1, 1, a->data(), nullptr, 2, 100), -4);
  EXPECT_EQ(card(), before);
}

TEST_F(EmulatorTest, SampleCardIsValidDemonstrationData) {
  const auto sample = card();
  for (int track = 1; track <= 3; ++track) EXPECT_FALSE(sample[track - 1].empty()) << track;
  ASSERT_EQ(read(4), 0);
  EXPECT_EQ(b->text(), sample[0]);
  EXPECT_EQ(a->text(), sample[1]);
  // The encoder takes it back as it is.
  EXPECT_EQ(write(4, sample[1], sample[0]), 0);
  EXPECT_EQ(write(3, "", sample[2]), 0);
  EXPECT_EQ(card(), sample);
}

TEST_F(EmulatorTest, EachSelectionReadsItsTracksIntoItsBuffers) {
  setCard("TRACK ONE", "222222", "333333");
  struct Case {
    std::int32_t selection;
    const char* bufferA;
    const char* bufferB;
  };
  const Case cases[] = {{1, "keep", "TRACK ONE"}, {2, "222222", "keep"}, {3, "keep", "333333"},
                        {4, "222222", "TRACK ONE"}, {5, "222222", "333333"},
                        {6, "222222", "TRACK ONE"}};
  for (const Case& c : cases) {
    a->assign("keep");
    b->assign("keep");
    ASSERT_EQ(read(c.selection), 0) << c.selection;
    EXPECT_EQ(a->text(), c.bufferA) << c.selection;
    EXPECT_EQ(b->text(), c.bufferB) << c.selection;
  }
  // An erased track reads as empty.
  emu.setTrack(2, nullptr);
  a->assign("old");
  ASSERT_EQ(read(2, 1, 100), 0);
  EXPECT_EQ(a->text(), "");
}

TEST_F(EmulatorTest, WhatIsWrittenReadsBack) {
  const std::string t1 = "HELLO WORLD ^123/_?";
  const std::string t2 = "1234567890=:;<>?";
  const std::string t3 = "9876543210=0000";
  struct Case {
    std::int32_t selection;
    std::string bufferA, bufferB;
    std::vector<std::string> card;  // tracks 1 to 3 afterwards
  };
  const std::vector<Case> cases = {
      {1, "", t1, {t1, "S2", "S3"}},      {2, t2, "", {"S1", t2, "S3"}},
      {3, "", t3, {"S1", "S2", t3}},      {4, t2, t1, {t1, t2, "S3"}},
      {5, t2, t3, {"S1", t2, t3}},        {6, t2, t1, {t1, t2, "S3"}},
      {2, "", "", {"S1", "", "S3"}},  // an empty text erases the track
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.selection);
    setCard("S1", "S2", "S3");
    ASSERT_EQ(write(c.selection, c.bufferA, c.bufferB), 0);
    EXPECT_EQ(card(), c.card);
    a->clear();
    b->clear();
    ASSERT_EQ(read(c.selection), 0);
    EXPECT_EQ(a->text(), c.bufferA);
    EXPECT_EQ(b->text(), c.bufferB);
  }
}

TEST_F(EmulatorTest, EncoderRulesAcceptTheLimitsAndRefuseBeyond) {
  struct Case {
    const char* what;
    std::int32_t selection;
    std::string bufferA, bufferB;
    std::int32_t expected;
  };
  const std::vector<Case> cases = {
      {"track 1, 79 characters", 1, "", std::string(79, 'A'), 0},
      {"track 1, 80 characters", 1, "", std::string(80, 'A'), -14},
      {"track 1, space to underscore", 1, "", " !\"#$%&'()*+,-./09:;<=>?@AZ[\\]^_", 0},
      {"track 1, lower case", 1, "", "abc", -14},
      {"track 1, backquote", 1, "", "`", -14},
      {"track 1, control byte", 1, "", "A\x01", -14},
      {"track 1, byte above 0x7F", 1, "", "\xC3\xA9", -14},
      {"track 2, 40 characters", 2, std::string(40, '9'), "", 0},
      {"track 2, 41 characters", 2, std::string(41, '9'), "", -14},
      {"track 2, all it takes", 2, "0123456789:;<=>?", "", 0},
      {"track 2, letter", 2, "12A4", "", -14},
      {"track 2, space", 2, "12 4", "", -14},
      {"track 2, slash", 2, "12/4", "", -14},
      {"track 3, 107 characters", 3, "", std::string(107, '0'), 0},
      {"track 3, 108 characters", 3, "", std::string(108, '0'), -14},
      {"track 3, at sign", 3, "", "@", -14},
      {"tracks 1+2, bad track 2", 4, "12X", "GOOD", -14},
      {"tracks 2+3, bad track 3", 5, "1234", std::string(108, '1'), -14},
      {"tracks 1+2+3, bad track 1", 6, "1234", "bad", -14},
  };
  for (const Case& c : cases) {
    setCard("S1", "22", "33");
    const auto before = card();
    EXPECT_EQ(write(c.selection, c.bufferA, c.bufferB), c.expected) << c.what;
    // A refused write leaves every track as it was.
    if (c.expected != 0) {
      EXPECT_EQ(card(), before) << c.what;
    }
  }
}

TEST_F(EmulatorTest, NoSwipeInTimeFailsByTimeOut) {
  setCard("S1", "22", "33");
  emu.setSwipeDelayMs(-1);
  auto start = Clock::now();
  EXPECT_EQ(read(2, 2, 40), -6);
  EXPECT_GE(Clock::now() - start, milliseconds(35));
  EXPECT_EQ(a->text(), "");

  emu.setSwipeDelayMs(3000);  // later than the time-out: it never counts
  start = Clock::now();
  EXPECT_EQ(write(2, "4444", "", 30), -6);
  EXPECT_LT(Clock::now() - start, milliseconds(2000));
  EXPECT_EQ(card(), (std::vector<std::string>{"S1", "22", "33"}));

  emu.setSwipeDelayMs(30);  // just in time
  EXPECT_EQ(read(2, 1, 30), 0);
  EXPECT_EQ(a->text(), "22");
}

TEST_F(EmulatorTest, TimeOutZeroInModeTwoWaitsWithoutLimit) {
  emu.setSwipeDelayMs(20);
  EXPECT_EQ(read(2, 2, 0), 0);
  EXPECT_EQ(a->text(), emu.track(2));

  emu.setSwipeDelayMs(-1);
  auto pending = std::async(std::launch::async, [&] { return write(2, "5555", "", 0); });
  ASSERT_TRUE(pendingReaches(1));
  EXPECT_EQ(pending.wait_for(milliseconds(50)), std::future_status::timeout);
  EXPECT_EQ(emu.endcard(2), 0);
  EXPECT_EQ(pending.get(), -100);
}

TEST_F(EmulatorTest, EndcardAndResetBreakOffPendingCallsFromAnotherThread) {
  setCard("S1", "22", "33");
  emu.setBlocking("readcard", 1);
  emu.setBlocking("writecard", 1);
  auto reading = std::async(std::launch::async, [&] {
    TrackBuffer ownA;
    TrackBuffer ownB;
    return emu.readcard(1, 4, ownA.data(), ownB.data(), 2, 100);
  });
  ASSERT_TRUE(pendingReaches(1));
  // Blocking ignores the time-out; a bad endcard breaks nothing off.
  std::this_thread::sleep_for(milliseconds(150));
  EXPECT_EQ(emu.endcard(0), -4);
  EXPECT_EQ(reading.wait_for(milliseconds(20)), std::future_status::timeout);
  EXPECT_EQ(emu.endcard(1), 0);
  EXPECT_EQ(reading.get(), -100);

  auto writing = std::async(std::launch::async, [&] { return write(2, "4444", ""); });
  ASSERT_TRUE(pendingReaches(1));
  EXPECT_EQ(emu.reset(1, 2), 0);
  EXPECT_EQ(writing.get(), -100);
  EXPECT_EQ(emu.track(2), "22");

  // A normal wait for a late swipe is broken off just as well.
  emu.setBlocking("readcard", 0);
  emu.setSwipeDelayMs(20000);
  const auto start = Clock::now();
  auto late = std::async(std::launch::async, [&] { return read(2, 2, 30000); });
  ASSERT_TRUE(pendingReaches(1));
  emu.endcard(2);
  EXPECT_EQ(late.get(), -100);
  EXPECT_LT(Clock::now() - start, milliseconds(5000));
  EXPECT_EQ(emu.pendingCalls(), 0);
}

TEST_F(EmulatorTest, BreakOffWithNothingPendingDoesNotReachTheNextCall) {
  EXPECT_EQ(emu.endcard(2), 0);
  EXPECT_EQ(emu.reset(1, 2), 0);
  EXPECT_EQ(read(2), 0);
  EXPECT_EQ(a->text(), emu.track(2));
  EXPECT_EQ(write(2, "1111", ""), 0);
}

TEST_F(EmulatorTest, ScriptedResultsComeInOrderThenTheDefaults) {
  emu.script("detect", {1402, -3});
  emu.script("opencomm", {-9});
  emu.script("reset", {-1});
  EXPECT_EQ(emu.detect(0, 5000), -6);  // argument errors keep the script
  EXPECT_EQ(emu.detect(1, 5000), 1402);
  EXPECT_EQ(emu.detect(1, 5000), -3);
  EXPECT_EQ(emu.detect(1, 5000), 2428);
  emu.setDetectAnswer(2403);
  EXPECT_EQ(emu.detect(1, 5000), 2403);
  EXPECT_EQ(emu.opencomm(1, 2, 5000), -9);
  EXPECT_EQ(emu.opencomm(1, 2, 5000), 0);
  EXPECT_EQ(emu.reset(1, 2), -1);
  EXPECT_EQ(emu.reset(1, 2), 0);

  // A failure comes at once, without a card and without touching anything.
  const std::string sample = emu.track(2);
  emu.setSwipeDelayMs(-1);
  emu.script("readcard", {-9, 0, -12});
  emu.script("writecard", {-11, 0});
  a->assign("keep");
  EXPECT_EQ(read(2, 2, 10000), -9);
  EXPECT_EQ(a->text(), "keep");
  EXPECT_EQ(write(2, "7777", "", 10000), -11);
  EXPECT_EQ(emu.track(2), sample);
  // A scripted 0 still needs its card.
  EXPECT_EQ(read(2, 2, 20), -6);
  EXPECT_EQ(write(2, "7777", "", 20), -6);
  emu.setSwipeDelayMs(kSwipeMs);
  EXPECT_EQ(read(2), -12);
  EXPECT_EQ(write(2, "7777", ""), 0);
  EXPECT_EQ(emu.track(2), "7777");
}

TEST_F(EmulatorTest, CallLogShowsArgumentsBuffersAndResults) {
  setCard("ONE", "22", "33");
  emu.clearLog();
  emu.detect(1, 5000);
  emu.opencomm(2, 1, 10000);
  a->assign("old");
  read(4);
  write(1, "", "NEW");
  write(2, std::string("12\x01\xFF", 4), "");
  emu.readcard(3, 2, nullptr, b->data(), 1, 0);
  emu.reset(1, 2);
  emu.endcard(2);
  const std::vector<std::string> expected = {
      "detect(1,5000)=2428",
      "opencomm(2,1,10000)=0",
      "readcard(1,4,\"22\",\"ONE\",2,5000)=0",
      "writecard(1,1,\"\",\"NEW\",2,5000)=0",
      "writecard(1,2,\"12\\x01\\xFF\",\"\",2,5000)=-14",
      "readcard(3,2,null,\"\",1,0)=-4",
      "reset(1,2)=0",
      "endcard(2)=0",
  };
  EXPECT_EQ(emu.log(), expected);

  char small[5];
  EXPECT_EQ(emu.logLine(0, small, sizeof small), 19);
  EXPECT_STREQ(small, "dete");
  EXPECT_EQ(emu.logLine(8, small, sizeof small), -1);
  EXPECT_STREQ(small, "");
  emu.clearLog();
  EXPECT_EQ(emu.logCount(), 0);
}

TEST_F(EmulatorTest, UnterminatedBuffersFillAll300Bytes) {
  setCard("ONE", "22", "33");
  emu.setUnterminatedBuffers(1);
  ASSERT_EQ(read(2), 0);
  const std::string shownA = a->text();
  ASSERT_EQ(shownA.size(), 300u);
  EXPECT_EQ(shownA.substr(0, 2), "22");
  EXPECT_EQ(b->text().size(), 300u);
  // The log shows them whole, and no further.
  EXPECT_EQ(emu.log().back(),
            "readcard(1,2,\"" + shownA + "\",\"" + b->text() + "\",2,5000)=0");

  // Data without a zero is 300 bytes long: too long for any track.
  emu.setUnterminatedBuffers(0);
  std::memset(a->data(), '5', TrackBuffer::kSize);
  EXPECT_EQ(emu.writecard(1, 2, a->data(), b->data(), 2, kTimeoutMs), -14);
  EXPECT_EQ(emu.track(2), "22");
  EXPECT_NE(emu.log().back().find(std::string(300, '5') + "\""), std::string::npos);
}

TEST_F(EmulatorTest, ByHandACallWaitsForTheSwipeItsTimeOutOrABreakOff) {
  setCard("S1", "22", "33");
  emu.setManualSwipe(1);
  // A swipe before the call is no card for it.
  emu.swipe();
  EXPECT_EQ(read(2, 2, 40), -6);
  EXPECT_EQ(a->text(), "");

  auto reading = std::async(std::launch::async, [&] { return read(2, 2, 10000); });
  ASSERT_TRUE(pendingReaches(1));
  // The automatic delay no longer swipes.
  EXPECT_EQ(reading.wait_for(milliseconds(50)), std::future_status::timeout);
  emu.swipe();
  EXPECT_EQ(reading.get(), 0);
  EXPECT_EQ(a->text(), "22");

  auto writing = std::async(std::launch::async, [&] { return write(2, "4444", "", 0); });
  ASSERT_TRUE(pendingReaches(1));
  EXPECT_EQ(emu.endcard(2), 0);
  EXPECT_EQ(writing.get(), -100);
  EXPECT_EQ(emu.track(2), "22");

  // Turned off while a call waits: that call still waits for its swipe.
  auto late = std::async(std::launch::async, [&] { return read(2, 2, 10000); });
  ASSERT_TRUE(pendingReaches(1));
  emu.setManualSwipe(0);
  EXPECT_EQ(late.wait_for(milliseconds(50)), std::future_status::timeout);
  emu.swipe();
  EXPECT_EQ(late.get(), 0);
  // The next one swipes by itself again.
  EXPECT_EQ(read(2), 0);
  EXPECT_EQ(emu.cardsDone(0), 3);
}

TEST_F(EmulatorTest, AChosenResultComesWithTheCardOnceOrEveryTime) {
  setCard("S1", "22", "33");
  emu.chooseResult(-14, 0);
  EXPECT_EQ(write(2, "4444", ""), -14);
  EXPECT_EQ(emu.track(2), "22");
  EXPECT_EQ(write(2, "4444", ""), 0);
  EXPECT_EQ(emu.track(2), "4444");
  EXPECT_EQ(emu.cardsDone(1), 1);

  emu.chooseResult(-6, 1);
  a->assign("keep");
  EXPECT_EQ(read(2), -6);
  EXPECT_EQ(read(2), -6);
  EXPECT_EQ(a->text(), "keep");
  EXPECT_EQ(emu.cardsDone(0), 0);
  // It waits for the card like the real device: without a swipe, the time-out.
  emu.setManualSwipe(1);
  emu.chooseResult(-12, 0);
  EXPECT_EQ(read(2, 2, 30), -6);
  auto reading = std::async(std::launch::async, [&] { return read(2, 2, 10000); });
  ASSERT_TRUE(pendingReaches(1));
  emu.swipe();
  EXPECT_EQ(reading.get(), -12);
  emu.setManualSwipe(0);
  // 0 takes the choice back; argument errors come first, as always.
  emu.chooseResult(-9, 1);
  EXPECT_EQ(emu.readcard(1, 7, a->data(), b->data(), 2, kTimeoutMs), -4);
  emu.chooseResult(0, 1);
  EXPECT_EQ(read(2), 0);
  EXPECT_EQ(a->text(), "4444");
  EXPECT_EQ(emu.cardsDone(0), 1);
}

}  // namespace
