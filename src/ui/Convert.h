#pragma once
// The framework's decimal string-to-integer conversion.
#include <cstdint>
#include <stdexcept>
#include <string>

namespace ui {

// "'%s' is not a valid integer value", with the text in place of %s.
class ConvertError : public std::runtime_error {
 public:
  explicit ConvertError(const std::string& text);
};

// An optional sign and decimal digits that fit 32 bits; blanks (spaces and
// tabs) around them are allowed. Anything else throws ConvertError.
std::int32_t strToInt(const std::string& text);

}  // namespace ui
