// A text with a zero byte: the refusal must still carry the whole text, since
// what() is read only up to its first zero.
#include <gtest/gtest.h>

#include <string>

#include "ui/Convert.h"

namespace {

TEST(StrToIntZeroByte, TheMessageShowsTheWholeTextWithTheZeroAsReplacementCharacter) {
  const struct {
    std::string text;
    const char* message;
  } cases[] = {
      {std::string("\0", 1), "'\xEF\xBF\xBD' is not a valid integer value"},
      {std::string("\0\x04" "10", 4), "'\xEF\xBF\xBD\x04" "10' is not a valid integer value"},
      {std::string("12\0" "34", 5), "'12\xEF\xBF\xBD" "34' is not a valid integer value"},
      {std::string("7\0", 2), "'7\xEF\xBF\xBD' is not a valid integer value"},
  };
  for (const auto& c : cases) {
    try {
      ui::strToInt(c.text);
      ADD_FAILURE() << "accepted a text with a zero byte";
    } catch (const ui::ConvertError& e) {
      EXPECT_STREQ(e.what(), c.message);
    }
  }
}

}  // namespace
