#include "panel/Settings.h"

#include <charconv>
#include <cstdint>
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

// Whether the bytes are well-formed UTF-8: no overlong form, no surrogate,
// nothing past U+10FFFF.
bool validUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto lead = static_cast<unsigned char>(s[i]);
    std::size_t length = 1;
    std::uint32_t cp = lead;
    std::uint32_t smallest = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2, cp = lead & 0x1Fu, smallest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3, cp = lead & 0x0Fu, smallest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4, cp = lead & 0x07u, smallest = 0x10000;
    } else {
      return false;
    }
    if (s.size() - i < length) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(s[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (next & 0x3Fu);
    }
    if (cp < smallest || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

// Why a line is no text, or nothing. Checked before anything else, so that
// no message quotes such bytes: a zero would cut it short on the panel.
std::optional<std::string> notText(std::string_view line) {
  if (line.find('\0') != std::string_view::npos)
    return "含有零字节（设置文件应是UTF-8文本，不能是UTF-16）";
  if (!validUtf8(line)) return "含有不是UTF-8编码的字节";
  return std::nullopt;
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

ParsedSettings failedSettings(const std::string& problem) {
  ParsedSettings failed;
  failed.settings.panel = true;
  failed.problem = problem + "。已按默认设置运行。";
  return failed;
}

}  // namespace

ParsedSettings parsePanelSettings(std::string_view text) {
  ParsedSettings parsed;
  if (text.size() > kMaxSettingsBytes)
    return failedSettings("设置文件超过" + std::to_string(kMaxSettingsBytes) + "字节，未读取");
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
    std::optional<std::string> problem = notText(line);
    if (!problem && !content.empty() && content.front() != '#') {
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
    if (problem) return failedSettings("设置文件第" + std::to_string(lineNumber) + "行：" + *problem);
    if (end == std::string_view::npos) break;
    pos = end + 1;
  }
  return parsed;
}

}  // namespace emu
