#include "ui/LogText.h"

#include <climits>

namespace ui {

namespace {

constexpr int kUnbounded = INT_MAX / 2;

bool isHigh(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLow(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }
bool isSpace(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

}  // namespace

LogText::LogText(const Measure& measure, AddressSpace& space, std::size_t reserveBytes)
    : measure_(measure), text_(space, reserveBytes), width_(kUnbounded) {}

std::u16string LogText::normalized(std::u16string_view s) {
  std::u16string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    const char16_t c = s[i];
    if (c == u'\r') {
      out += u"\r\n";
      if (i + 1 < s.size() && s[i + 1] == u'\n') ++i;
    } else if (c == u'\n') {
      out += u"\r\n";
    } else if (c != u'\0') {
      out += c;
    }
  }
  return out;
}

// --- layout ---

void LogText::setWidth(int width) {
  flush();
  width_ = width > 0 ? width : kUnbounded;
  rewrapAll();
}

void LogText::setRowsInView(long rows) { rowsInView_ = std::max(1L, rows); }

void LogText::relayout() {
  flush();
  rewrapAll();
}

// --- text ---

std::u16string LogText::text() {
  flush();
  return text_.str();
}

std::u16string LogText::selectedText() {
  flush();
  return std::u16string(text_.view(selStart(), selEnd() - selStart()));
}

void LogText::setText(std::u16string_view text) {
  pending_.clear();
  text_.assign(normalized(text));
  caret_ = anchor_ = 0;
  top_ = 0;
  rewrapAll();
}

bool LogText::append(std::u16string_view text) {
  if (text.empty()) return false;
  const bool first = pending_.empty();
  pending_ += normalized(text);
  return first;
}

// Only the last line of the old text and the new text are laid out: the cost
// of an append does not grow with the log.
bool LogText::flush() {
  if (pending_.empty()) return false;
  const long before = rowCount();
  // A log whose end was in view follows the new lines; one scrolled back
  // for reading stays where the operator put it.
  const bool follow = top_ + rowsInView_ >= before;
  const bool caretAtEnd = caret_ == text_.size() && anchor_ == caret_;
  const Pos lastBreak = text_.rfind(u'\n');
  const Pos lastLine = lastBreak == GrowingText::npos ? 0 : lastBreak + 1;
  rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(rowOf(lastLine)), rows_.end());
  text_ += pending_;
  pending_.clear();
  wrapLines(lastLine, text_.size(), true, rows_);
  if (caretAtEnd) caret_ = anchor_ = text_.size();
  if (follow) top_ = std::max(0L, rowCount() - rowsInView_);
  return follow || before - 1 < top_ + rowsInView_;
}

// Replaces text_[from, to) and lays out again only the lines it touched.
void LogText::replace(Pos from, Pos to, std::u16string_view with) {
  flush();
  const Pos lineStart = from == 0 ? 0 : [&] {
    const Pos nl = text_.rfind(u'\n', from - 1);
    return nl == GrowingText::npos ? 0 : nl + 1;
  }();
  const Pos oldBreak = text_.find(u'\n', to);
  const bool last = oldBreak == GrowingText::npos;
  const std::size_t r0 = rowOf(lineStart);
  const std::size_t r1 = last ? rows_.size() : rowOf(oldBreak + 1);
  const Pos oldEnd = last ? text_.size() : oldBreak + 1;
  text_.replace(from, to - from, with);
  // Unsigned arithmetic wraps round and back: the shifted starts come out right.
  const Pos shift = with.size() - (to - from);
  std::vector<Pos> fresh;
  wrapLines(lineStart, last ? text_.size() : oldEnd + shift, last, fresh);
  for (std::size_t i = r1; i < rows_.size(); ++i) rows_[i] += shift;
  rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(r0), rows_.begin() + static_cast<std::ptrdiff_t>(r1));
  rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(r0), fresh.begin(), fresh.end());
  if (rows_.empty()) rows_.push_back(0);
  caret_ = anchor_ = from + with.size();
  goalX_ = -1;
  top_ = std::clamp(top_, 0L, std::max(0L, rowCount() - 1));
  scrollCaretIntoView();
}

void LogText::rewrapAll() {
  rows_.clear();
  wrapLines(0, text_.size(), true, rows_);
  if (rows_.empty()) rows_.push_back(0);
  top_ = std::clamp(top_, 0L, std::max(0L, rowCount() - 1));
}

// Rows of the lines that start in [from, to); from starts a line, to starts
// one or is the end. Text that ends with a line break has an empty last row,
// laid out with the rows before it only when they run to the end: else it
// keeps its own.
void LogText::wrapLines(Pos from, Pos to, bool toEnd, std::vector<Pos>& out) const {
  Pos a = from;
  for (;;) {
    if (a >= to) {
      if (toEnd && (to == 0 || text_[to - 1] == u'\n')) out.push_back(to);
      return;
    }
    const Pos nl = text_.find(u'\n', a);
    if (nl == GrowingText::npos || nl >= to) {
      wrapLine(a, to, out);
      return;
    }
    wrapLine(a, nl > a && text_[nl - 1] == u'\r' ? nl - 1 : nl, out);
    a = nl + 1;
  }
}

