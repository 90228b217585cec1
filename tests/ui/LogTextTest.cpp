// The log's text model, without a window: random sessions of appends, edits,
// caret moves and selections against a plain string that does the same, and
// the rows checked against laying out the whole text anew after every step.
#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/gtest.h>
#include <rapidcheck/state.h>

#include <algorithm>
#include <numeric>
#include <ostream>
#include <sstream>
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

// The rows of t laid out from scratch by the rule: a line goes on in the next
// row after the last space that fits, else after as much as fits (at least
// one character, a surrogate pair kept whole). Width 0: nothing is broken.
std::vector<Pos> layOut(const std::u16string& t, int width) {
  std::vector<Pos> rows;
  Pos begin = 0;
  for (;;) {
    const Pos nl = t.find(u'\n', begin);
    const Pos end = nl == std::u16string::npos ? t.size() : nl - 1;  // before "\r\n"
    rows.push_back(begin);
    for (Pos pos = begin; width > 0 && end - pos > 1;) {
      Pos fits = 0;
      for (int w = 0; pos + fits < end && (w += widthOf(t[pos + fits])) <= width;) ++fits;
      if (pos + fits == end) break;
      Pos brk = pos + std::max<Pos>(fits, 1);
      if (isLow(t[brk]) && isHigh(t[brk - 1]) && brk - 1 > pos) --brk;
      for (Pos i = brk; i > pos + 1; --i) {
        if (t[i - 1] == u' ') {
          brk = i;
          break;
        }
      }
      rows.push_back(brk);
      pos = brk;
    }
    if (nl == std::u16string::npos) return rows;
    begin = nl + 1;
  }
}

std::u16string normalized(std::u16string_view s) {
  std::u16string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == u'\r' || s[i] == u'\n') {
      out += u"\r\n";
      if (s[i] == u'\r' && i + 1 < s.size() && s[i + 1] == u'\n') ++i;
    } else if (s[i] != u'\0') {
      out += s[i];
    }
  }
  return out;
}

std::string hex(unsigned v) {
  std::ostringstream s;
  s << std::hex << std::uppercase << v;
  return s.str();
}

// For counterexamples: UTF-8 with the line breaks and odd units spelled out.
std::string show(std::u16string_view s) {
  std::string out = "\"";
  for (char16_t c : s) {
    if (c == u'\r') out += "\\r";
    else if (c == u'\n') out += "\\n";
    else if (c < 0x20 || isHigh(c) || isLow(c)) out += "\\x{" + hex(c) + "}";
    else if (c < 0x80) out += static_cast<char>(c);
    else if (c < 0x800) out += {static_cast<char>(0xC0 | c >> 6), static_cast<char>(0x80 | (c & 0x3F))};
    else
      out += {static_cast<char>(0xE0 | c >> 12), static_cast<char>(0x80 | (c >> 6 & 0x3F)),
              static_cast<char>(0x80 | (c & 0x3F))};
  }
  return out + "\"";
}

// The log as a plain string: what is shown, what waits, caret and anchor,
// the first row in view, and the text handed out last by a copy or a cut.
struct Model {
  std::u16string shown, waiting;
  Pos caret = 0, anchor = 0;
  int goalX = -1;
  long top = 0, rowsInView = 1;
  int width = 0;
  std::vector<Pos> rows{0};
  std::u16string clipboard;

