#include "ui/win32/LogPeer.h"

#include <algorithm>
#include <climits>

#include "ui/win32/Text.h"
#include "ui/win32/Win32Backend.h"

namespace ui::win32 {

namespace {

const wchar_t* const kClass = L"CardTestLog";
constexpr UINT_PTR kFlushTimer = 0x5A18;
constexpr UINT kFlushMs = 50;
constexpr int kMargin = 2;

enum MenuCommand : UINT { kCut = 1, kCopy, kPaste, kDelete, kSelectAll };

void registerClass() {
  WNDCLASSEXW wc{};
  if (GetClassInfoExW(GetModuleHandleW(nullptr), kClass, &wc)) return;
  wc.cbSize = sizeof wc;
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_IBEAM));
  wc.lpszClassName = kClass;
  RegisterClassExW(&wc);
}

// Line breaks are "\r\n" throughout, as in the edit: rows and caret steps
// rely on it. Zero characters would end the text for its readers.
std::wstring normalized(const wchar_t* s, std::size_t n) {
  std::wstring out;
  out.reserve(n);
  for (std::size_t i = 0; i < n; ++i) {
    const wchar_t c = s[i];
    if (c == L'\r') {
      out += L"\r\n";
      if (i + 1 < n && s[i + 1] == L'\n') ++i;
    } else if (c == L'\n') {
      out += L"\r\n";
    } else if (c != L'\0') {
      out += c;
    }
  }
  return out;
}

std::wstring normalized(const std::wstring& s) { return normalized(s.data(), s.size()); }

bool isSpace(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

bool keyHeld(int vk) { return GetKeyState(vk) < 0; }

// A device context with the log's font, for measuring.
class Measure {
 public:
  Measure(HWND hwnd, HFONT font) : hwnd_(hwnd), dc_(GetDC(hwnd)) {
    old_ = font ? SelectObject(dc_, font) : nullptr;
  }
  ~Measure() {
    if (old_) SelectObject(dc_, old_);
    ReleaseDC(hwnd_, dc_);
  }
  Measure(const Measure&) = delete;
  Measure& operator=(const Measure&) = delete;
  HDC dc() const { return dc_; }

 private:
  HWND hwnd_;
  HDC dc_;
  HGDIOBJ old_;
};

}  // namespace

LogPeer::LogPeer(Win32Backend& backend, Control& control) : WinPeer(backend, control) {
  registerClass();
  readOnly_ = static_cast<TextControl&>(control).readOnly();
  create(kClass, WS_TABSTOP | WS_VSCROLL, WS_EX_CLIENTEDGE);
  if (!hwnd_) return;
  // The window's creation text went to the default procedure, not here.
  text_.assign(normalized(widen(control.caption())));
  rewrapAll();
  updateScrollBar();
}

LogPeer::~LogPeer() {
  if (hwnd_ && !pending_.empty()) KillTimer(hwnd_, kFlushTimer);
}

// --- text and rows ---

std::string LogPeer::text() const {
  flush();
  return narrow(text_.data(), static_cast<int>(text_.size()));
}

void LogPeer::setText(const std::string& text) {
  dropPending();
  text_.assign(normalized(widen(text)));
  caret_ = anchor_ = 0;
  top_ = 0;
  rewrapAll();
  if (!hwnd_) return;
  updateScrollBar();
  InvalidateRect(hwnd_, nullptr, FALSE);
  placeCaret();
}

bool LogPeer::textEmpty() const { return text_.empty() && pending_.empty(); }

void LogPeer::appendText(const std::string& text) {
  if (!hwnd_ || text.empty()) return;
  if (pending_.empty()) SetTimer(hwnd_, kFlushTimer, kFlushMs, nullptr);
  pending_ += normalized(widen(text));
}

void LogPeer::dropPending() {
  if (hwnd_ && !pending_.empty()) KillTimer(hwnd_, kFlushTimer);
  pending_.clear();
}

