#include "device/TrackBuffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

namespace {

using device::TrackBuffer;

// On the heap, each buffer alone: a read past its 300 bytes is caught by
// AddressSanitizer.
std::unique_ptr<TrackBuffer> makeBuffer() { return std::make_unique<TrackBuffer>(); }

bool allZero(const TrackBuffer& buffer) {
  return std::all_of(buffer.data(), buffer.data() + TrackBuffer::kSize,
                     [](char c) { return c == '\0'; });
}

TEST(TrackBuffer, TakesAtMost299BytesWithTheirZero) {
  auto buffer = makeBuffer();
  EXPECT_TRUE(allZero(*buffer));

  const std::string longest(299, '7');
  ASSERT_TRUE(buffer->assign(longest));
  EXPECT_EQ(buffer->data()[299], '\0');
  EXPECT_EQ(buffer->text(), longest);

  EXPECT_FALSE(buffer->assign(std::string(300, '8')));
  EXPECT_TRUE(allZero(*buffer));
  EXPECT_EQ(buffer->text(), "");
}

TEST(TrackBuffer, ReadsUpToTheFirstZeroButNeverPastTheEnd) {
  auto buffer = makeBuffer();
  ASSERT_TRUE(buffer->assign(std::string("12\0" "34", 5)));
  EXPECT_EQ(buffer->text(), "12");

  // As a library may leave it: every byte used, no zero anywhere.
  std::memset(buffer->data(), 'Z', TrackBuffer::kSize);
  EXPECT_EQ(buffer->text(), std::string(300, 'Z'));

  buffer->clear();
  EXPECT_TRUE(allZero(*buffer));
}

}  // namespace