  void relayout() {
    rows = layOut(shown, width);
    top = std::clamp(top, 0L, static_cast<long>(rows.size()) - 1);
  }
  long rowCount() const { return static_cast<long>(rows.size()); }
  Pos selStart() const { return std::min(caret, anchor); }
  Pos selEnd() const { return std::max(caret, anchor); }
  std::u16string selection() const { return shown.substr(selStart(), selEnd() - selStart()); }
  std::size_t rowOf(Pos p) const { return std::upper_bound(rows.begin(), rows.end(), p) - rows.begin() - 1; }
  Pos rowEnd(std::size_t r) const {
    Pos e = r + 1 < rows.size() ? rows[r + 1] : shown.size();
    if (e > rows[r] && shown[e - 1] == u'\n') e -= 2;
    return e;
  }
  int widthOf(Pos from, Pos to) const {
    return FixedMeasure().width(std::u16string_view(shown).substr(from, to - from));
  }
  Pos posAt(std::size_t r, int x) const {
    const Pos b = rows[r], e = rowEnd(r);
    if (x <= 0) return b;
    // Before the first character whose middle lies right of x.
    int left = 0;
    for (Pos p = b; p < e; left += ::widthOf(shown[p++])) {
      if (x < (2 * left + ::widthOf(shown[p])) / 2) return p > b && isLow(shown[p]) ? p - 1 : p;
    }
    return e;
  }
  bool pair(Pos p) const { return p + 1 < shown.size() && isHigh(shown[p]) && isLow(shown[p + 1]); }
  bool crlf(Pos p) const { return p + 1 < shown.size() && shown[p] == u'\r' && shown[p + 1] == u'\n'; }
  Pos previous(Pos p) const { return p == 0 ? 0 : p >= 2 && (crlf(p - 2) || pair(p - 2)) ? p - 2 : p - 1; }
  Pos next(Pos p) const { return p >= shown.size() ? p : crlf(p) || pair(p) ? p + 2 : p + 1; }
  static bool space(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }

  // Appends come in before any command; true when rows in view changed.
  bool bringIn() {
    if (waiting.empty()) return false;
    const long before = rowCount();
    const bool follow = top + rowsInView >= before;
    const bool atEnd = caret == shown.size() && anchor == caret;
    shown += waiting;
    waiting.clear();
    relayout();
    if (atEnd) caret = anchor = shown.size();
    if (follow) top = std::max(0L, rowCount() - rowsInView);
    return follow || before - 1 < top + rowsInView;
  }
  bool scroll(long row) {
    row = std::clamp(row, 0L, std::max(0L, rowCount() - rowsInView));
    const bool moved = row != top;
    top = row;
    return moved;
  }
  void caretIntoView() {
    const long row = static_cast<long>(rowOf(caret));
    if (row < top) scroll(row);
    else if (row >= top + rowsInView) scroll(row - rowsInView + 1);
  }
  void setCaret(Pos p, bool extend) {
    caret = std::min(p, shown.size());
    if (!extend) anchor = caret;
    goalX = -1;
    caretIntoView();
  }
  void toRow(long target, bool extend) {
    const int x = goalX >= 0 ? goalX : widthOf(rows[rowOf(caret)], caret);
    target = std::clamp(target, 0L, rowCount() - 1);
    if (target < top) scroll(target);
    else if (target >= top + rowsInView) scroll(target - rowsInView + 1);
    setCaret(posAt(static_cast<std::size_t>(target), x), extend);
    goalX = x;
  }
  void replace(Pos from, Pos to, const std::u16string& with) {
    shown.replace(from, to - from, with);
    relayout();
    caret = anchor = from + with.size();
    goalX = -1;
    caretIntoView();
  }
  void replaceSelection(const std::u16string& with) { replace(selStart(), selEnd(), normalized(with)); }
};

struct Sut {
  Sut(int width, long rows) : text(measure, ui::mappedAddressSpace(), 4096) {
    text.setRowsInView(rows);
    text.setWidth(width);
  }
  FixedMeasure measure;
  LogText text;
};

template <typename T>
void same(const T& got, const T& want, const char* what) {
  if (!(got == want)) {
    std::ostringstream s;
    s << what << ": got " << ::testing::PrintToString(got) << ", want " << ::testing::PrintToString(want);
    RC_FAIL(s.str());
  }
}
void same(const std::u16string& got, const std::u16string& want, const char* what) {
  if (got != want) RC_FAIL(std::string(what) + ": got " + show(got) + ", want " + show(want));
}