// Only the last line of the old text and the new text are laid out: the cost
// of an append does not grow with the log.
void LogPeer::flush() const {
  if (!hwnd_ || pending_.empty()) return;
  KillTimer(hwnd_, kFlushTimer);
  const long before = rowCount();
  // A log whose end was in view follows the new lines; one scrolled back
  // for reading stays where the operator put it.
  const bool follow = top_ + visibleRows() >= before;
  const bool caretAtEnd = caret_ == text_.size() && anchor_ == caret_;
  const Pos lastBreak = text_.rfind(L'\n');
  const Pos lastLine = lastBreak == GrowingText::npos ? 0 : lastBreak + 1;
  rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(rowOf(lastLine)), rows_.end());
  text_ += pending_;
  pending_.clear();
  wrapLines(lastLine, text_.size(), rows_);
  if (caretAtEnd) caret_ = anchor_ = text_.size();
  if (follow) top_ = std::max(0L, rowCount() - visibleRows());
  updateScrollBar();
  if (follow || before - 1 < top_ + visibleRows()) InvalidateRect(hwnd_, nullptr, FALSE);
  placeCaret();
}

// Replaces text_[from, to) and lays out again only the lines it touched.
void LogPeer::replace(Pos from, Pos to, const std::wstring& with) {
  flush();
  const Pos lineStart = from == 0 ? 0 : [&] {
    const Pos nl = text_.rfind(L'\n', from - 1);
    return nl == GrowingText::npos ? 0 : nl + 1;
  }();
  const Pos oldBreak = text_.find(L'\n', to);
  const bool last = oldBreak == GrowingText::npos;
  const std::size_t r0 = rowOf(lineStart);
  const std::size_t r1 = last ? rows_.size() : rowOf(oldBreak + 1);
  const Pos oldEnd = last ? text_.size() : oldBreak + 1;
  text_.replace(from, to - from, with);
  // Unsigned arithmetic wraps round and back: the shifted starts come out right.
  const Pos shift = with.size() - (to - from);
  std::vector<Pos> fresh;
  wrapLines(lineStart, last ? text_.size() : oldEnd + shift, fresh);
  for (std::size_t i = r1; i < rows_.size(); ++i) rows_[i] += shift;
  rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(r0), rows_.begin() + static_cast<std::ptrdiff_t>(r1));
  rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(r0), fresh.begin(), fresh.end());
  if (rows_.empty()) rows_.push_back(0);
  caret_ = anchor_ = from + with.size();
  goalX_ = -1;
  top_ = std::clamp(top_, 0L, std::max(0L, rowCount() - 1));
  scrollToCaret();
  InvalidateRect(hwnd_, nullptr, FALSE);
}

void LogPeer::rewrapAll() const {
  rows_.clear();
  wrapLines(0, text_.size(), rows_);
  if (rows_.empty()) rows_.push_back(0);
  top_ = std::clamp(top_, 0L, std::max(0L, rowCount() - 1));
}

// Rows of the lines that start in [from, to); from starts a line, to starts
// one or is the end. Text that ends with a line break has an empty last row.
void LogPeer::wrapLines(Pos from, Pos to, std::vector<Pos>& out) const {
  if (!hwnd_) {
    out.push_back(from);
    return;
  }
  const Measure m(hwnd_, font_);
  Pos a = from;
  for (;;) {
    if (a >= to) {
      if (to == text_.size() && (to == 0 || text_[to - 1] == L'\n')) out.push_back(to);
      return;
    }
    const Pos nl = text_.find(L'\n', a);
    if (nl == GrowingText::npos || nl >= to) {
      wrapLine(m.dc(), a, to, out);
      return;
    }
    wrapLine(m.dc(), a, nl > a && text_[nl - 1] == L'\r' ? nl - 1 : nl, out);
    a = nl + 1;
  }
}

