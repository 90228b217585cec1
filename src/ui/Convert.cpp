#include "ui/Convert.h"

#include <charconv>

namespace ui {

namespace {

// "'%s' is not a valid integer value". what() is read up to its first zero: a
// zero byte in the text would cut the message short, so it is shown as
// U+FFFD. Built by appending (the operator+ form trips a false -Wrestrict in
// the 32-bit MinGW build).
std::string invalidIntegerMessage(const std::string& text) {
  std::string message = "'";
  message.reserve(text.size() + 40);
  for (const char c : text) {
    if (c == '\0') {
      message += "\xEF\xBF\xBD";
    } else {
      message += c;
    }
  }
  message += "' is not a valid integer value";
  return message;
}

}  // namespace

ConvertError::ConvertError(const std::string& text)
    : std::runtime_error(invalidIntegerMessage(text)) {}

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