// After every command: the text, the caret and selection, the rows and the
// first row in view are the model's; the rows keep their rules.
void check(const Model& m, const LogText& t) {
  same(std::u16string(t.data(), t.size()), m.shown, "shown text");
  same(t.pending(), !m.waiting.empty(), "appends waiting");
  same(t.empty(), m.shown.empty() && m.waiting.empty(), "empty");
  same(t.caret(), m.caret, "caret");
  same(t.anchor(), m.anchor, "anchor");
  std::vector<Pos> rows;
  for (long r = 0; r < t.rowCount(); ++r) rows.push_back(t.rowBegin(static_cast<std::size_t>(r)));
  same(rows, m.rows, "rows");
  same(t.top(), m.top, "first row in view");
  for (std::size_t r = 0; r < rows.size(); ++r) {
    const Pos b = rows[r], e = t.rowEnd(r);
    RC_ASSERT(b <= e);
    if (r + 1 < rows.size()) {
      RC_ASSERT(rows[r + 1] > b);
      // A row ends at a line break or inside a line, never inside a pair.
      RC_ASSERT(e == rows[r + 1] || (e + 2 == rows[r + 1] && m.shown.substr(e, 2) == u"\r\n"));
      RC_ASSERT(!m.pair(rows[r + 1] - 1));
    }
    if (m.width > 0 && e - b > 2) RC_ASSERT(m.widthOf(b, e) <= m.width);
    // Broken inside a line: right after the last space that fits, if one does.
    if (m.width > 0 && r + 1 < rows.size() && e == rows[r + 1]) {
      const Pos lineEnd = std::min(m.shown.find(u"\r\n", e), m.shown.size());
      Pos after = 0;
      for (Pos q = b + 1, w = ::widthOf(m.shown[b]); q < lineEnd && (w += ::widthOf(m.shown[q])) <= Pos(m.width); ++q)
        if (m.shown[q] == u' ') after = q + 1;
      if (after) RC_ASSERT(e == after);
    }
  }
}

using Cmd = rc::state::Command<Model, Sut>;

rc::Gen<std::u16string> genText() {
  static const std::vector<std::u16string> pieces = {
      u"a", u"b", u"card", u"0123456789", u" ", u"  ", u"中", u"读卡成功", u"\r\n", u"\n", u"\r", u"\U0001D11E",
      std::u16string(1, u'\0'), u"\t"};
  return rc::gen::map(rc::gen::container<std::vector<std::u16string>>(rc::gen::elementOf(pieces)),
                      [](const std::vector<std::u16string>& v) {
                        return std::accumulate(v.begin(), v.end(), std::u16string());
                      });
}

struct Append : Cmd {
  std::u16string s = *genText();
  void apply(Model& m) const override { m.waiting += normalized(s); }
  void run(const Model& m, Sut& sut) const override {
    same(sut.text.append(s), !s.empty() && m.waiting.empty(), "first waiting append");
    check(nextState(m), sut.text);
  }
  void show(std::ostream& os) const override { os << "Append(" << ::show(s) << ")"; }
};

// The window's timer.
struct Flush : Cmd {
  void apply(Model& m) const override { m.bringIn(); }
  void run(const Model& m, Sut& sut) const override {
    Model next = m;
    same(sut.text.flush(), next.bringIn(), "rows in view changed");
    check(next, sut.text);
  }
  void show(std::ostream& os) const override { os << "Flush"; }
};

struct Read : Cmd {
  void apply(Model& m) const override { m.bringIn(); }
  void run(const Model& m, Sut& sut) const override {
    same(sut.text.text(), m.shown + m.waiting, "text");
    check(nextState(m), sut.text);
  }
  void show(std::ostream& os) const override { os << "Read"; }
};

struct SetText : Cmd {
  std::u16string s = *rc::gen::weightedOneOf<std::u16string>({{1, rc::gen::just(std::u16string())}, {3, genText()}});
  void apply(Model& m) const override {
    m.waiting.clear();
    m.shown = normalized(s);
    m.caret = m.anchor = 0;
    m.top = 0;
    m.relayout();
  }
  void run(const Model& m, Sut& sut) const override {
    sut.text.setText(s);
    check(nextState(m), sut.text);
  }
  void show(std::ostream& os) const override { os << "SetText(" << ::show(s) << ")"; }
};