// A line wider than the box goes on in the next row, broken after its last
// space that fits, as the edit does, or inside a word that fills a row.
void LogPeer::wrapLine(HDC dc, Pos begin, Pos end, std::vector<Pos>& out) const {
  out.push_back(begin);
  const int avail = availableWidth();
  Pos pos = begin;
  // Each row measures about twice what a row holds, not the rest of the
  // line: a pasted line of megabytes is laid out in time proportional to it.
  const long long guess = 2LL * avail / std::max(1, aveCharWidth_) + 16;
  while (end - pos > 1) {
    int n = static_cast<int>(std::min<long long>(static_cast<long long>(end - pos), std::min(guess, 1LL << 20)));
    int fit = 0;
    SIZE size{};
    for (;;) {
      if (!GetTextExtentExPointW(dc, text_.data() + pos, n, avail, &fit, nullptr, &size)) return;
      if (fit < n || static_cast<Pos>(n) == end - pos) break;
      n = static_cast<int>(std::min<Pos>(end - pos, 2 * static_cast<Pos>(n)));  // all fit: the row holds more
    }
    if (fit >= n && static_cast<Pos>(n) == end - pos) return;
    Pos brk = pos + static_cast<Pos>(std::max(fit, 1));
    if (brk < end && IS_LOW_SURROGATE(text_[brk]) && brk - 1 > pos) --brk;
    for (Pos i = brk; i > pos + 1; --i) {
      if (text_[i - 1] == L' ') {
        brk = i;
        break;
      }
    }
    out.push_back(brk);
    pos = brk;
  }
}

std::size_t LogPeer::rowOf(Pos pos) const {
  const auto at = std::upper_bound(rows_.begin(), rows_.end(), pos);
  return at == rows_.begin() ? 0 : static_cast<std::size_t>(at - rows_.begin()) - 1;
}

LogPeer::Pos LogPeer::rowEnd(std::size_t row) const {
  const Pos begin = rows_[row];
  Pos end = row + 1 < rows_.size() ? rows_[row + 1] : text_.size();
  if (end > begin && text_[end - 1] == L'\n') --end;
  if (end > begin && text_[end - 1] == L'\r') --end;
  return end;
}

int LogPeer::textWidth(HDC dc, Pos from, Pos to) const {
  if (to <= from) return 0;
  SIZE size{};
  GetTextExtentPoint32W(dc, text_.data() + from, static_cast<int>(to - from), &size);
  return size.cx;
}

int LogPeer::availableWidth() const {
  RECT rc{};
  if (hwnd_) GetClientRect(hwnd_, &rc);
  // Before the box has a size nothing is broken.
  return rc.right > 2 * kMargin ? rc.right - 2 * kMargin : INT_MAX / 2;
}

// --- view ---

int LogPeer::visibleRows() const {
  if (!hwnd_) return 1;
  RECT rc{};
  GetClientRect(hwnd_, &rc);
  return std::max(1, static_cast<int>(rc.bottom / std::max(1, lineHeight_)));
}

void LogPeer::updateScrollBar() const {
  if (!hwnd_) return;
  SCROLLINFO si{};
  si.cbSize = sizeof si;
  // Always there, so that the width of the rows never changes with the text.
  si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
  si.nMin = 0;
  si.nMax = static_cast<int>(std::min<long>(rowCount() - 1, INT_MAX));
  si.nPage = static_cast<UINT>(visibleRows());
  si.nPos = static_cast<int>(top_);
  SetScrollInfo(hwnd_, SB_VERT, &si, TRUE);
}

void LogPeer::scrollTo(long row) const {
  row = std::clamp(row, 0L, std::max(0L, rowCount() - visibleRows()));
  if (row == top_) return;
  top_ = row;
  updateScrollBar();
  InvalidateRect(hwnd_, nullptr, FALSE);
  placeCaret();
}

void LogPeer::scrollToCaret() {
  const long row = static_cast<long>(rowOf(caret_));
  if (row < top_) scrollTo(row);
  else if (row >= top_ + visibleRows()) scrollTo(row - visibleRows() + 1);
  updateScrollBar();
  placeCaret();
}

void LogPeer::placeCaret() const {
  if (!hwnd_ || GetFocus() != hwnd_) return;
  const std::size_t row = rowOf(caret_);
  const Measure m(hwnd_, font_);
  const int x = kMargin + textWidth(m.dc(), rowBegin(row), caret_);
  SetCaretPos(x, static_cast<int>((static_cast<long>(row) - top_) * lineHeight_));
}