// A line wider than the box goes on in the next row, broken after its last
// space that fits, as the edit does, or inside a word that fills a row.
void LogText::wrapLine(Pos begin, Pos end, std::vector<Pos>& out) const {
  out.push_back(begin);
  const int avail = width_;
  Pos pos = begin;
  // Each row measures about twice what a row holds, not the rest of the
  // line: a pasted line of megabytes is laid out in time proportional to it.
  const long long guess = 2LL * avail / std::max(1, measure_.averageWidth()) + 16;
  while (end - pos > 1) {
    Pos n = static_cast<Pos>(std::min<long long>(static_cast<long long>(end - pos), std::min(guess, 1LL << 20)));
    Pos fit = 0;
    for (;;) {
      fit = measure_.fit(text_.view(pos, n), avail);
      if (fit < n || n == end - pos) break;
      n = std::min<Pos>(end - pos, 2 * n);  // all fit: the row holds more
    }
    if (fit >= n && n == end - pos) return;
    Pos brk = pos + std::max<Pos>(fit, 1);
    if (brk < end && isLow(text_[brk]) && isHigh(text_[brk - 1]) && brk - 1 > pos) --brk;
    for (Pos i = brk; i > pos + 1; --i) {
      if (text_[i - 1] == u' ') {
        brk = i;
        break;
      }
    }
    out.push_back(brk);
    pos = brk;
  }
}

std::size_t LogText::rowOf(Pos pos) const {
  const auto at = std::upper_bound(rows_.begin(), rows_.end(), pos);
  return at == rows_.begin() ? 0 : static_cast<std::size_t>(at - rows_.begin()) - 1;
}

LogText::Pos LogText::rowEnd(std::size_t row) const {
  const Pos begin = rows_[row];
  Pos end = row + 1 < rows_.size() ? rows_[row + 1] : text_.size();
  if (end > begin && text_[end - 1] == u'\n') --end;
  if (end > begin && text_[end - 1] == u'\r') --end;
  return end;
}

int LogText::caretX() const {
  const Pos b = rowBegin(rowOf(caret_));
  return caret_ > b ? measure_.width(text_.view(b, caret_ - b)) : 0;
}

LogText::Pos LogText::posAt(std::size_t row, int x) const {
  const Pos b = rowBegin(row);
  const Pos e = rowEnd(row);
  if (x <= 0 || e == b) return b;
  std::vector<int> right;
  measure_.extents(text_.view(b, e - b), right);
  int left = 0;
  for (std::size_t k = 0; k < right.size(); ++k) {
    // Nearer to the left edge of the character: before it.
    if (x < (left + right[k]) / 2) {
      Pos p = b + k;
      if (p > b && isLow(text_[p])) --p;
      return p;
    }
    left = right[k];
  }
  return e;
}

// --- scrolling ---

bool LogText::scrollTo(long row) {
  flush();
  return scrollRows(row);
}

bool LogText::scrollRows(long row) {
  row = std::clamp(row, 0L, std::max(0L, rowCount() - rowsInView_));
  if (row == top_) return false;
  top_ = row;
  return true;
}

void LogText::scrollToCaret() {
  flush();
  scrollCaretIntoView();
}

void LogText::scrollCaretIntoView() {
  const long row = static_cast<long>(rowOf(caret_));
  if (row < top_) scrollRows(row);
  else if (row >= top_ + rowsInView_) scrollRows(row - rowsInView_ + 1);
}

void LogText::scrollToTop() {
  flush();
  caret_ = anchor_ = 0;
  scrollRows(0);
}

// --- caret and selection ---

void LogText::setCaret(Pos to, bool extend) {
  caret_ = std::min(to, text_.size());
  if (!extend) anchor_ = caret_;
  goalX_ = -1;
  scrollCaretIntoView();
}

void LogText::moveTo(Pos pos, bool extend) {
  flush();
  setCaret(pos, extend);
}

// Up and Down keep aiming at the column they started from.
void LogText::toRow(long target, bool extend) {
  const int x = goalX_ >= 0 ? goalX_ : caretX();
  target = std::clamp(target, 0L, rowCount() - 1);
  if (target < top_) scrollRows(target);
  else if (target >= top_ + rowsInView_) scrollRows(target - rowsInView_ + 1);
  setCaret(posAt(static_cast<std::size_t>(target), x), extend);
  goalX_ = x;
}