struct MoveCaret : Cmd {
  LogText::Move move = *rc::gen::element(LogText::Move::Left, LogText::Move::Right, LogText::Move::WordLeft,
                                         LogText::Move::WordRight, LogText::Move::Up, LogText::Move::Down,
                                         LogText::Move::PageUp, LogText::Move::PageDown, LogText::Move::RowStart,
                                         LogText::Move::RowEnd, LogText::Move::TextStart, LogText::Move::TextEnd);
  bool shift = *rc::gen::arbitrary<bool>();
  void apply(Model& m) const override {
    using M = LogText::Move;
    m.bringIn();
    const long row = static_cast<long>(m.rowOf(m.caret));
    const bool collapse = !shift && m.caret != m.anchor;
    Pos p = m.caret;
    switch (move) {
      case M::Left:
        m.setCaret(collapse ? m.selStart() : m.previous(m.caret), shift);
        break;
      case M::Right:
        m.setCaret(collapse ? m.selEnd() : m.next(m.caret), shift);
        break;
      case M::WordLeft:
        while (p > 0 && Model::space(m.shown[p - 1])) p = m.previous(p);
        while (p > 0 && !Model::space(m.shown[p - 1])) --p;
        m.setCaret(collapse ? m.selStart() : p, shift);
        break;
      case M::WordRight:
        while (p < m.shown.size() && !Model::space(m.shown[p])) ++p;
        while (p < m.shown.size() && Model::space(m.shown[p])) p = m.next(p);
        m.setCaret(collapse ? m.selEnd() : p, shift);
        break;
      case M::Up: m.toRow(row - 1, shift); break;
      case M::Down: m.toRow(row + 1, shift); break;
      case M::PageUp:
        m.scroll(m.top - m.rowsInView);
        m.toRow(row - m.rowsInView, shift);
        break;
      case M::PageDown:
        m.scroll(m.top + m.rowsInView);
        m.toRow(row + m.rowsInView, shift);
        break;
      case M::RowStart: m.setCaret(m.rows[static_cast<std::size_t>(row)], shift); break;
      case M::RowEnd: m.setCaret(m.rowEnd(static_cast<std::size_t>(row)), shift); break;
      case M::TextStart: m.setCaret(0, shift); break;
      case M::TextEnd: m.setCaret(m.shown.size(), shift); break;
    }
  }
  void run(const Model& m, Sut& sut) const override {
    sut.text.move(move, shift);
    check(nextState(m), sut.text);
  }
  void show(std::ostream& os) const override {
    static const char* const names[] = {"Left",     "Right",    "WordLeft", "WordRight", "Up",        "Down",
                                        "PageUp",   "PageDown", "RowStart", "RowEnd",    "TextStart", "TextEnd"};
    os << "Move(" << names[static_cast<int>(move)] << (shift ? ", shift" : "") << ")";
  }
};

// A click, Shift+click or double click on a row in view of the shown text.
struct Click : Cmd {
  int rowShare = *rc::gen::inRange(0, 1000);
  int x = *rc::gen::inRange(-6, 240);
  int kind = *rc::gen::inRange(0, 3);  // plain, with Shift, double
  std::size_t row(const Model& m) const { return static_cast<std::size_t>(rowShare * m.rows.size() / 1000); }
  void apply(Model& m) const override {
    m.bringIn();
    const Pos at = m.posAt(row(m), x);
    if (kind < 2) {
      m.setCaret(at, kind == 1);
      return;
    }
    Pos b = at, e = at;
    while (b > 0 && !Model::space(m.shown[b - 1])) --b;
    while (e < m.shown.size() && !Model::space(m.shown[e])) ++e;
    m.anchor = b;
    m.caret = e;
    m.goalX = -1;
    m.caretIntoView();
  }
  void run(const Model& m, Sut& sut) const override {
    Model in = m;
    in.bringIn();
    sut.text.flush();
    const Pos at = sut.text.posAt(row(in), x);
    same(at, in.posAt(row(in), x), "position of the click");
    if (kind < 2) sut.text.moveTo(at, kind == 1);
    else sut.text.selectWordAt(at);
    check(nextState(m), sut.text);
  }
  void show(std::ostream& os) const override { os << "Click(" << rowShare << "/1000, " << x << ", " << kind << ")"; }
};

