// A closed library may write (and read) past the 300 bytes of a track buffer
// that it is told of. The buffers keep room for that: nothing of the program
// next to them changes, and what is read back is never more than 300 bytes.
// Under the asan preset any byte touched outside the room is a report.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <string>

#include "EmulatorClient.h"
#include "device/TrackBuffer.h"

namespace {

using device::TrackBuffer;

constexpr char kGuard = 0x5A;
constexpr std::int32_t kOverrun = 4000;  // well past 300, within the room

// Two buffers as a worker holds them, with the program's data around them.
struct Neighbours {
  std::array<char, 64> before;
  TrackBuffer a;
  std::array<char, 64> between;
  TrackBuffer b;
  std::array<char, 64> after;

  Neighbours() {
    before.fill(kGuard);
    between.fill(kGuard);
    after.fill(kGuard);
  }
  bool guardsIntact() const {
    const auto intact = [](const std::array<char, 64>& g) {
      return std::all_of(g.begin(), g.end(), [](char c) { return c == kGuard; });
    };
    return intact(before) && intact(between) && intact(after);
  }
};

class Overrun : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(emulator.controllable());
    ASSERT_NE(emulator.readcard, nullptr);
    emulator.resetState();
    emulator.setSwipeDelayMs(0);
    emulator.setOverrun(kOverrun);
  }
  void TearDown() override { emulator.resetState(); }

  emu::Client emulator;
};

static_assert(TrackBuffer::kSlack >= static_cast<std::size_t>(kOverrun));

TEST_F(Overrun, ReadPastTheBuffersLeavesTheirNeighboursAndReadsAtMost300Bytes) {
  // On the heap, so that AddressSanitizer watches the ends of the block.
  auto held = std::make_unique<Neighbours>();
  emulator.setTrack(1, "%B1234^OVERRUN^29?");
  emulator.setTrack(2, "6200000000000000=29121010000012345");

  // Terminated: the text with its zero, then filler far past byte 300.
  ASSERT_EQ(emulator.readcard(1, 4, held->a.data(), held->b.data(), 2, 1000), 0);
  EXPECT_TRUE(held->guardsIntact());
  EXPECT_EQ(held->a.text(), "6200000000000000=29121010000012345");
  EXPECT_EQ(held->b.text(), "%B1234^OVERRUN^29?");
  // The control did what it says: filler up to byte 300 + n, not beyond.
  EXPECT_EQ(held->a.data()[TrackBuffer::kSize + kOverrun - 1], '#');
  EXPECT_EQ(held->a.data()[TrackBuffer::kSize + kOverrun], '\0');

  // Unterminated: no zero in the 300 bytes; the text stops at byte 300.
  emulator.setUnterminatedBuffers(1);
  ASSERT_EQ(emulator.readcard(1, 4, held->a.data(), held->b.data(), 2, 1000), 0);
  EXPECT_TRUE(held->guardsIntact());
  EXPECT_EQ(held->a.text().size(), TrackBuffer::kSize);
  EXPECT_EQ(held->b.text().size(), TrackBuffer::kSize);
  EXPECT_EQ(held->b.text().rfind("%B1234^OVERRUN^29?#", 0), 0u);

  // Filling a buffer anew clears what the library left in the room.
  ASSERT_TRUE(held->a.assign("1234"));
  EXPECT_EQ(held->a.data()[TrackBuffer::kSize + 1], '\0');
}

TEST_F(Overrun, WritecardReadingPastTheBuffersStaysInsideThem) {
  auto a = std::make_unique<TrackBuffer>();
  auto b = std::make_unique<TrackBuffer>();
  ASSERT_TRUE(a->assign("1234567890"));
  ASSERT_TRUE(b->assign("HELLO OVERRUN"));
  ASSERT_EQ(emulator.writecard(1, 4, a->data(), b->data(), 2, 1000), 0);
  EXPECT_EQ(emulator.track(2), "1234567890");
  EXPECT_EQ(emulator.track(1), "HELLO OVERRUN");
}

}  // namespace