void LogPeer::paint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd_, &ps);
  RECT rc;
  GetClientRect(hwnd_, &rc);
  const bool enabled = IsWindowEnabled(hwnd_) != FALSE;
  const COLORREF back = enabled ? backgroundOf(control_) : GetSysColor(COLOR_BTNFACE);
  const COLORREF fore = GetSysColor(enabled ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT);
  const bool showSelection = GetFocus() == hwnd_ && anchor_ != caret_;
  HGDIOBJ old = font_ ? SelectObject(dc, font_) : nullptr;
  const int first = std::max(0, static_cast<int>(ps.rcPaint.top / lineHeight_));
  const int last = static_cast<int>((ps.rcPaint.bottom + lineHeight_ - 1) / lineHeight_);
  for (int r = first; r <= last; ++r) {
    const int y = r * lineHeight_;
    const long n = top_ + r;
    Pos b = 0, e = 0;
    if (n < rowCount()) {
      b = rowBegin(static_cast<std::size_t>(n));
      e = rowEnd(static_cast<std::size_t>(n));
    }
    // The row in up to three pieces: before, inside and after the selection.
    const Pos s0 = showSelection ? std::clamp(selStart(), b, e) : e;
    const Pos s1 = showSelection ? std::clamp(selEnd(), b, e) : e;
    const Pos cuts[4] = {b, s0, s1, e};
    int x = rc.left + kMargin;
    RECT margin{rc.left, y, x, y + lineHeight_};
    SetBkColor(dc, back);
    ExtTextOutW(dc, 0, y, ETO_OPAQUE, &margin, L"", 0, nullptr);
    for (int piece = 0; piece < 3; ++piece) {
      if (cuts[piece + 1] <= cuts[piece]) continue;
      const bool selected = piece == 1;
      SetBkColor(dc, selected ? GetSysColor(COLOR_HIGHLIGHT) : back);
      SetTextColor(dc, selected ? GetSysColor(COLOR_HIGHLIGHTTEXT) : fore);
      const int len = static_cast<int>(cuts[piece + 1] - cuts[piece]);
      SIZE size{};
      GetTextExtentPoint32W(dc, text_.data() + cuts[piece], len, &size);
      RECT box{x, y, std::min<LONG>(x + size.cx, rc.right), y + lineHeight_};
      ExtTextOutW(dc, x, y, ETO_OPAQUE | ETO_CLIPPED, &box, text_.data() + cuts[piece], static_cast<UINT>(len),
                  nullptr);
      x += size.cx;
    }
    // One pass paints text and background: no erase, no flicker.
    if (x < rc.right) {
      RECT rest{x, y, rc.right, y + lineHeight_};
      SetBkColor(dc, back);
      ExtTextOutW(dc, x, y, ETO_OPAQUE, &rest, L"", 0, nullptr);
    }
  }
  if (old) SelectObject(dc, old);
  EndPaint(hwnd_, &ps);
}

LogPeer::Pos LogPeer::hitTest(int x, int y) const {
  const long row = std::clamp(top_ + (y < 0 ? -1 - (-y - 1) / lineHeight_ : y / lineHeight_), 0L, rowCount() - 1);
  const Pos b = rowBegin(static_cast<std::size_t>(row));
  const Pos e = rowEnd(static_cast<std::size_t>(row));
  const int within = x - kMargin;
  if (within <= 0 || e == b) return b;
  const int n = static_cast<int>(e - b);
  std::vector<int> right(static_cast<std::size_t>(n));
  int fit = 0;
  SIZE size{};
  const Measure m(hwnd_, font_);
  GetTextExtentExPointW(m.dc(), text_.data() + b, n, INT_MAX / 2, &fit, right.data(), &size);
  int left = 0;
  for (int k = 0; k < n; ++k) {
    // Nearer to the left edge of the character: before it.
    if (within < (left + right[static_cast<std::size_t>(k)]) / 2) {
      Pos p = b + static_cast<Pos>(k);
      if (p > b && IS_LOW_SURROGATE(text_[p])) --p;
      return p;
    }
    left = right[static_cast<std::size_t>(k)];
  }
  return e;
}

// --- caret and selection ---

void LogPeer::moveCaret(Pos to, bool extend) {
  caret_ = std::min(to, text_.size());
  if (!extend) anchor_ = caret_;
  goalX_ = -1;
  scrollToCaret();
  InvalidateRect(hwnd_, nullptr, FALSE);
}

