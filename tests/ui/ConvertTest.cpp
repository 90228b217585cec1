#include <gtest/gtest.h>

#include "ui/Convert.h"

namespace {

TEST(StrToInt, AcceptsSignedDecimalsThatFit32Bits) {
  EXPECT_EQ(ui::strToInt("0"), 0);
  EXPECT_EQ(ui::strToInt("250"), 250);
  EXPECT_EQ(ui::strToInt("-17"), -17);
  EXPECT_EQ(ui::strToInt("+5"), 5);
  EXPECT_EQ(ui::strToInt("007"), 7);
  EXPECT_EQ(ui::strToInt("2147483647"), 2147483647);
  EXPECT_EQ(ui::strToInt("-2147483648"), INT32_MIN);
  // Blanks around the number are what an operator leaves when retyping.
  EXPECT_EQ(ui::strToInt("  12 "), 12);
  EXPECT_EQ(ui::strToInt("\t-3"), -3);
}

TEST(StrToInt, RefusesEverythingElseWithTheFrameworkText) {
  for (const char* bad : {"", " ", "1.5", "abc", "12abc", "0x10", "2147483648", "-2147483649",
                          "99999999999999999999", "+", "-", "- 5", "1 2", "５"}) {
    try {
      ui::strToInt(bad);
      ADD_FAILURE() << "accepted '" << bad << "'";
    } catch (const ui::ConvertError& e) {
      EXPECT_EQ(std::string(e.what()), std::string("'") + bad + "' is not a valid integer value");
    }
  }
}

}  // namespace
