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

std::u16string_view units(const wchar_t* s, std::size_t n) { return {reinterpret_cast<const char16_t*>(s), n}; }
std::u16string_view units(const std::wstring& s) { return units(s.data(), s.size()); }
bool keyHeld(int vk) { return GetKeyState(vk) < 0; }

}  // namespace

// --- the window ---

LogPeer::LogPeer(Win32Backend& backend, Control& control)
    : WinPeer(backend, control), text_(measure_, virtualAddressSpace()) {
  registerClass();
  readOnly_ = static_cast<TextControl&>(control).readOnly();
  create(kClass, WS_TABSTOP | WS_VSCROLL, WS_EX_CLIENTEDGE);
  if (!hwnd_) return;
  // The window's creation text went to the default procedure, not here.
  layout();
  text_.setText(units(widen(control.caption())));
  updateScrollBar();
}

LogPeer::~LogPeer() {
  if (hwnd_ && text_.pending()) KillTimer(hwnd_, kFlushTimer);
}

void LogPeer::flush() const {
  if (!hwnd_ || !text_.pending()) return;
  KillTimer(hwnd_, kFlushTimer);
  const bool inView = text_.flush();
  updateScrollBar();
  if (inView) InvalidateRect(hwnd_, nullptr, FALSE);
  placeCaret();
}

void LogPeer::layout() const {
  text_.setRowsInView(visibleRows());
  flush();
  text_.setWidth(availableWidth());
}

int LogPeer::availableWidth() const {
  RECT rc{};
  if (hwnd_) GetClientRect(hwnd_, &rc);
  // Before the box has a size nothing is broken.
  return rc.right > 2 * kMargin ? rc.right - 2 * kMargin : 0;
}

int LogPeer::visibleRows() const {
  if (!hwnd_) return 1;
  RECT rc{};
  GetClientRect(hwnd_, &rc);
  return std::max(1, static_cast<int>(rc.bottom / measure_.lineHeight()));
}

// --- the component's side ---

std::string LogPeer::text() const {
  flush();
  return narrow(wide(text_.data()), static_cast<int>(text_.size()));
}

void LogPeer::setText(const std::string& text) {
  if (hwnd_ && text_.pending()) KillTimer(hwnd_, kFlushTimer);
  text_.setText(units(widen(text)));
  if (!hwnd_) return;
  refresh();
}

bool LogPeer::textEmpty() const { return text_.empty(); }

void LogPeer::appendText(const std::string& text) {
  if (!hwnd_ || text.empty()) return;
  if (text_.append(units(widen(text)))) SetTimer(hwnd_, kFlushTimer, kFlushMs, nullptr);
}

int LogPeer::firstVisibleLine() const {
  flush();
  return static_cast<int>(text_.top());
}

