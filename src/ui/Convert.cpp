#include "ui/Convert.h"

#include <charconv>

namespace ui {

ConvertError::ConvertError(const std::string& text)
    : std::runtime_error("'" + text + "' is not a valid integer value") {}

std::int32_t strToInt(const std::string& text) {
  std::size_t begin = text.find_first_not_of(" \t");
  std::size_t end = text.find_last_not_of(" \t");
  if (begin == std::string::npos) throw ConvertError(text);
  const char* first = text.data() + begin;
  const char* last = text.data() + end + 1;
  bool negative = false;
  if (*first == '+' || *first == '-') {
    negative = *first == '-';
    ++first;
  }
  // Digits only: no blank between sign and digits, no base prefix.
  if (first == last || *first < '0' || *first > '9') throw ConvertError(text);
  std::int64_t value = 0;
  for (const char* p = first; p != last; ++p) {
    if (*p < '0' || *p > '9') throw ConvertError(text);
    value = value * 10 + (*p - '0');
    if (value > 2147483648LL) throw ConvertError(text);
  }
  if (negative) value = -value;
  if (value > 2147483647LL) throw ConvertError(text);
  return static_cast<std::int32_t>(value);
}

}  // namespace ui
