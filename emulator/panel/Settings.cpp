#include "panel/Settings.h"

#include <charconv>
#include <iterator>

namespace emu {

namespace {

constexpr std::size_t kMaxTrack = 299;

std::string_view trim(std::string_view s) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

std::optional<std::int32_t> number(std::string_view s) {
  std::int32_t value = 0;
  const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (error != std::errc() || end != s.data() + s.size() || s.empty()) return std::nullopt;
  return value;
}

// The problem with one line's key and value, or nothing; fills `out`.
std::optional<std::string> apply(std::string_view key, std::string_view value,
                                 PanelSettings& out) {
  if (key == "panel") {
    if (value == "on") out.panel = true;
    else if (value == "off") out.panel = false;
    else return "panel 只能是 on 或 off";
  } else if (key == "swipe") {
    if (value == "manual") out.manualSwipe = true;
    else if (value == "auto") out.manualSwipe = false;
    else return "swipe 只能是 auto 或 manual";
  } else if (key == "swipe_delay_ms") {
    const auto ms = number(value);
    if (!ms || *ms < 0 || *ms > 60000) return "swipe_delay_ms 应是0到60000之间的整数";
    out.swipeDelayMs = *ms;
  } else if (key == "detect") {
    const auto code = number(value);
    if (!code) return "detect 应是一个整数";
    out.detectAnswer = *code;
  } else if (key == "track1" || key == "track2" || key == "track3") {
    if (value.size() > kMaxTrack) return std::string(key) + " 超过299字节";
    out.tracks[static_cast<std::size_t>(key.back() - '1')] = std::string(value);
  } else {
    return "不认识的设置“" + std::string(key) + "”";
  }
  return std::nullopt;
}

}  // namespace

ParsedSettings parsePanelSettings(std::string_view text) {
  ParsedSettings parsed;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::array<bool, 7> seen{};
  const std::string_view keys[] = {"panel", "swipe", "swipe_delay_ms", "detect",
                                   "track1", "track2", "track3"};
  int lineNumber = 0;
  std::size_t pos = 0;
  for (;;) {
    ++lineNumber;
    const std::size_t end = text.find('\n', pos);
    std::string_view line = text.substr(pos, end == std::string_view::npos ? end : end - pos);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const std::string_view content = trim(line);
    std::optional<std::string> problem;
    if (!content.empty() && content.front() != '#') {
      const std::size_t equals = content.find('=');
      if (equals == std::string_view::npos) {
        problem = "缺少“=”";
      } else {
        const std::string_view key = trim(content.substr(0, equals));
        const std::string_view value = trim(content.substr(equals + 1));
        std::size_t k = 0;
        while (k < std::size(keys) && keys[k] != key) ++k;
        if (k < std::size(keys) && seen[k]) problem = "“" + std::string(key) + "”出现了两次";
        else problem = apply(key, value, parsed.settings);
        if (k < std::size(keys)) seen[k] = true;
      }
    }
    if (problem) {
      ParsedSettings failed;
      failed.settings.panel = true;
      failed.problem = "设置文件第" + std::to_string(lineNumber) + "行：" + *problem +
                       "。已按默认设置运行。";
      return failed;
    }
    if (end == std::string_view::npos) break;
    pos = end + 1;
  }
  return parsed;
}

}  // namespace emu