void LogPeer::scrollToTop() {
  flush();
  text_.scrollToTop();
  refresh();
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

// --- view ---

void LogPeer::refresh() const {
  if (!hwnd_) return;
  updateScrollBar();
  InvalidateRect(hwnd_, nullptr, FALSE);
  placeCaret();
}

void LogPeer::updateScrollBar() const {
  if (!hwnd_) return;
  SCROLLINFO si{};
  si.cbSize = sizeof si;
  // Always there, so that the width of the rows never changes with the text.
  si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
  si.nMin = 0;
  si.nMax = static_cast<int>(std::min<long>(text_.rowCount() - 1, INT_MAX));
  si.nPage = static_cast<UINT>(text_.rowsInView());
  si.nPos = static_cast<int>(text_.top());
  SetScrollInfo(hwnd_, SB_VERT, &si, TRUE);
}

void LogPeer::placeCaret() const {
  if (!hwnd_ || GetFocus() != hwnd_) return;
  const long row = static_cast<long>(text_.rowOf(text_.caret()));
  SetCaretPos(kMargin + text_.caretX(), static_cast<int>((row - text_.top()) * measure_.lineHeight()));
}

void LogPeer::paint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd_, &ps);
  RECT rc;
  GetClientRect(hwnd_, &rc);
  const int lineHeight = measure_.lineHeight();
  const bool enabled = IsWindowEnabled(hwnd_) != FALSE;
  const COLORREF back = enabled ? backgroundOf(control_) : GetSysColor(COLOR_BTNFACE);
  const COLORREF fore = GetSysColor(enabled ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT);
  const bool showSelection = GetFocus() == hwnd_ && text_.hasSelection();
  HGDIOBJ old = font_ ? SelectObject(dc, font_) : nullptr;
  const int first = std::max(0, static_cast<int>(ps.rcPaint.top / lineHeight));
  const int last = static_cast<int>((ps.rcPaint.bottom + lineHeight - 1) / lineHeight);
  const wchar_t* chars = wide(text_.data());
  for (int r = first; r <= last; ++r) {
    const int y = r * lineHeight;
    const long n = text_.top() + r;
    Pos b = 0, e = 0;
    if (n < text_.rowCount()) {
      b = text_.rowBegin(static_cast<std::size_t>(n));
      e = text_.rowEnd(static_cast<std::size_t>(n));
    }
    // The row in up to three pieces: before, inside and after the selection.
    const Pos s0 = showSelection ? std::clamp(text_.selStart(), b, e) : e;
    const Pos s1 = showSelection ? std::clamp(text_.selEnd(), b, e) : e;
    const Pos cuts[4] = {b, s0, s1, e};
    int x = rc.left + kMargin;
    RECT margin{rc.left, y, x, y + lineHeight};
    SetBkColor(dc, back);
    ExtTextOutW(dc, 0, y, ETO_OPAQUE, &margin, L"", 0, nullptr);
    for (int piece = 0; piece < 3; ++piece) {
      if (cuts[piece + 1] <= cuts[piece]) continue;
      const bool selected = piece == 1;
      SetBkColor(dc, selected ? GetSysColor(COLOR_HIGHLIGHT) : back);
      SetTextColor(dc, selected ? GetSysColor(COLOR_HIGHLIGHTTEXT) : fore);
      const int len = static_cast<int>(cuts[piece + 1] - cuts[piece]);
      SIZE size{};
      GetTextExtentPoint32W(dc, chars + cuts[piece], len, &size);
      RECT box{x, y, std::min<LONG>(x + size.cx, rc.right), y + lineHeight};
      ExtTextOutW(dc, x, y, ETO_OPAQUE | ETO_CLIPPED, &box, chars + cuts[piece], static_cast<UINT>(len), nullptr);
      x += size.cx;
    }
    // One pass paints text and background: no erase, no flicker.
    if (x < rc.right) {
      RECT rest{x, y, rc.right, y + lineHeight};
      SetBkColor(dc, back);
      ExtTextOutW(dc, x, y, ETO_OPAQUE, &rest, L"", 0, nullptr);
    }
  }
  if (old) SelectObject(dc, old);
  EndPaint(hwnd_, &ps);
}

LogPeer::Pos LogPeer::hitTest(int x, int y) const {
  const int lineHeight = measure_.lineHeight();
  const long row = std::clamp(text_.top() + (y < 0 ? -1 - (-y - 1) / lineHeight : y / lineHeight), 0L,
                              text_.rowCount() - 1);
  return text_.posAt(static_cast<std::size_t>(row), x - kMargin);
}

// --- the operator's commands ---

bool LogPeer::editable() const { return !readOnly_ && IsWindowEnabled(hwnd_); }

