#pragma once
// Helpers shared by the fuzz targets: a failed property aborts with a message,
// so libFuzzer keeps the input that broke it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace fuzz {

[[noreturn]] inline void fail(const char* file, int line, const char* what) {
  std::fprintf(stderr, "%s:%d: property failed: %s\n", file, line, what);
  std::abort();
}

#define FUZZ_CHECK(cond) \
  do {                   \
    if (!(cond)) ::fuzz::fail(__FILE__, __LINE__, #cond); \
  } while (false)

// Independent decimal parse: blanks (space, tab) around an optional sign and
// at least one digit, the value within 32 bits. Big values saturate.
inline std::optional<std::int32_t> referenceInt(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  bool negative = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  long long magnitude = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    magnitude = magnitude * 10 + (c - '0');
    if (magnitude > (1LL << 40)) magnitude = 1LL << 40;
  }
  const long long value = negative ? -magnitude : magnitude;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

// Whether one complete sequence is a well-formed UTF-8 character, decoded by
// its bit pattern rather than by a table of byte ranges.
inline bool wellFormedSequence(std::string_view seq) {
  if (seq.empty()) return false;
  const auto lead = static_cast<unsigned char>(seq[0]);
  std::size_t length = 0;
  std::uint32_t cp = 0;
  if ((lead & 0x80) == 0) {
    length = 1, cp = lead;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2, cp = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, cp = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, cp = lead & 0x07;
  } else {
    return false;
  }
  if (seq.size() != length) return false;
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(seq[i]);
    if ((next & 0xC0) != 0x80) return false;
    cp = (cp << 6) | (next & 0x3F);
  }
  static constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kSmallest[length]) return false;           // overlong
  if (cp >= 0xD800 && cp <= 0xDFFF) return false;     // surrogate
  return cp <= 0x10FFFF;
}

// Whether some continuation makes these bytes a well-formed character.
inline bool completable(std::string_view prefix) {
  for (std::size_t total = prefix.size() + 1; total <= 4; ++total) {
    std::string seq(prefix);
    if (prefix.size() == 1) {
      // The second byte carries the range limits: try each.
      for (int second = 0x80; second <= 0xBF; ++second) {
        std::string tried = seq + static_cast<char>(second);
        tried.resize(total, '\x80');
        if (wellFormedSequence(tried)) return true;
      }
      continue;
    }
    seq.resize(total, '\x80');
    if (wellFormedSequence(seq)) return true;
  }
  return false;
}

// The length of the well-formed character at pos, 0 when there is none.
inline std::size_t wellFormedAt(std::string_view bytes, std::size_t pos) {
  for (std::size_t length = 1; length <= 4 && pos + length <= bytes.size(); ++length)
    if (wellFormedSequence(bytes.substr(pos, length))) return length;
  return 0;
}

inline bool referenceValidUtf8(std::string_view bytes) {
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    const std::size_t length = wellFormedAt(bytes, pos);
    if (length == 0) return false;
    pos += length;
  }
  return true;
}

// Valid characters as they are, each maximal ill-formed subpart as U+FFFD.
inline std::string referenceSanitize(std::string_view bytes) {
  std::string out;
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    const std::size_t length = wellFormedAt(bytes, pos);
    if (length > 0) {
      out.append(bytes.substr(pos, length));
      pos += length;
      continue;
    }
    std::size_t subpart = 1;
    while (subpart < 3 && pos + subpart < bytes.size() &&
           completable(bytes.substr(pos, subpart + 1)))
      ++subpart;
    if (!completable(bytes.substr(pos, 1))) subpart = 1;
    out += "\xEF\xBF\xBD";
    pos += subpart;
  }
  return out;
}

}  // namespace fuzz
