// Composing a batch card's track data, without the device: what the
// emulated encoder cannot take (line breaks) and arithmetic at the edges.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "cards/Compose.h"
#include "cards/LogEntries.h"
#include "cards/Selections.h"
#include "ui/Controls.h"
#include "ui/Convert.h"

namespace {

using cards::TrackFields;

TEST(Compose, ATwoLineFixedTextIsKeptWholeAndItsReportShowsTwoLines) {
  device::TrackBuffer a;
  device::TrackBuffer b;
  const std::array<TrackFields, 3> fields{TrackFields{"AB\r\nCD", "1", "1"}, TrackFields{},
                                          TrackFields{}};
  ASSERT_FALSE(cards::fillCardBuffers(1, 2, fields, a, b));
  EXPECT_EQ(b.text(), "AB\r\nCD2");
  EXPECT_EQ(a.text(), "");
  ui::Memo log("Memo4", nullptr);
  log.addLine(cards::successEntry(2, "写卡", 1, a, b, cards::kSelection6WriteNote));
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"", "第2次写卡成功！", "第一轨数据：", "AB", "CD2"}));
}

TEST(Compose, RunningNumbersWrapAroundBothWays) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  EXPECT_EQ(cards::runningNumber(kMax, 1, 2), kMin);
  EXPECT_EQ(cards::runningNumber(kMin, -1, 2), kMax);
  EXPECT_EQ(cards::runningNumber(0, kMax, 3), -2);
  EXPECT_EQ(cards::runningNumber(-5, 3, 1), -5);
  EXPECT_EQ(cards::composeTrack({"N", "-2147483648", "-1"}, 2), "N2147483647");
}

TEST(Compose, NoIntegerInAnEditThrowsTheConversionError) {
  EXPECT_THROW(cards::composeTrack({"A", "x", "0"}, 1), ui::ConvertError);
  // The increment is looked at even when the start is not 0.
  EXPECT_THROW(cards::composeTrack({"A", "1", ""}, 1), ui::ConvertError);
  EXPECT_THROW(cards::composeTrack({"A", "2147483648", "0"}, 1), ui::ConvertError);
}

TEST(Compose, TheFirstTrackThatCannotGoToTheCardIsNamedAndBothBuffersStayEmpty) {
  device::TrackBuffer a;
  device::TrackBuffer b;
  const std::string long300(300, '1');
  // Selection 5: track 2 is composed before track 3.
  std::array<TrackFields, 3> fields{TrackFields{"\xFF", "0", "0"}, TrackFields{"22", "0", "0"},
                                    TrackFields{long300, "0", "0"}};
  EXPECT_EQ(cards::fillCardBuffers(5, 1, fields, a, b), "3轨数据超过299字节（共300字节），未写卡！");
  EXPECT_EQ(a.text(), "");
  EXPECT_EQ(b.text(), "");
  // Selection 6 composes tracks 1 and 2 only: the long track 3 is not looked at.
  EXPECT_EQ(cards::fillCardBuffers(6, 1, fields, a, b), "1轨数据含有无法转换为设备字符的字符，未写卡！");
  fields[0].text = std::string(299, '1');
  EXPECT_FALSE(cards::fillCardBuffers(6, 1, fields, a, b));
  EXPECT_EQ(b.text().size(), 299u);
  EXPECT_EQ(a.text(), "22");
}

}  // namespace