void LogPeer::keyDown(WPARAM key) {
  using Move = LogText::Move;
  const bool shift = keyHeld(VK_SHIFT);
  const bool ctrl = keyHeld(VK_CONTROL);
  auto move = [&](Move m) {
    text_.move(m, shift);
    refresh();
  };
  switch (key) {
    case VK_LEFT: move(ctrl ? Move::WordLeft : Move::Left); break;
    case VK_RIGHT: move(ctrl ? Move::WordRight : Move::Right); break;
    case VK_UP: move(Move::Up); break;
    case VK_DOWN: move(Move::Down); break;
    case VK_PRIOR: move(Move::PageUp); break;
    case VK_NEXT: move(Move::PageDown); break;
    case VK_HOME: move(ctrl ? Move::TextStart : Move::RowStart); break;
    case VK_END: move(ctrl ? Move::TextEnd : Move::RowEnd); break;
    case VK_DELETE:
      if (shift) {
        cut();
      } else if (editable()) {
        text_.deleteForward();
        refresh();
      }
      break;
    case VK_INSERT:
      if (ctrl) copy();
      else if (shift) paste();
      break;
    case 'A':
      if (ctrl) {
        text_.selectAll();
        refresh();
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
    case 0x16: paste(); return;
    case 0x18: cut(); return;
    default: break;
  }
  // Ctrl+A and Ctrl+C were done as keys; other control characters type nothing.
  if (!editable()) return;
  if (ch == 0x08) text_.backspace();
  else if (ch == L'\r' || ch == L'\n') text_.newline();
  else text_.type(ch);
  refresh();
}

void LogPeer::copy() const {
  flush();
  if (!text_.hasSelection() || !OpenClipboard(hwnd_)) return;
  const std::u16string chosen = text_.selectedText();
  EmptyClipboard();
  if (HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, (chosen.size() + 1) * sizeof(wchar_t))) {
    auto* p = static_cast<wchar_t*>(GlobalLock(mem));
    if (p) {
      std::copy_n(wide(chosen.c_str()), chosen.size() + 1, p);
      GlobalUnlock(mem);
      if (!SetClipboardData(CF_UNICODETEXT, mem)) GlobalFree(mem);
    } else {
      GlobalFree(mem);
    }
  }
  CloseClipboard();
}

void LogPeer::cut() {
  if (!editable() || !text_.hasSelection()) return;
  copy();
  text_.eraseSelection();
  refresh();
}

void LogPeer::paste() {
  if (!editable() || !IsClipboardFormatAvailable(CF_UNICODETEXT) || !OpenClipboard(hwnd_)) return;
  std::wstring text;
  if (HANDLE mem = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* p = static_cast<const wchar_t*>(GlobalLock(mem))) {
      text.assign(p, wcsnlen(p, GlobalSize(mem) / sizeof(wchar_t)));
      GlobalUnlock(mem);
    }
  }
  CloseClipboard();
  flush();
  text_.paste(units(text));
  refresh();
}

void LogPeer::contextMenu(LPARAM at) {
  flush();
  POINT p{static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
  if (at == static_cast<LPARAM>(-1)) {
    // From the keyboard: at the caret.
    const long row = static_cast<long>(text_.rowOf(text_.caret()));
    p = {kMargin + text_.caretX(), static_cast<LONG>((row - text_.top() + 1) * measure_.lineHeight())};
    ClientToScreen(hwnd_, &p);
  }
  const bool selection = text_.hasSelection();
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
  item(kSelectAll, L"全选(&A)", text_.size() > 0);
  const HWND self = hwnd_;
  const UINT command = static_cast<UINT>(
      TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, p.x, p.y, 0, self, nullptr));
  DestroyMenu(menu);
  // The menu ran its own message loop: the page may have gone meanwhile.
  if (!IsWindow(self) || fromHwnd(self) != this) return;
  flush();
  switch (command) {
    case kCut: cut(); break;
    case kCopy: copy(); break;
    case kPaste: paste(); break;
    case kDelete:
      text_.eraseSelection();
      refresh();
      break;
    case kSelectAll:
      text_.selectAll();
      refresh();
      break;
    default: break;
  }
}