// The edit's EM_SETSEL.
struct Select : Cmd {
  long long start, end;
  explicit Select(const Model& m) {
    const auto n = static_cast<long long>(m.shown.size() + m.waiting.size());
    start = *rc::gen::inRange(-1LL, n + 3);
    end = *rc::gen::inRange(-1LL, n + 3);
  }
  void apply(Model& m) const override {
    m.bringIn();
    auto at = [&](long long p) {
      Pos q = p < 0 ? m.shown.size() : std::min<Pos>(static_cast<Pos>(p), m.shown.size());
      return q > 0 && (m.crlf(q - 1) || m.pair(q - 1)) ? q - 1 : q;
    };
    if (start < 0) {
      m.anchor = m.caret;
    } else {
      m.anchor = at(start);
      m.caret = at(end);
    }
    m.goalX = -1;
  }
  void run(const Model& m, Sut& sut) const override {
    sut.text.select(start, end);
    check(nextState(m), sut.text);
  }
  void show(std::ostream& os) const override { os << "Select(" << start << ", " << end << ")"; }
};

struct SelectAll : Cmd {
  void apply(Model& m) const override {
    m.bringIn();
    m.anchor = 0;
    m.setCaret(m.shown.size(), true);
  }
  void run(const Model& m, Sut& sut) const override {
    sut.text.selectAll();
    check(nextState(m), sut.text);
  }
  void show(std::ostream& os) const override { os << "SelectAll"; }
};

// A key that reached the log past the page's key handler.
struct TypeKey : Cmd {
  char32_t key = *rc::gen::element<char32_t>(U'a', U'z', U' ', U'1', U'中', U'志', U'\U0001D11E',
                                             static_cast<char32_t>(0xD834), static_cast<char32_t>(0xDD1E), U'\b',
                                             U'\r', U'\x7f', U'\x1b', U'\t', U'.');
  void apply(Model& m) const override {
    m.bringIn();
    if (key == U'\b') {
      if (m.caret != m.anchor) m.replaceSelection(u"");
      else if (m.caret > 0) m.replace(m.previous(m.caret), m.caret, u"");
    } else if (key == U'\r') {
      m.replaceSelection(u"\r\n");
    } else if (key > 0xFFFF) {
      m.replaceSelection({static_cast<char16_t>(0xD800 + ((key - 0x10000) >> 10)),
                          static_cast<char16_t>(0xDC00 + ((key - 0x10000) & 0x3FF))});
    } else if (key >= 0x20 && key != 0x7F) {
      m.replaceSelection(std::u16string(1, static_cast<char16_t>(key)));
    }
  }
  void run(const Model& m, Sut& sut) const override {
    if (key == U'\b') sut.text.backspace();
    else if (key == U'\r') sut.text.newline();
    else sut.text.type(key);
    check(nextState(m), sut.text);
  }
  void show(std::ostream& os) const override { os << "Type(U+" << hex(key) << ")"; }
};

struct DeleteKey : Cmd {
  void apply(Model& m) const override {
    m.bringIn();
    if (m.caret != m.anchor) m.replaceSelection(u"");
    else if (m.caret < m.shown.size()) m.replace(m.caret, m.next(m.caret), u"");
  }
  void run(const Model& m, Sut& sut) const override {
    sut.text.deleteForward();
    check(nextState(m), sut.text);
  }
  void show(std::ostream& os) const override { os << "Delete"; }
};

struct Copy : Cmd {
  void apply(Model& m) const override {
    m.bringIn();
    if (m.caret != m.anchor) m.clipboard = m.selection();
  }
  void run(const Model& m, Sut& sut) const override {
    const Model next = nextState(m);
    same(sut.text.selectedText(), next.selection(), "copied text");
    check(next, sut.text);
  }
  void show(std::ostream& os) const override { os << "Copy"; }
};

struct Cut : Cmd {
  void apply(Model& m) const override {
    m.bringIn();
    if (m.caret == m.anchor) return;
    m.clipboard = m.selection();
    m.replaceSelection(u"");
  }
  void run(const Model& m, Sut& sut) const override {
    Model in = m;
    in.bringIn();
    same(sut.text.cut(), in.selection(), "cut text");
    check(nextState(m), sut.text);
  }
  void show(std::ostream& os) const override { os << "Cut"; }
};

