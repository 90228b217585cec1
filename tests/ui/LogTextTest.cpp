// The log's text model, without a window.
#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "ui/LogText.h"

namespace {

using ui::LogText;
using Pos = std::size_t;

bool isHigh(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLow(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// A fixed-pitch font: Latin 6, Chinese 12, a character outside the basic
// plane 12, counted at its second half.
int widthOf(char16_t c) {
  if (isHigh(c)) return 0;
  if (isLow(c) || c >= 0x2E80) return 12;
  return 6;
}

class FixedMeasure : public LogText::Measure {
 public:
  int width(std::u16string_view s) const override {
    return std::accumulate(s.begin(), s.end(), 0, [](int w, char16_t c) { return w + widthOf(c); });
  }
  std::size_t fit(std::u16string_view s, int avail) const override {
    measured += s.size();
    int w = 0;
    for (std::size_t k = 0; k < s.size(); ++k) {
      w += widthOf(s[k]);
      if (w > avail) return k;
    }
    return s.size();
  }
  void extents(std::u16string_view s, std::vector<int>& right) const override {
    right.clear();
    int w = 0;
    for (char16_t c : s) right.push_back(w += widthOf(c));
  }
  int averageWidth() const override { return 6; }
  mutable std::size_t measured = 0;  // characters handed to fit()
};

// --- what random sessions would rarely reach ---

// Found by the random sessions: the edited line's layout ran to the text's
// end and gave the empty last line a second row.
TEST(LogText, AnEditAboveAnEmptyLastLineLeavesItOneRow) {
  FixedMeasure measure;
  LogText text(measure, ui::mappedAddressSpace());
  text.setWidth(300);
  text.setText(u"第1次读卡成功！\r\n");
  text.move(LogText::Move::TextStart, false);
  text.type(U'x');
  EXPECT_EQ(text.rowCount(), 2);
  text.move(LogText::Move::RowEnd, false);
  text.backspace();
  text.newline();
  EXPECT_EQ(text.text(), u"x第1次读卡成功\r\n\r\n");
  EXPECT_EQ(text.rowCount(), 3);
  EXPECT_EQ(text.rowBegin(2), text.size());
}

// Found by the random sessions: a lone second half of a pair (typed as the
// halves come) made the row step back as if breaking inside a pair.
TEST(LogText, ARowEndsAfterItsLastSpaceBeforeALoneHalfOfAPair) {
  FixedMeasure measure;
  LogText text(measure, ui::mappedAddressSpace());
  text.setWidth(24);  // four digits
  text.setText(u"0123456789  a");
  text.move(LogText::Move::TextEnd, false);
  text.move(LogText::Move::WordLeft, false);
  text.type(0xDD1E);
  ASSERT_EQ(text.rowCount(), 4);
  EXPECT_EQ(text.rowBegin(3), 12u);  // "89  " fills the row before it
}

}  // namespace
