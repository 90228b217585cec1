// The settings file of the emulated reader's front panel.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "panel/Settings.h"

namespace {

using emu::parsePanelSettings;
using namespace std::string_literals;

const std::string kZero = "含有零字节（设置文件应是UTF-8文本，不能是UTF-16）。已按默认设置运行。";

TEST(PanelSettings, NoFileAndAnEmptyOneKeepTheReaderAsItIs) {
  for (const char* text : {"", "\xEF\xBB\xBF", "# only a comment\r\n\r\n   \n"}) {
    const emu::ParsedSettings parsed = parsePanelSettings(text);
    EXPECT_FALSE(parsed.problem) << text;
    EXPECT_FALSE(parsed.settings.panel);
    EXPECT_FALSE(parsed.settings.manualSwipe);
    EXPECT_EQ(parsed.settings.swipeDelayMs, 300);
    EXPECT_EQ(parsed.settings.detectAnswer, 2428);
    for (const auto& track : parsed.settings.tracks) EXPECT_FALSE(track);
  }
}

TEST(PanelSettings, AGoodFileSetsEveryKey) {
  const emu::ParsedSettings parsed = parsePanelSettings(
      "\xEF\xBB\xBF# 说明\r\n"
      "panel = on\r\n"
      "\tswipe=manual  \r\n"
      "swipe_delay_ms = 0\r\n"
      "detect = -3\r\n"
      "track1 = %B ONE^TWO?\r\n"
      "track2 =\r\n"
      "track3 = 99=12\n");  // the last line ends in LF alone
  ASSERT_FALSE(parsed.problem) << *parsed.problem;
  EXPECT_TRUE(parsed.settings.panel);
  EXPECT_TRUE(parsed.settings.manualSwipe);
  EXPECT_EQ(parsed.settings.swipeDelayMs, 0);
  EXPECT_EQ(parsed.settings.detectAnswer, -3);
  EXPECT_EQ(parsed.settings.tracks[0], "%B ONE^TWO?");  // inner blanks stay
  EXPECT_EQ(parsed.settings.tracks[1], "");              // an empty track is a track
  EXPECT_EQ(parsed.settings.tracks[2], "99=12");

  EXPECT_EQ(parsePanelSettings("swipe_delay_ms = 60000").settings.swipeDelayMs, 60000);
  EXPECT_EQ(parsePanelSettings("track2 = " + std::string(299, '5')).settings.tracks[1]->size(), 299u);
  EXPECT_FALSE(parsePanelSettings("panel = off\nswipe = auto").settings.panel);
}

TEST(PanelSettings, AMalformedFileSaysWhereOnceAndFallsBackToTheDefaults) {
  struct Case {
    std::string text;
    std::string problem;
  };
  const Case cases[] = {
      {"panel = yes", "设置文件第1行：panel 只能是 on 或 off。已按默认设置运行。"},
      {"swipe = MANUAL", "设置文件第1行：swipe 只能是 auto 或 manual。已按默认设置运行。"},
      {"# c\r\nswipe_delay_ms = -1", "设置文件第2行：swipe_delay_ms 应是0到60000之间的整数。已按默认设置运行。"},
      {"swipe_delay_ms = 60001", "设置文件第1行：swipe_delay_ms 应是0到60000之间的整数。已按默认设置运行。"},
      {"swipe_delay_ms = 3 s", "设置文件第1行：swipe_delay_ms 应是0到60000之间的整数。已按默认设置运行。"},
      {"swipe_delay_ms =", "设置文件第1行：swipe_delay_ms 应是0到60000之间的整数。已按默认设置运行。"},
      {"detect = 99999999999", "设置文件第1行：detect 应是一个整数。已按默认设置运行。"},
      {"track2 = " + std::string(300, '5'), "设置文件第1行：track2 超过299字节。已按默认设置运行。"},
      {"\n\npanel on", "设置文件第3行：缺少“=”。已按默认设置运行。"},
      {"track4 = 1", "设置文件第1行：不认识的设置“track4”。已按默认设置运行。"},
      {"swipe = manual\nswipe = auto", "设置文件第2行：“swipe”出现了两次。已按默认设置运行。"},
      // Bytes that are no UTF-8 text, in a value or in a comment.
      {"track2 = 12\xFF" "34", "设置文件第1行：含有不是UTF-8编码的字节。已按默认设置运行。"},
      {"track2 = \xED\xA0\x80", "设置文件第1行：含有不是UTF-8编码的字节。已按默认设置运行。"},
      {"# \xBF\xA8 (GBK)\ndetect = 1", "设置文件第1行：含有不是UTF-8编码的字节。已按默认设置运行。"},
      {"track3 = 12\0" "34"s, "设置文件第1行：" + kZero},
  };
  for (const Case& c : cases) {
    // What comes before the bad line is dropped with it.
    const emu::ParsedSettings parsed = parsePanelSettings("track1 = X\n# c\n" + c.text);
    ASSERT_TRUE(parsed.problem) << c.text;
    const std::string expected = "设置文件第" + std::to_string(std::stoi(c.problem.substr(15)) + 2) +
                                 c.problem.substr(c.problem.find("行"));
    EXPECT_EQ(*parsed.problem, expected) << c.text;
    EXPECT_EQ(parsed.problem->find('\0'), std::string::npos);
    // Shown, so that the problem is seen; otherwise the reader as always.
    EXPECT_TRUE(parsed.settings.panel);
    EXPECT_FALSE(parsed.settings.manualSwipe);
    EXPECT_EQ(parsed.settings.swipeDelayMs, 300);
    EXPECT_EQ(parsed.settings.detectAnswer, 2428);
    EXPECT_FALSE(parsed.settings.tracks[0]);
  }
}

TEST(PanelSettings, AFileThatIsNoUtf8TextOrTooLongIsRefusedWithAWholeMessage) {
  const std::string limit(emu::kMaxSettingsBytes, '#');
  struct Case {
    std::string text;
    std::optional<std::string> problem;
  };
  const Case cases[] = {
      // UTF-16 (Notepad's "Unicode"); its "=" once made the message quote the
      // key, whose zero bytes cut the message short on the panel.
      {"\xFF\xFEt\0=\0\r\0\n\0"s, "设置文件第1行：" + kZero},
      {"\xFF\xFEp\0a\0n\0e\0l\0 \0=\0 \0o\0n\0"s, "设置文件第1行：" + kZero},
      {"\x01\x00\xFF"s, "设置文件第1行：" + kZero},
      {limit, std::nullopt},
      // Refused whole rather than read in part.
      {limit + "\npanel = on", "设置文件超过65536字节，未读取。已按默认设置运行。"},
  };
  for (const Case& c : cases) {
    const emu::ParsedSettings parsed = parsePanelSettings(c.text);
    EXPECT_EQ(parsed.problem, c.problem) << c.text.size();
    EXPECT_EQ(parsed.settings.panel, c.problem.has_value());
  }
}

TEST(PanelSettings, TheDemoFileShowsThePanelWithoutAProblem) {
  std::ifstream file(CARDTEST_DEMO_SETTINGS, std::ios::binary);
  ASSERT_TRUE(file) << CARDTEST_DEMO_SETTINGS;
  const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  const emu::ParsedSettings parsed = parsePanelSettings(text);
  EXPECT_FALSE(parsed.problem) << *parsed.problem;
  EXPECT_TRUE(parsed.settings.panel);
  EXPECT_FALSE(parsed.settings.manualSwipe);
}

}  // namespace