LogPeer::Pos LogPeer::previous(Pos pos) const {
  if (pos == 0) return 0;
  Pos p = pos - 1;
  if (p > 0 && text_[p] == L'\n' && text_[p - 1] == L'\r') --p;
  else if (p > 0 && IS_LOW_SURROGATE(text_[p]) && IS_HIGH_SURROGATE(text_[p - 1])) --p;
  return p;
}

LogPeer::Pos LogPeer::next(Pos pos) const {
  if (pos >= text_.size()) return text_.size();
  if (pos + 1 < text_.size() && ((text_[pos] == L'\r' && text_[pos + 1] == L'\n') ||
                                 (IS_HIGH_SURROGATE(text_[pos]) && IS_LOW_SURROGATE(text_[pos + 1]))))
    return pos + 2;
  return pos + 1;
}

LogPeer::Pos LogPeer::wordStart(Pos pos) const {
  while (pos > 0 && isSpace(text_[pos - 1])) pos = previous(pos);
  while (pos > 0 && !isSpace(text_[pos - 1])) --pos;
  return pos;
}

LogPeer::Pos LogPeer::wordEnd(Pos pos) const {
  while (pos < text_.size() && !isSpace(text_[pos])) ++pos;
  while (pos < text_.size() && isSpace(text_[pos])) pos = next(pos);
  return pos;
}

void LogPeer::selectWordAt(Pos pos) {
  Pos b = pos, e = pos;
  while (b > 0 && !isSpace(text_[b - 1])) --b;
  while (e < text_.size() && !isSpace(text_[e])) ++e;
  anchor_ = b;
  caret_ = e;
  goalX_ = -1;
  scrollToCaret();
  InvalidateRect(hwnd_, nullptr, FALSE);
}

// --- the operator's commands ---

bool LogPeer::editable() const { return !readOnly_ && IsWindowEnabled(hwnd_); }

void LogPeer::keyDown(WPARAM key) {
  const bool shift = keyHeld(VK_SHIFT);
  const bool ctrl = keyHeld(VK_CONTROL);
  const std::size_t row = rowOf(caret_);
  auto toRow = [&](long target) {
    const Measure m(hwnd_, font_);
    const int x = goalX_ >= 0 ? goalX_ : kMargin + textWidth(m.dc(), rowBegin(row), caret_);
    target = std::clamp(target, 0L, rowCount() - 1);
    if (target < top_) scrollTo(target);
    else if (target >= top_ + visibleRows()) scrollTo(target - visibleRows() + 1);
    moveCaret(hitTest(x, static_cast<int>((target - top_) * lineHeight_) + lineHeight_ / 2), shift);
    goalX_ = x;
  };
  switch (key) {
    case VK_LEFT:
      if (!shift && anchor_ != caret_) moveCaret(selStart(), false);
      else moveCaret(ctrl ? wordStart(caret_) : previous(caret_), shift);
      break;
    case VK_RIGHT:
      if (!shift && anchor_ != caret_) moveCaret(selEnd(), false);
      else moveCaret(ctrl ? wordEnd(caret_) : next(caret_), shift);
      break;
    case VK_UP: toRow(static_cast<long>(row) - 1); break;
    case VK_DOWN: toRow(static_cast<long>(row) + 1); break;
    case VK_PRIOR:
      scrollTo(top_ - visibleRows());
      toRow(static_cast<long>(row) - visibleRows());
      break;
    case VK_NEXT:
      scrollTo(top_ + visibleRows());
      toRow(static_cast<long>(row) + visibleRows());
      break;
    case VK_HOME: moveCaret(ctrl ? 0 : rowBegin(row), shift); break;
    case VK_END: moveCaret(ctrl ? text_.size() : rowEnd(row), shift); break;
    case VK_DELETE:
      if (shift) cut();
      else if (!editable()) break;
      else if (anchor_ != caret_) eraseSelection();
      else if (caret_ < text_.size()) replace(caret_, next(caret_), L"");
      break;
    case VK_INSERT:
      if (ctrl) copy();
      else if (shift) paste();
      break;
    case 'A':
      if (ctrl) {
        anchor_ = 0;
        moveCaret(text_.size(), true);
      }
      break;
    case 'C':
      if (ctrl) copy();
      break;
    default: break;
  }
}