// What the last copy or cut took, or other text, as the clipboard gives it.
struct Paste : Cmd {
  bool other = *rc::gen::arbitrary<bool>();
  std::u16string s = *genText();
  std::u16string what(const Model& m) const { return other ? s : m.clipboard; }
  void apply(Model& m) const override {
    m.bringIn();
    if (!normalized(what(m)).empty()) m.replaceSelection(what(m));
  }
  void run(const Model& m, Sut& sut) const override {
    sut.text.paste(what(m));
    check(nextState(m), sut.text);
  }
  void show(std::ostream& os) const override { os << "Paste(" << (other ? ::show(s) : "clipboard") << ")"; }
};

// The edit's EM_REPLACESEL: empty text takes the selection away.
struct ReplaceSelection : Cmd {
  std::u16string s = *genText();
  void apply(Model& m) const override {
    m.bringIn();
    m.replaceSelection(s);
  }
  void run(const Model& m, Sut& sut) const override {
    sut.text.replaceSelection(s);
    check(nextState(m), sut.text);
  }
  void show(std::ostream& os) const override { os << "ReplaceSelection(" << ::show(s) << ")"; }
};

// The window sized anew, as at WM_SIZE: rows in view first, then the width.
struct Resize : Cmd {
  int width = *rc::gen::weightedOneOf<int>({{1, rc::gen::just(0)}, {6, rc::gen::inRange(24, 200)}});
  long rows = *rc::gen::inRange(1L, 7L);
  void apply(Model& m) const override {
    m.rowsInView = rows;
    m.bringIn();
    m.width = width;
    m.relayout();
  }
  void run(const Model& m, Sut& sut) const override {
    sut.text.setRowsInView(rows);
    sut.text.setWidth(width);
    check(nextState(m), sut.text);
  }
  void show(std::ostream& os) const override { os << "Resize(" << width << ", " << rows << ")"; }
};

// Scroll bar and wheel; the component's scroll to the top; EM_SCROLLCARET.
struct Scroll : Cmd {
  long row = *rc::gen::inRange(-3L, 40L);
  int kind = *rc::gen::inRange(0, 3);
  void apply(Model& m) const override {
    m.bringIn();
    if (kind == 0) {
      m.scroll(row);
    } else if (kind == 1) {
      m.caret = m.anchor = 0;
      m.scroll(0);
    } else {
      m.caretIntoView();
    }
  }
  void run(const Model& m, Sut& sut) const override {
    Model next = m;
    next.bringIn();
    if (kind == 0) {
      same(sut.text.scrollTo(row), next.scroll(row), "scrolled");
    } else if (kind == 1) {
      sut.text.scrollToTop();
    } else {
      sut.text.scrollToCaret();
    }
    check(nextState(m), sut.text);
  }
  void show(std::ostream& os) const override {
    os << (kind == 0 ? "ScrollTo(" + std::to_string(row) + ")" : kind == 1 ? "ScrollToTop" : "ScrollToCaret");
  }
};

RC_GTEST_PROP(LogText, BehavesAsAPlainStringThroughRandomSessions, ()) {
  Model m;
  m.width = *rc::gen::weightedOneOf<int>({{1, rc::gen::just(0)}, {6, rc::gen::inRange(24, 200)}});
  m.rowsInView = *rc::gen::inRange(1L, 7L);
  m.relayout();
  Sut sut(m.width, m.rowsInView);
  rc::state::check(m, sut,
                   rc::state::gen::execOneOfWithArgs<Append, Append, Flush, Read, SetText, MoveCaret, MoveCaret,
                                                     Click, Select, SelectAll, TypeKey, TypeKey, DeleteKey, Copy,
                                                     Cut, Paste, ReplaceSelection, Resize, Scroll>());
}

