// The card rules that every page and worker shares: the track-selection
// table, buffers from text and from file lines, numbering without wrap-round.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "cards/Buffers.h"
#include "cards/Counting.h"
#include "cards/Selections.h"
#include "cards/TextLines.h"

namespace {

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

TEST(Selections, BufferATakesTrackTwoAndBufferBTrackOneElseThree) {
  // The library's rule for 1 to 5, checked against what each code covers.
  for (int code = 1; code <= 5; ++code) {
    const auto covers = cards::tracksOf(code);
    const cards::Selection s = cards::selection(code);
    EXPECT_EQ(s.bufferA, covers[1] ? 2 : 0) << code;
    EXPECT_EQ(s.bufferB, covers[0] ? 1 : covers[2] ? 3 : 0) << code;
    // Every covered track travels, in one buffer only.
    for (int track = 1; track <= 3; ++track)
      EXPECT_EQ(cards::bufferOf(code, track) != cards::Buffer::None,
                covers[static_cast<std::size_t>(track - 1)])
          << code << "/" << track;
    EXPECT_EQ(cards::linesPerCard(code), static_cast<int>(cards::carriedTracks(code).size()));
  }
  // 6 covers all three tracks, but only 1 and 2 travel, as under 4; no file
  // carries it.
  EXPECT_EQ(cards::tracksOf(6), (std::array<bool, 3>{true, true, true}));
  EXPECT_EQ(cards::carriedTracks(6), cards::carriedTracks(4));
  EXPECT_EQ(cards::bufferOf(6, 3), cards::Buffer::None);
  EXPECT_EQ(cards::linesPerCard(6), 0);
  for (int code : {0, 7, -1, 100}) {
    EXPECT_EQ(cards::tracksOf(code), (std::array<bool, 3>{}));
    EXPECT_TRUE(cards::carriedTracks(code).empty());
    EXPECT_EQ(cards::linesPerCard(code), 0);
  }
  EXPECT_EQ(cards::carriedTracks(5), (std::vector<int>{2, 3}));
}

TEST(Buffers, TextGoesToItsBufferInTrackOrderAndARefusalLeavesBothEmpty) {
  device::TrackBuffer a;
  device::TrackBuffer b;
  std::vector<int> asked;
  const auto textOf = [&](int track) {
    asked.push_back(track);
    return std::string(track == 3 ? 300 : 5, static_cast<char>('0' + track));
  };
  EXPECT_FALSE(cards::fillBuffersFromText(4, textOf, a, b));
  EXPECT_EQ(asked, (std::vector<int>{1, 2}));
  EXPECT_EQ(b.text(), "11111");
  EXPECT_EQ(a.text(), "22222");
  asked.clear();
  const auto refusal = cards::fillBuffersFromText(5, textOf, a, b);
  ASSERT_TRUE(refusal);
  EXPECT_EQ(refusal->track, 3);
  EXPECT_EQ(refusal->bytes, 300u);
  EXPECT_FALSE(refusal->noDeviceForm);
  EXPECT_EQ(a.text(), "");
  EXPECT_EQ(b.text(), "");
  EXPECT_EQ(cards::writeRefusalMessage(*refusal), "3轨数据超过299字节，未写卡！");
  // A zero byte has no device form: the device would cut the text there.
  EXPECT_EQ(cards::fillWriteBuffers(
                2, [](int) { return std::string("A\0B", 3); }, false, a, b),
            "2轨数据含有无法转换为设备字符的字符，未写卡！");
}

TEST(Buffers, UpperCaseTouchesAsciiLettersOfTrackOneOnly) {
  EXPECT_EQ(cards::upperCaseAscii("abc123xyz"), "ABC123XYZ");
  // Neighbours of a and z stay.
  EXPECT_EQ(cards::upperCaseAscii("`a{z@"), "`A{Z@");
  EXPECT_EQ(cards::upperCaseAscii("ab讀碼é"), "AB讀碼é");
  EXPECT_EQ(cards::upperCaseAscii(""), "");
  device::TrackBuffer a;
  device::TrackBuffer b;
  ASSERT_FALSE(cards::fillWriteBuffers(
      4, [](int track) { return track == 1 ? std::string("ab") : std::string("cd"); }, true, a, b));
  EXPECT_EQ(b.text(), "AB");
  EXPECT_EQ(a.text(), "cd");
}

TEST(Buffers, ReadTextsShowTheCarriedTracksAndEmptyTrackThreeUnderSix) {
  device::TrackBuffer a;
  device::TrackBuffer b;
  ASSERT_TRUE(a.assign("22"));
  ASSERT_TRUE(b.assign("13"));
  const auto five = cards::readTexts(5, a, b);
  EXPECT_FALSE(five[0]);
  EXPECT_EQ(five[1], "22");
  EXPECT_EQ(five[2], "13");
  const auto six = cards::readTexts(6, a, b);
  EXPECT_EQ(six[0], "13");
  EXPECT_EQ(six[1], "22");
  EXPECT_EQ(six[2], "");
}

TEST(FileLines, APairGoesLowerTrackFirstAndNothingIsCutOrMadeUp) {
  const cards::TextLines lines = cards::splitLines("first\nsecond\nthird\n");
  device::TrackBuffer a;
  device::TrackBuffer b;
  ASSERT_TRUE(cards::fillCardFromLines(4, lines, 0, a, b));  // track 1 then track 2
  EXPECT_EQ(b.text(), "first");
  EXPECT_EQ(a.text(), "second");
  ASSERT_TRUE(cards::fillCardFromLines(5, lines, 1, a, b));  // track 2 then track 3
  EXPECT_EQ(a.text(), "second");
  EXPECT_EQ(b.text(), "third");
  ASSERT_TRUE(cards::fillCardFromLines(3, lines, 2, a, b));
  EXPECT_EQ(a.text(), "");
  EXPECT_EQ(b.text(), "third");
  // The last line has no partner.
  EXPECT_FALSE(cards::fillCardFromLines(4, lines, 2, a, b));
  EXPECT_EQ(a.text(), "");
  EXPECT_EQ(b.text(), "");
  const cards::TextLines overlong = cards::splitLines(std::string(300, '1'));
  EXPECT_FALSE(cards::fillCardFromLines(2, overlong, 0, a, b));
  EXPECT_EQ(a.text(), "");
  ASSERT_TRUE(cards::fillCardFromLines(3, lines, 2, a, b));
  EXPECT_FALSE(cards::fillCardFromLines(3, cards::splitLines(std::string("1\0" "2", 3)), 0, a, b));
  EXPECT_EQ(b.text(), "");
}

TEST(FileLines, ARunIsRefusedForSixThenAZeroByteAnywhereThenTheFirstOverlongLineItWouldWrite) {
  using namespace std::string_literals;
  const std::string ok(299, '1');
  const std::string over(300, '2');
  struct Case {
    const char* rule;
    std::string bytes;
    int selection;
    std::optional<std::string> refusal;
  };
  const Case cases[] = {
      {"six, whatever the file", "a\n", 6, cards::kSelection6Refused},
      {"six before a zero byte", "a\0\n"s, 6, cards::kSelection6Refused},
      {"the first overlong line", ok + "\n" + over + "\n" + over, 2, cards::overlongLineMessage(2)},
      // The unpaired last line of a two-track file is never written.
      {"an unpaired overlong last line", ok + "\n" + ok + "\n" + over, 4, std::nullopt},
      {"a zero byte in a later line", "12\r\n34\r\n5\0" "6\r\n78"s, 1, cards::zeroByteMessage(3)},
      {"a zero byte before an earlier overlong line", over + "\n1\0"s, 3, cards::zeroByteMessage(2)},
      {"a zero byte in the unpaired last line", "1\n2\n\0"s, 5, cards::zeroByteMessage(3)},
      {"UTF-16 with its byte-order mark", "\xFF\xFE" "1\0\r\0\n\0" "2\0"s, 4, cards::zeroByteMessage(1)},
      {"a file of one zero byte", "\0"s, 1, cards::zeroByteMessage(1)},
      {"a UTF-8 byte-order mark is data", "\xEF\xBB\xBF" "1\n", 1, std::nullopt},
  };
  for (const Case& c : cases)
    EXPECT_EQ(cards::runRefusal(cards::splitLines(c.bytes), c.selection), c.refusal) << c.rule;
  EXPECT_EQ(cards::firstZeroByteLine(cards::splitLines("a\r\n\r\nb\0\0\n\0"s)), 3u);
  EXPECT_FALSE(cards::firstZeroByteLine(cards::splitLines("a\r\n\r\nb")));
  EXPECT_EQ(cards::zeroByteMessage(12),
            "文件第12行含有零字节，未写任何卡！请将文件另存为纯文本（ANSI）格式后再试。");
  EXPECT_EQ(cards::overlongLineMessage(2), "文件第2行超过299字节，无法写入磁卡，未写任何卡！");
  EXPECT_TRUE(cards::fitsLineNumbers(cards::kMaxLines));
  EXPECT_FALSE(cards::fitsLineNumbers(static_cast<std::size_t>(kMax)));
}

TEST(Counting, ARunEndsAfterItsLastNumberEvenAtTheLargestCount) {
  EXPECT_EQ(cards::stepAfter(1, 3).counter, 2);
  EXPECT_TRUE(cards::stepAfter(1, 3).goesOn);
  EXPECT_EQ(cards::stepAfter(3, 3).counter, 4);  // past the last, as the loop leaves it
  EXPECT_FALSE(cards::stepAfter(3, 3).goesOn);
  EXPECT_FALSE(cards::stepAfter(1, 1).goesOn);
  // The largest count: no wrap to a negative number that would start over.
  EXPECT_TRUE(cards::stepAfter(kMax - 1, kMax).goesOn);
  EXPECT_EQ(cards::stepAfter(kMax - 1, kMax).counter, kMax);
  EXPECT_FALSE(cards::stepAfter(kMax, kMax).goesOn);
  EXPECT_EQ(cards::stepAfter(kMax, kMax).counter, kMax);
  // A card written again is counted from one before it.
  EXPECT_EQ(cards::stepAfter(0, 5).counter, 1);
  EXPECT_TRUE(cards::stepAfter(0, 5).goesOn);
}

TEST(Counting, TheLineCursorNumbersCardsByLineOrPairAndNeverRunsPastTheFile) {
  cards::LineCursor one(3, 1);
  EXPECT_EQ(one.cardNumber(), 1);
  one.next();
  EXPECT_EQ(one.cardNumber(), 2);
  EXPECT_FALSE(one.pairIncomplete());
  one.next();
  one.next();
  EXPECT_TRUE(one.done());
  EXPECT_EQ(one.index(), 3);

  cards::LineCursor pairs(5, 2);
  EXPECT_EQ(pairs.line(1), 1);
  pairs.next();
  EXPECT_EQ(pairs.cardNumber(), 2);
  EXPECT_EQ(pairs.index(), 2);
  pairs.next();
  EXPECT_EQ(pairs.cardNumber(), 3);
  EXPECT_TRUE(pairs.pairIncomplete());  // line 5 has no partner
  pairs.cancel();
  EXPECT_TRUE(pairs.done());

  // The largest file a run takes: the last steps stay in range.
  const auto big = static_cast<std::int32_t>(cards::kMaxLines);
  cards::LineCursor last(big, 2);
  last.cancel();
  EXPECT_TRUE(last.done());
  EXPECT_EQ(last.index(), big);
  last.next();
  EXPECT_EQ(last.index(), big);
  constexpr auto endOf = [](std::int32_t count, int perCard, std::int32_t from) {
    cards::LineCursor c(count, perCard);
    while (c.index() < from) c.next();
    c.next();
    c.next();
    return c.index();
  };
  static_assert(endOf(7, 2, 4) == 7);
  EXPECT_EQ(endOf(big, 1, 0), 2);
}

}  // namespace