// A character left by the component's key handler.
void LogPeer::typed(char32_t ch) {
  switch (ch) {
    case 0x08:
      if (!editable()) return;
      if (anchor_ != caret_) eraseSelection();
      else if (caret_ > 0) replace(previous(caret_), caret_, L"");
      return;
    case L'\r':
    case L'\n':
      if (editable()) insert(L"\r\n");
      return;
    case 0x16: paste(); return;
    case 0x18: cut(); return;
    default: break;
  }
  // Ctrl+A and Ctrl+C were done as keys; other control characters type nothing.
  if (ch < 0x20 || ch == 0x7F || !editable()) return;
  std::wstring unit;
  if (ch > 0xFFFF) {
    ch -= 0x10000;
    unit += static_cast<wchar_t>(0xD800 + (ch >> 10));
    unit += static_cast<wchar_t>(0xDC00 + (ch & 0x3FF));
  } else {
    unit += static_cast<wchar_t>(ch);
  }
  insert(unit);
}

void LogPeer::insert(const std::wstring& text) {
  flush();
  replace(selStart(), selEnd(), text);
}

void LogPeer::eraseSelection() {
  flush();
  if (anchor_ != caret_) replace(selStart(), selEnd(), L"");
}

void LogPeer::copy() const {
  flush();
  if (anchor_ == caret_ || !OpenClipboard(hwnd_)) return;
  const Pos b = selStart(), n = selEnd() - selStart();
  EmptyClipboard();
  if (HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, (n + 1) * sizeof(wchar_t))) {
    auto* p = static_cast<wchar_t*>(GlobalLock(mem));
    if (p) {
      std::copy_n(text_.data() + b, n, p);
      p[n] = L'\0';
      GlobalUnlock(mem);
      if (!SetClipboardData(CF_UNICODETEXT, mem)) GlobalFree(mem);
    } else {
      GlobalFree(mem);
    }
  }
  CloseClipboard();
}

void LogPeer::cut() {
  if (!editable() || anchor_ == caret_) return;
  copy();
  eraseSelection();
}

void LogPeer::paste() {
  if (!editable() || !IsClipboardFormatAvailable(CF_UNICODETEXT) || !OpenClipboard(hwnd_)) return;
  std::wstring text;
  if (HANDLE mem = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* p = static_cast<const wchar_t*>(GlobalLock(mem))) {
      text = normalized(p, wcsnlen(p, GlobalSize(mem) / sizeof(wchar_t)));
      GlobalUnlock(mem);
    }
  }
  CloseClipboard();
  if (!text.empty()) insert(text);
}

void LogPeer::contextMenu(LPARAM at) {
  flush();
  POINT p{static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
  if (at == static_cast<LPARAM>(-1)) {
    // From the keyboard: at the caret.
    const std::size_t row = rowOf(caret_);
    const Measure m(hwnd_, font_);
    p = {kMargin + textWidth(m.dc(), rowBegin(row), caret_),
         static_cast<LONG>((static_cast<long>(row) - top_ + 1) * lineHeight_)};
    ClientToScreen(hwnd_, &p);
  }
  const bool selection = anchor_ != caret_;
  const bool canEdit = editable();
  HMENU menu = CreatePopupMenu();
  if (!menu) return;
  auto item = [&](UINT id, const wchar_t* text, bool on) {
    AppendMenuW(menu, MF_STRING | (on ? MF_ENABLED : MF_GRAYED), id, text);
  };
  item(kCut, L"剪切(&T)", canEdit && selection);
  item(kCopy, L"复制(&C)", selection);
  item(kPaste, L"粘贴(&P)", canEdit && IsClipboardFormatAvailable(CF_UNICODETEXT));
  item(kDelete, L"删除(&D)", canEdit && selection);
  AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
  item(kSelectAll, L"全选(&A)", !text_.empty());
  const HWND self = hwnd_;
  const UINT command = static_cast<UINT>(
      TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, p.x, p.y, 0, self, nullptr));
  DestroyMenu(menu);
  // The menu ran its own message loop: the page may have gone meanwhile.
  if (!IsWindow(self) || fromHwnd(self) != this) return;
  switch (command) {
    case kCut: cut(); break;
    case kCopy: copy(); break;
    case kPaste: paste(); break;
    case kDelete: eraseSelection(); break;
    case kSelectAll:
      anchor_ = 0;
      moveCaret(text_.size(), true);
      break;
    default: break;
  }
}