void LogText::move(Move move, bool extend) {
  flush();
  const long row = static_cast<long>(rowOf(caret_));
  switch (move) {
    case Move::Left:
    case Move::WordLeft:
      if (!extend && hasSelection()) setCaret(selStart(), false);
      else setCaret(move == Move::WordLeft ? wordStart(caret_) : previous(caret_), extend);
      break;
    case Move::Right:
    case Move::WordRight:
      if (!extend && hasSelection()) setCaret(selEnd(), false);
      else setCaret(move == Move::WordRight ? wordEnd(caret_) : next(caret_), extend);
      break;
    case Move::Up: toRow(row - 1, extend); break;
    case Move::Down: toRow(row + 1, extend); break;
    case Move::PageUp:
      scrollRows(top_ - rowsInView_);
      toRow(row - rowsInView_, extend);
      break;
    case Move::PageDown:
      scrollRows(top_ + rowsInView_);
      toRow(row + rowsInView_, extend);
      break;
    case Move::RowStart: setCaret(rowBegin(static_cast<std::size_t>(row)), extend); break;
    case Move::RowEnd: setCaret(rowEnd(static_cast<std::size_t>(row)), extend); break;
    case Move::TextStart: setCaret(0, extend); break;
    case Move::TextEnd: setCaret(text_.size(), extend); break;
  }
}

void LogText::select(long long start, long long end) {
  flush();
  auto at = [&](long long p) {
    Pos q = p < 0 ? text_.size() : std::min<Pos>(static_cast<Pos>(p), text_.size());
    // Never between the two characters of a line break or a pair.
    if (q > 0 && q < text_.size() &&
        ((text_[q] == u'\n' && text_[q - 1] == u'\r') || (isLow(text_[q]) && isHigh(text_[q - 1]))))
      --q;
    return q;
  };
  if (start < 0) {
    anchor_ = caret_;
  } else {
    anchor_ = at(start);
    caret_ = at(end);
  }
  goalX_ = -1;
}

void LogText::selectAll() {
  flush();
  anchor_ = 0;
  setCaret(text_.size(), true);
}

void LogText::selectWordAt(Pos pos) {
  flush();
  pos = std::min(pos, text_.size());
  Pos b = pos, e = pos;
  while (b > 0 && !isSpace(text_[b - 1])) --b;
  while (e < text_.size() && !isSpace(text_[e])) ++e;
  anchor_ = b;
  caret_ = e;
  goalX_ = -1;
  scrollCaretIntoView();
}

LogText::Pos LogText::previous(Pos pos) const {
  if (pos == 0) return 0;
  Pos p = pos - 1;
  if (p > 0 && text_[p] == u'\n' && text_[p - 1] == u'\r') --p;
  else if (p > 0 && isLow(text_[p]) && isHigh(text_[p - 1])) --p;
  return p;
}

LogText::Pos LogText::next(Pos pos) const {
  if (pos >= text_.size()) return text_.size();
  if (pos + 1 < text_.size() &&
      ((text_[pos] == u'\r' && text_[pos + 1] == u'\n') || (isHigh(text_[pos]) && isLow(text_[pos + 1]))))
    return pos + 2;
  return pos + 1;
}

LogText::Pos LogText::wordStart(Pos pos) const {
  while (pos > 0 && isSpace(text_[pos - 1])) pos = previous(pos);
  while (pos > 0 && !isSpace(text_[pos - 1])) --pos;
  return pos;
}

LogText::Pos LogText::wordEnd(Pos pos) const {
  while (pos < text_.size() && !isSpace(text_[pos])) ++pos;
  while (pos < text_.size() && isSpace(text_[pos])) pos = next(pos);
  return pos;
}

// --- editing ---

void LogText::type(char32_t ch) {
  flush();
  if (ch < 0x20 || ch == 0x7F) return;
  std::u16string unit;
  if (ch > 0xFFFF) {
    ch -= 0x10000;
    unit += static_cast<char16_t>(0xD800 + (ch >> 10));
    unit += static_cast<char16_t>(0xDC00 + (ch & 0x3FF));
  } else {
    // Halves of a pair typed one by one pass as they are, as in the edit.
    unit += static_cast<char16_t>(ch);
  }
  replaceSelection(unit);
}

void LogText::newline() { replaceSelection(u"\r\n"); }

void LogText::backspace() {
  flush();
  if (hasSelection()) eraseSelection();
  else if (caret_ > 0) replace(previous(caret_), caret_, u"");
}

void LogText::deleteForward() {
  flush();
  if (hasSelection()) eraseSelection();
  else if (caret_ < text_.size()) replace(caret_, next(caret_), u"");
}

void LogText::eraseSelection() {
  flush();
  if (hasSelection()) replace(selStart(), selEnd(), u"");
}

void LogText::replaceSelection(std::u16string_view text) {
  flush();
  replace(selStart(), selEnd(), normalized(text));
}

void LogText::paste(std::u16string_view text) {
  flush();
  const std::u16string t = normalized(text);
  if (!t.empty()) replaceSelection(t);
}

std::u16string LogText::cut() {
  std::u16string taken = selectedText();
  eraseSelection();
  return taken;
}

}  // namespace ui
