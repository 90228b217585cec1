#include "device/DeviceText.h"

#include <gtest/gtest.h>

#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

using device::fromDeviceBytes;
using device::toDeviceBytes;

const std::string kReplacement = "\xEF\xBF\xBD";

// Malformed UTF-8 and how many U+FFFD each becomes when read back.
struct Malformed {
  const char* what;
  std::string bytes;
  std::string shown;
};

const Malformed kMalformed[] = {
    {"lone continuation byte", "a\x80z", "a" + kReplacement + "z"},
    {"byte never used", "\xFF", kReplacement},
    {"overlong slash", "\xC0\xAF", kReplacement + kReplacement},
    {"surrogate", "\xED\xA0\x80", kReplacement + kReplacement + kReplacement},
    {"above U+10FFFF", "\xF4\x90\x80\x80",
     kReplacement + kReplacement + kReplacement + kReplacement},
    {"cut short inside text", "\xE7\xA3x", kReplacement + "x"},
    {"cut short at the end", "ok\xF0\x9F\x98", "ok" + kReplacement},
};

TEST(DeviceText, AsciiAndEmptyTextRoundTrip) {
  for (const std::string text : {"", "B6200000000000000^DEMO/CARD^2912", "0123456789=:;<>?"}) {
    const auto bytes = toDeviceBytes(text);
    ASSERT_TRUE(bytes.has_value()) << text;
    EXPECT_EQ(*bytes, text);
    EXPECT_EQ(fromDeviceBytes(*bytes), text);
  }
}

TEST(DeviceText, InvalidUtf8IsRefused) {
  for (const Malformed& input : kMalformed) {
    EXPECT_FALSE(toDeviceBytes(input.bytes).has_value()) << input.what;
  }
}

TEST(DeviceText, AZeroByteIsRefusedSinceTheDeviceWouldCutTheTextThere) {
  EXPECT_FALSE(toDeviceBytes(std::string("CARD\0" "12", 7)).has_value());
  EXPECT_FALSE(toDeviceBytes(std::string(1, '\0')).has_value());
}

#ifdef _WIN32

TEST(DeviceText, CharacterOutsideTheCodePageIsRefused) {
  if (GetACP() == CP_UTF8) GTEST_SKIP() << "the ANSI code page is UTF-8";
  // No ANSI code page has this emoji; a substitute would be other data.
  EXPECT_FALSE(toDeviceBytes("12\xF0\x9F\x98\x80").has_value());
}

TEST(DeviceText, ChineseRoundTripsInAChineseCodePage) {
  if (GetACP() != 936) GTEST_SKIP() << "needs code page 936";
  const std::string text = "\xE7\xA3\x81\xE5\x8D\xA1";  // 磁卡
  const auto bytes = toDeviceBytes(text);
  ASSERT_TRUE(bytes.has_value());
  EXPECT_EQ(*bytes, "\xB4\xC5\xBF\xA8");
  EXPECT_EQ(fromDeviceBytes(*bytes), text);
  // 0xFF is no character of code page 936, and a lead byte needs its partner.
  EXPECT_EQ(fromDeviceBytes("a\xFF" "b"), "a" + kReplacement + "b");
  EXPECT_EQ(fromDeviceBytes("\xB4\xC5\xBF"), "\xE7\xA3\x81" + kReplacement);
}

#else

TEST(DeviceText, Utf8IsTheDeviceForm) {
  // 磁卡读写, accents, an emoji
  for (const std::string text : {"\xE7\xA3\x81\xE5\x8D\xA1\xE8\xAF\xBB\xE5\x86\x99",
                                 "\xC3\xA9t\xC3\xA9", "\xF0\x9F\x98\x80"}) {
    const auto bytes = toDeviceBytes(text);
    ASSERT_TRUE(bytes.has_value());
    EXPECT_EQ(*bytes, text);
    EXPECT_EQ(fromDeviceBytes(text), text);
  }
}

TEST(DeviceText, BytesThatAreNoTextShowAsReplacement) {
  for (const Malformed& input : kMalformed) {
    const std::string shown = fromDeviceBytes(input.bytes);
    EXPECT_EQ(shown, input.shown) << input.what;
    EXPECT_TRUE(toDeviceBytes(shown).has_value()) << input.what;
  }
}

#endif

}  // namespace
