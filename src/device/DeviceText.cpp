#include "device/DeviceText.h"

#include <cstdint>

#ifdef _WIN32
#include <windows.h>

#include "wintext/WinText.h"
#endif

namespace device {

namespace {

// Length of the well-formed UTF-8 sequence at bytes[pos], or 0 when the bytes
// there are not one. `consumed` receives how many bytes belong to the
// ill-formed part (the maximal subpart, at least 1), so that one U+FFFD
// stands for it.
std::size_t utf8SequenceAt(std::string_view bytes, std::size_t pos, std::size_t& consumed) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
  const std::uint8_t lead = byte(pos);
  consumed = 1;
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  std::uint8_t low = 0x80;
  std::uint8_t high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // no overlong forms
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // no overlong forms
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  for (std::size_t i = 1; i < length; ++i) {
    if (pos + i >= bytes.size()) return 0;
    const std::uint8_t next = byte(pos + i);
    const std::uint8_t min = i == 1 ? low : 0x80;
    const std::uint8_t max = i == 1 ? high : 0xBF;
    if (next < min || next > max) return 0;
    consumed = i + 1;
  }
  return length;
}

// The device reads a buffer up to its first zero: text with a zero byte
// would reach the card cut short.
bool hasZeroByte(std::string_view bytes) { return bytes.find('\0') != std::string_view::npos; }

bool isValidUtf8(std::string_view bytes) {
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    std::size_t consumed = 0;
    const std::size_t length = utf8SequenceAt(bytes, pos, consumed);
    if (length == 0) return false;
    pos += length;
  }
  return true;
}

std::string sanitizeUtf8(std::string_view bytes) {
  static constexpr char kReplacement[] = "\xEF\xBF\xBD";
  std::string out;
  out.reserve(bytes.size());
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    std::size_t consumed = 0;
    const std::size_t length = utf8SequenceAt(bytes, pos, consumed);
    if (length == 0) {
      out += kReplacement;
      pos += consumed;
    } else {
      out.append(bytes.substr(pos, length));
      pos += length;
    }
  }
  return out;
}

}  // namespace

#ifdef _WIN32

std::optional<std::string> toDeviceBytes(std::string_view utf8) {
  if (!isValidUtf8(utf8) || hasZeroByte(utf8)) return std::nullopt;
  // A UTF-8 code page takes the text as it is (and WideCharToMultiByte would
  // refuse the used-default check for it).
  if (utf8.empty() || GetACP() == CP_UTF8) return std::string(utf8);
  const std::optional<std::wstring> wide = wintext::widenStrict(CP_UTF8, utf8);
  if (!wide) return std::nullopt;
  return wintext::narrowStrict(CP_ACP, *wide);
}

std::string fromDeviceBytes(std::string_view bytes) {
  if (bytes.empty()) return {};
  if (GetACP() == CP_UTF8) return sanitizeUtf8(bytes);
  std::optional<std::wstring> wide = wintext::widenStrict(CP_ACP, bytes);
  if (!wide) {
    // Some bytes are no character of the code page: convert character by
    // character and put U+FFFD where one fails.
    wide.emplace();
    std::size_t pos = 0;
    while (pos < bytes.size()) {
      std::size_t length = 1;
      if (IsDBCSLeadByteEx(CP_ACP, static_cast<BYTE>(bytes[pos])) && pos + 1 < bytes.size()) {
        length = 2;
      }
      if (const auto one = wintext::widenStrict(CP_ACP, bytes.substr(pos, length))) {
        *wide += *one;
        pos += length;
      } else {
        *wide += L'\xFFFD';
        pos += 1;
      }
    }
  }
  return wintext::narrow(CP_UTF8, *wide);
}

#else

std::optional<std::string> toDeviceBytes(std::string_view utf8) {
  if (!isValidUtf8(utf8) || hasZeroByte(utf8)) return std::nullopt;
  return std::string(utf8);
}

std::string fromDeviceBytes(std::string_view bytes) { return sanitizeUtf8(bytes); }

#endif

}  // namespace device