LRESULT LogPeer::handle(UINT msg, WPARAM wp, LPARAM lp, bool& handled) {
  handled = true;
  switch (msg) {
    case WM_TIMER:
      if (wp != kFlushTimer) break;
      KillTimer(hwnd_, kFlushTimer);
      flush();
      return 0;
    case WM_GETTEXTLENGTH: flush(); return static_cast<LRESULT>(text_.size());
    case WM_GETTEXT: {
      flush();
      if (wp == 0 || !lp) return 0;
      const std::size_t n = std::min<std::size_t>(text_.size(), wp - 1);
      auto* out = reinterpret_cast<wchar_t*>(lp);
      std::copy_n(wide(text_.data()), n, out);
      out[n] = L'\0';
      return static_cast<LRESULT>(n);
    }
    case WM_SETTEXT: {
      const auto* s = reinterpret_cast<const wchar_t*>(lp);
      setText(s ? narrow(s, static_cast<int>(wcslen(s))) : std::string());
      return TRUE;
    }
    case WM_SETFONT:
      font_ = reinterpret_cast<HFONT>(wp);
      measure_.setFont(font_);
      text_.setRowsInView(visibleRows());
      flush();
      text_.relayout();
      updateScrollBar();
      if (LOWORD(lp)) InvalidateRect(hwnd_, nullptr, FALSE);
      return 0;
    case WM_GETFONT: return reinterpret_cast<LRESULT>(font_);
    case WM_SIZE:
      layout();
      updateScrollBar();
      InvalidateRect(hwnd_, nullptr, FALSE);
      break;
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: paint(); return 0;
    case WM_ENABLE: InvalidateRect(hwnd_, nullptr, FALSE); break;
    case WM_GETDLGCODE: return DLGC_WANTCHARS | DLGC_WANTARROWS | DLGC_HASSETSEL | DLGC_WANTALLKEYS;
    case WM_SETFOCUS:
      CreateCaret(hwnd_, nullptr, 1, measure_.lineHeight());
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
      text_.moveTo(hitTest(static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))), (wp & MK_SHIFT) != 0);
      refresh();
      SetCapture(hwnd_);
      dragging_ = true;
      return 0;
    case WM_MOUSEMOVE:
      if (!dragging_ || !(wp & MK_LBUTTON)) break;
      flush();
      text_.moveTo(hitTest(static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))), true);
      refresh();
      return 0;
    case WM_LBUTTONUP:
      if (dragging_) ReleaseCapture();
      return 0;
    case WM_CAPTURECHANGED: dragging_ = false; break;
    case WM_LBUTTONDBLCLK:
      flush();
      text_.selectWordAt(hitTest(static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))));
      refresh();
      return 0;
    case WM_RBUTTONDOWN: SetFocus(hwnd_); break;
    case WM_CONTEXTMENU: contextMenu(lp); return 0;
    case WM_MOUSEWHEEL:
      flush();
      if (text_.scrollTo(text_.top() - 3 * GET_WHEEL_DELTA_WPARAM(wp) / WHEEL_DELTA)) refresh();
      return 0;
    case WM_VSCROLL: {
      flush();
      SCROLLINFO si{};
      si.cbSize = sizeof si;
      si.fMask = SIF_ALL;
      GetScrollInfo(hwnd_, SB_VERT, &si);
      long row = text_.top();
      switch (LOWORD(wp)) {
        case SB_LINEUP: --row; break;
        case SB_LINEDOWN: ++row; break;
        case SB_PAGEUP: row -= text_.rowsInView(); break;
        case SB_PAGEDOWN: row += text_.rowsInView(); break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: row = si.nTrackPos; break;
        case SB_TOP: row = 0; break;
        case SB_BOTTOM: row = text_.rowCount(); break;
        default: break;
      }
      if (text_.scrollTo(row)) refresh();
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
        if (editable()) {
          text_.type(key);
          refresh();
        }
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
      if (editable()) {
        flush();
        text_.eraseSelection();
        refresh();
      }
      return 0;
    // The edit's messages that tests and the dialog manager use.
    case EM_GETSEL: {
      flush();
      const auto s = static_cast<DWORD>(text_.selStart()), e = static_cast<DWORD>(text_.selEnd());
      if (wp) *reinterpret_cast<DWORD*>(wp) = s;
      if (lp) *reinterpret_cast<DWORD*>(lp) = e;
      return static_cast<LRESULT>(MAKELONG(std::min<DWORD>(s, 0xFFFF), std::min<DWORD>(e, 0xFFFF)));
    }
    case EM_SETSEL:
      flush();
      text_.select(static_cast<int>(wp), static_cast<int>(lp));
      InvalidateRect(hwnd_, nullptr, FALSE);
      placeCaret();
      return 0;
    case EM_REPLACESEL: {
      const auto* s = reinterpret_cast<const wchar_t*>(lp);
      flush();
      text_.replaceSelection(s ? units(s, wcslen(s)) : std::u16string_view());
      refresh();
      return 0;
    }
    case EM_SCROLLCARET:
      flush();
      text_.scrollToCaret();
      refresh();
      return 0;
    case EM_GETFIRSTVISIBLELINE: flush(); return text_.top();
    case EM_GETLINECOUNT: flush(); return text_.rowCount();
    case EM_SETREADONLY: readOnly_ = wp != 0; return TRUE;
    case EM_SETLIMITTEXT: return 0;
    default: break;
  }
  handled = false;
  return WinPeer::handle(msg, wp, lp, handled);
}

}  // namespace ui::win32
