#pragma once
// A batch log as the operator sees and edits it, without a window: the text
// in one buffer that grows in place, the index of its rows, the rows in view,
// the caret and the selection, and every edit the operator can make. The
// window (ui/win32/LogPeer) paints it and turns keys, mouse and clipboard
// into its commands; widths come from a Measure, the window's font there.
//
// Line breaks are "\r\n" throughout, as in the system's edit: rows and caret
// steps rely on it. Positions count UTF-16 units, as the edit's messages do;
// the caret never stands inside a line break or a surrogate pair.
//
// Appends wait until something reads, sets, scrolls, clicks or types: every
// command below brings them in first, and the accessors for painting show
// the text as it was brought in last.
#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "ui/GrowingText.h"

namespace ui {

class LogText {
 public:
  using Pos = std::size_t;

  // How wide text is shown side by side in one row.
  class Measure {
   public:
    virtual ~Measure() = default;
    virtual int width(std::u16string_view s) const = 0;
    // How many of the first characters of s fit into avail.
    virtual std::size_t fit(std::u16string_view s, int avail) const = 0;
    // right[k]: where character k of s ends, measured from the start of s.
    virtual void extents(std::u16string_view s, std::vector<int>& right) const = 0;
    // About the width of a character: how much of a line a row may hold.
    virtual int averageWidth() const = 0;
  };

  enum class Move {
    Left, Right, WordLeft, WordRight, Up, Down, PageUp, PageDown, RowStart, RowEnd, TextStart, TextEnd
  };

  LogText(const Measure& measure, AddressSpace& space, std::size_t reserveBytes = GrowingText::kDefaultReserve);

  // Layout. Width 0 or less: nothing is broken (a box without a size yet).
  void setWidth(int width);
  void setRowsInView(long rows);
  // After the measure changed (another font): every row again.
  void relayout();

  // The whole text, appends included.
  std::u16string text();
  std::u16string selectedText();
  bool empty() const { return text_.empty() && pending_.empty(); }
  void setText(std::u16string_view text);
  // Waits to come in with the next command. True when nothing waited before:
  // the window starts its timer then.
  bool append(std::u16string_view text);
  bool pending() const { return !pending_.empty(); }
  // Brings the appends in. True when rows in view changed: a log whose end
  // was in view follows the new lines; one scrolled back stays.
  bool flush();

  // As brought in last, for painting.
  const char16_t* data() const { return text_.data(); }
  std::size_t size() const { return text_.size(); }
  long rowCount() const { return static_cast<long>(rows_.size()); }
  Pos rowBegin(std::size_t row) const { return rows_[row]; }
  Pos rowEnd(std::size_t row) const;  // before the line break
  std::size_t rowOf(Pos pos) const;
  long top() const { return top_; }
  long rowsInView() const { return rowsInView_; }
  Pos caret() const { return caret_; }
  Pos anchor() const { return anchor_; }
  Pos selStart() const { return std::min(anchor_, caret_); }
  Pos selEnd() const { return std::max(anchor_, caret_); }
  bool hasSelection() const { return anchor_ != caret_; }
  // Where the caret stands in its row, from the row's start.
  int caretX() const;
  // The position in row nearest to x (from the row's start).
  Pos posAt(std::size_t row, int x) const;

  // Scrolling; true when the first row in view changed.
  bool scrollTo(long row);
  void scrollToCaret();
  void scrollToTop();  // caret to the start as well

  // Caret and selection.
  void move(Move move, bool extend);
  void moveTo(Pos pos, bool extend);  // a click, Shift+click, a drag
  // The edit's EM_SETSEL: a negative start only drops the selection, a
  // negative end is the end of the text.
  void select(long long start, long long end);
  void selectAll();
  void selectWordAt(Pos pos);

  // Editing, at the caret or over the selection.
  void type(char32_t ch);  // control characters type nothing
  void newline();
  void backspace();
  void deleteForward();
  void eraseSelection();
  void replaceSelection(std::u16string_view text);
  // Empty text changes nothing; the rest as replaceSelection.
  void paste(std::u16string_view text);
  // The selection's text, taken out.
  std::u16string cut();

  // "\r\n" for every lone "\r", lone "\n" and "\r\n"; no zero characters,
  // which would end the text for its readers.
  static std::u16string normalized(std::u16string_view s);

 private:
  void replace(Pos from, Pos to, std::u16string_view with);
  void rewrapAll();
  void wrapLines(Pos from, Pos to, bool toEnd, std::vector<Pos>& out) const;
  void wrapLine(Pos begin, Pos end, std::vector<Pos>& out) const;
  bool scrollRows(long row);
  void scrollCaretIntoView();
  void setCaret(Pos to, bool extend);
  void toRow(long target, bool extend);
  Pos previous(Pos pos) const;
  Pos next(Pos pos) const;
  Pos wordStart(Pos pos) const;
  Pos wordEnd(Pos pos) const;

  const Measure& measure_;
  GrowingText text_;
  std::u16string pending_;
  // Start of every row as shown (a long line takes several); always one.
  std::vector<Pos> rows_{0};
  long top_ = 0;
  long rowsInView_ = 1;
  int width_;
  Pos caret_ = 0;
  Pos anchor_ = 0;
  int goalX_ = -1;  // where Up and Down aim, kept across short rows
};

}  // namespace ui