// --- the component's side ---

int LogPeer::firstVisibleLine() const {
  flush();
  return static_cast<int>(top_);
}

void LogPeer::scrollToTop() {
  flush();
  caret_ = anchor_ = 0;
  scrollTo(0);
  InvalidateRect(hwnd_, nullptr, FALSE);
}

void LogPeer::changed(Prop prop) {
  if (!hwnd_) return;
  switch (prop) {
    case Prop::Caption: break;  // the text goes through setText
    case Prop::ReadOnly: readOnly_ = static_cast<TextControl&>(control_).readOnly(); break;
    case Prop::Visible:
      flush();
      WinPeer::changed(prop);
      break;
    case Prop::Enabled:
      WinPeer::changed(prop);
      InvalidateRect(hwnd_, nullptr, FALSE);
      break;
    default: WinPeer::changed(prop); break;
  }
}

LRESULT LogPeer::handle(UINT msg, WPARAM wp, LPARAM lp, bool& handled) {
  handled = true;
  switch (msg) {
    case WM_TIMER:
      if (wp != kFlushTimer) break;
      flush();
      return 0;
    case WM_GETTEXTLENGTH: flush(); return static_cast<LRESULT>(text_.size());
    case WM_GETTEXT: {
      flush();
      if (wp == 0 || !lp) return 0;
      const std::size_t n = std::min<std::size_t>(text_.size(), wp - 1);
      auto* out = reinterpret_cast<wchar_t*>(lp);
      std::copy_n(text_.data(), n, out);
      out[n] = L'\0';
      return static_cast<LRESULT>(n);
    }
    case WM_SETTEXT: {
      const auto* s = reinterpret_cast<const wchar_t*>(lp);
      setText(s ? narrow(s, static_cast<int>(wcslen(s))) : std::string());
      return TRUE;
    }
    case WM_SETFONT: {
      font_ = reinterpret_cast<HFONT>(wp);
      {
        const Measure m(hwnd_, font_);
        TEXTMETRICW tm{};
        GetTextMetricsW(m.dc(), &tm);
        lineHeight_ = std::max(1, static_cast<int>(tm.tmHeight));
        aveCharWidth_ = std::max(1, static_cast<int>(tm.tmAveCharWidth));
      }
      flush();
      rewrapAll();
      updateScrollBar();
      if (LOWORD(lp)) InvalidateRect(hwnd_, nullptr, FALSE);
      return 0;
    }
    case WM_GETFONT: return reinterpret_cast<LRESULT>(font_);
    case WM_SIZE:
      flush();
      rewrapAll();
      updateScrollBar();
      InvalidateRect(hwnd_, nullptr, FALSE);
      break;
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: paint(); return 0;
    case WM_ENABLE: InvalidateRect(hwnd_, nullptr, FALSE); break;
    case WM_GETDLGCODE: return DLGC_WANTCHARS | DLGC_WANTARROWS | DLGC_HASSETSEL | DLGC_WANTALLKEYS;
    case WM_SETFOCUS:
      CreateCaret(hwnd_, nullptr, 1, lineHeight_);
      placeCaret();
      ShowCaret(hwnd_);
      InvalidateRect(hwnd_, nullptr, FALSE);
      break;  // on to the form, which learns where the focus is
    case WM_KILLFOCUS:
      DestroyCaret();
      InvalidateRect(hwnd_, nullptr, FALSE);
      break;
    case WM_LBUTTONDOWN:
      SetFocus(hwnd_);
      flush();
      moveCaret(hitTest(static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))), (wp & MK_SHIFT) != 0);
      SetCapture(hwnd_);
      dragging_ = true;
      return 0;
    case WM_MOUSEMOVE:
      if (!dragging_ || !(wp & MK_LBUTTON)) break;
      caret_ = hitTest(static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp)));
      scrollToCaret();
      InvalidateRect(hwnd_, nullptr, FALSE);
      return 0;
    case WM_LBUTTONUP:
      if (dragging_) ReleaseCapture();
      return 0;
    case WM_CAPTURECHANGED: dragging_ = false; break;
    case WM_LBUTTONDBLCLK:
      flush();
      selectWordAt(hitTest(static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))));
      return 0;
    case WM_RBUTTONDOWN: SetFocus(hwnd_); break;
    case WM_CONTEXTMENU: contextMenu(lp); return 0;
    case WM_MOUSEWHEEL:
      flush();
      scrollTo(top_ - 3 * GET_WHEEL_DELTA_WPARAM(wp) / WHEEL_DELTA);
      return 0;
    case WM_VSCROLL: {
      flush();
      SCROLLINFO si{};
      si.cbSize = sizeof si;
      si.fMask = SIF_ALL;
      GetScrollInfo(hwnd_, SB_VERT, &si);
      long row = top_;
      switch (LOWORD(wp)) {
        case SB_LINEUP: --row; break;
        case SB_LINEDOWN: ++row; break;
        case SB_PAGEUP: row -= visibleRows(); break;
        case SB_PAGEDOWN: row += visibleRows(); break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: row = si.nTrackPos; break;
        case SB_TOP: row = 0; break;
        case SB_BOTTOM: row = rowCount(); break;
        default: break;
      }
      scrollTo(row);
      return 0;
    }
    case WM_KEYDOWN:
      flush();
      keyDown(wp);
      break;  // the key still becomes a character for the key handler
    case WM_CHAR: {
      flush();
      const char32_t key = static_cast<char32_t>(wp);
      // Halves of a pair pass as they are, as in the edit.
      if (key >= 0xD800 && key <= 0xDFFF) {
        if (editable()) insert(std::wstring(1, static_cast<wchar_t>(wp)));
        return 0;
      }
      const char32_t left = control_.keyPress(key);
      if (left == 0) return 0;  // the handler may have replaced the page: touch nothing
      typed(left);
      return 0;
    }
    case WM_COPY: copy(); return 0;
    case WM_CUT: cut(); return 0;
    case WM_PASTE: paste(); return 0;
    case WM_CLEAR:
      if (editable()) eraseSelection();
      return 0;
    // The edit's messages that tests and the dialog manager use.
    case EM_GETSEL: {
      flush();
      const auto s = static_cast<DWORD>(selStart()), e = static_cast<DWORD>(selEnd());
      if (wp) *reinterpret_cast<DWORD*>(wp) = s;
      if (lp) *reinterpret_cast<DWORD*>(lp) = e;
      return static_cast<LRESULT>(MAKELONG(std::min<DWORD>(s, 0xFFFF), std::min<DWORD>(e, 0xFFFF)));
    }
    case EM_SETSEL: {
      flush();
      const auto start = static_cast<long long>(static_cast<int>(wp));
      const auto end = static_cast<long long>(static_cast<int>(lp));
      auto at = [&](long long p) {
        Pos q = p < 0 ? text_.size() : std::min<Pos>(static_cast<Pos>(p), text_.size());
        // Never between the two characters of a line break or a pair.
        if (q > 0 && q < text_.size() &&
            ((text_[q] == L'\n' && text_[q - 1] == L'\r') ||
             (IS_LOW_SURROGATE(text_[q]) && IS_HIGH_SURROGATE(text_[q - 1]))))
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
      InvalidateRect(hwnd_, nullptr, FALSE);
      placeCaret();
      return 0;
    }
    case EM_REPLACESEL: {
      const auto* s = reinterpret_cast<const wchar_t*>(lp);
      insert(s ? normalized(s, wcslen(s)) : std::wstring());
      return 0;
    }
    case EM_SCROLLCARET: flush(); scrollToCaret(); return 0;
    case EM_GETFIRSTVISIBLELINE: flush(); return top_;
    case EM_GETLINECOUNT: flush(); return rowCount();
    case EM_SETREADONLY: readOnly_ = wp != 0; return TRUE;
    case EM_SETLIMITTEXT: return 0;
    default: break;
  }
  handled = false;
  return WinPeer::handle(msg, wp, lp, handled);
}

}  // namespace ui::win32