// The text store against a string through appends and edits, with a small
// reservation so that it moves to larger ones on the way.
RC_GTEST_PROP(GrowingText, HoldsWhatAStringHolds, ()) {
  ui::GrowingText text(ui::mappedAddressSpace(), 1 << 16);
  std::u16string model;
  const auto steps = *rc::gen::inRange(1, 60);
  for (int i = 0; i < steps; ++i) {
    const auto piece = std::u16string(*rc::gen::inRange<std::size_t>(0, 4000), u'\n') + *genText();
    if (model.empty() || *rc::gen::arbitrary<bool>()) {
      text += piece;
      model += piece;
    } else {
      const auto pos = *rc::gen::inRange<std::size_t>(0, model.size());
      const auto count = std::min(*rc::gen::inRange<std::size_t>(0, 50), model.size() - pos);
      text.replace(pos, count, piece);
      model.replace(pos, count, piece);
    }
    RC_ASSERT(text.size() == model.size());
    const auto at = *rc::gen::inRange<std::size_t>(0, model.size() + 1);
    RC_ASSERT(text.find(u'中', at) == model.find(u'中', at));
    RC_ASSERT(text.rfind(u'\r', at) == model.rfind(u'\r', at));
  }
  RC_ASSERT(text.str() == model);
  text.assign(u"短");
  RC_ASSERT(text.str() == std::u16string(u"短"));
  RC_ASSERT(text.find(u'\n') == ui::GrowingText::npos);
}

// --- what random sessions would rarely reach ---

TEST(LogText, APastedLineOfMegabytesIsLaidOutRowByRowMeasuringAboutTwoRowsEach) {
  FixedMeasure measure;
  LogText text(measure, ui::mappedAddressSpace());
  text.setRowsInView(15);
  text.setWidth(350);  // 58 digits a row
  text.setText(u"前");
  std::u16string digits(2000000, u'0');
  for (std::size_t i = 0; i < digits.size(); ++i) digits[i] = static_cast<char16_t>(u'0' + i % 10);
  text.move(LogText::Move::TextEnd, false);
  measure.measured = 0;
  text.paste(digits);
  // Layout work in proportion to the line, not to the line times its rows.
  EXPECT_LT(measure.measured, 3 * digits.size());
  EXPECT_EQ(text.text(), u"前" + digits);
  std::vector<Pos> rows;
  for (long r = 0; r < text.rowCount(); ++r) rows.push_back(text.rowBegin(static_cast<std::size_t>(r)));
  EXPECT_EQ(rows, layOut(u"前" + digits, 350));
  EXPECT_GT(text.rowCount(), 30000);
  EXPECT_EQ(text.caret(), digits.size() + 1);
  EXPECT_EQ(text.top(), text.rowCount() - 15);
  text.type(U'!');
  rows.clear();
  for (long r = 0; r < text.rowCount(); ++r) rows.push_back(text.rowBegin(static_cast<std::size_t>(r)));
  EXPECT_EQ(rows, layOut(u"前" + digits + u"!", 350));
}

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

TEST(LogText, AppendsWaitInOrderAndALogScrolledBackStaysWhereItIs) {
  FixedMeasure measure;
  LogText text(measure, ui::mappedAddressSpace());
  text.setRowsInView(3);
  text.setWidth(300);
  EXPECT_TRUE(text.append(u"第1次读卡成功！"));
  EXPECT_FALSE(text.append(u"\r\n第2次读卡成功！\n1轨：B6200"));
  EXPECT_FALSE(text.append(u"\r2轨：6200"));
  EXPECT_EQ(text.size(), 0u);  // nothing shown before they come in
  EXPECT_FALSE(text.empty());
  EXPECT_TRUE(text.flush());
  EXPECT_EQ(text.text(), u"第1次读卡成功！\r\n第2次读卡成功！\r\n1轨：B6200\r\n2轨：6200");
  EXPECT_EQ(text.top(), 1);  // followed the end
  EXPECT_EQ(text.caret(), text.size());

  text.scrollTo(0);
  text.append(u"\r\n第3次读卡成功！");
  EXPECT_FALSE(text.flush());  // nothing new in view
  EXPECT_EQ(text.top(), 0);
  text.move(LogText::Move::TextEnd, false);
  EXPECT_EQ(text.top(), 2);
  text.append(u"\r\n第4次读卡成功！");
  EXPECT_TRUE(text.flush());
  EXPECT_EQ(text.top(), 3);

  // Setting the text drops what still waited.
  text.append(u"\r\n迟到的一行");
  text.setText(u"新的内容");
  EXPECT_FALSE(text.flush());
  EXPECT_EQ(text.text(), u"新的内容");
}

}  // namespace
