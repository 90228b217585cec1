#include "LogView.h"

#include <algorithm>

#include "ui/win32/Text.h"
#include "ui/win32/Win32Backend.h"

namespace bench {

namespace {

const wchar_t* const kClass = L"CardTestBenchLog";
constexpr UINT_PTR kFlushTimer = 0x5A18;
constexpr UINT kFlushMs = 50;

void registerClass() {
  WNDCLASSEXW wc{};
  if (GetClassInfoExW(GetModuleHandleW(nullptr), kClass, &wc)) return;
  wc.cbSize = sizeof wc;
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, IDC_IBEAM);
  wc.lpszClassName = kClass;
  RegisterClassExW(&wc);
}

}  // namespace

LogPeer::LogPeer(ui::win32::Win32Backend& backend, ui::Control& control) : WinPeer(backend, control) {
  registerClass();
  create(kClass, WS_VSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE);
  layout();
}

LogPeer::~LogPeer() {
  if (hwnd_ && !pending_.empty()) KillTimer(hwnd_, kFlushTimer);
}

std::string LogPeer::text() const {
  flush();
  return ui::win32::narrow(text_);
}

void LogPeer::setText(const std::string& text) {
  if (hwnd_) KillTimer(hwnd_, kFlushTimer);
  pending_.clear();
  text_ = ui::win32::widen(ui::win32::withCrLf(text));
  starts_.assign(1, 0);
  index(0);
  top_ = 0;
  layout();
  if (hwnd_) InvalidateRect(hwnd_, nullptr, FALSE);
}

bool LogPeer::textEmpty() const { return text_.empty() && pending_.empty(); }

void LogPeer::appendText(const std::string& text) {
  if (!hwnd_ || text.empty()) return;
  if (pending_.empty()) SetTimer(hwnd_, kFlushTimer, kFlushMs, nullptr);
  pending_ += ui::win32::widen(ui::win32::withCrLf(text));
}

int LogPeer::firstVisibleLine() const {
  flush();
  return static_cast<int>(top_);
}

void LogPeer::scrollToTop() {
  flush();
  scrollTo(0);
}

void LogPeer::changed(ui::Prop prop) {
  if (prop == ui::Prop::Caption) return;  // the text goes through setText
  if (prop == ui::Prop::Visible) flush();
  WinPeer::changed(prop);
}

// Only the new part is scanned: the cost of an append does not grow with the log.
void LogPeer::index(std::size_t from) const {
  for (std::size_t i = text_.find(L'\n', from); i != std::wstring::npos; i = text_.find(L'\n', i + 1))
    starts_.push_back(i + 1);
}

void LogPeer::flush() const {
  if (!hwnd_ || pending_.empty()) return;
  KillTimer(hwnd_, kFlushTimer);
  // A log that was at its end follows the new lines, as the edit's caret does.
  const bool follow = top_ + rows() >= lineCount();
  const std::size_t from = text_.size();
  text_ += pending_;
  pending_.clear();
  index(from);
  if (follow) top_ = std::max(0L, lineCount() - rows());
  layout();
  InvalidateRect(hwnd_, nullptr, FALSE);
}

int LogPeer::rows() const {
  if (!hwnd_) return 1;
  RECT rc;
  GetClientRect(hwnd_, &rc);
  return std::max(1, static_cast<int>(rc.bottom / std::max(1, lineHeight_)));
}

void LogPeer::layout() const {
  if (!hwnd_) return;
  SCROLLINFO si{};
  si.cbSize = sizeof si;
  si.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
  si.nMin = 0;
  si.nMax = static_cast<int>(lineCount() - 1);
  si.nPage = static_cast<UINT>(rows());
  si.nPos = static_cast<int>(top_);
  SetScrollInfo(hwnd_, SB_VERT, &si, TRUE);
}

void LogPeer::scrollTo(long line) const {
  const long last = std::max(0L, lineCount() - rows());
  line = std::clamp(line, 0L, last);
  if (line == top_) return;
  top_ = line;
  layout();
  InvalidateRect(hwnd_, nullptr, FALSE);
}

void LogPeer::paint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd_, &ps);
  RECT rc;
  GetClientRect(hwnd_, &rc);
  const COLORREF back = IsWindowEnabled(hwnd_) ? ui::win32::backgroundOf(control_) : GetSysColor(COLOR_BTNFACE);
  HGDIOBJ old = font_ ? SelectObject(dc, font_) : nullptr;
  SetBkColor(dc, back);
  SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  const int first = static_cast<int>(ps.rcPaint.top / lineHeight_);
  const int last = static_cast<int>((ps.rcPaint.bottom + lineHeight_ - 1) / lineHeight_);
  for (int row = first; row <= last; ++row) {
    RECT line{rc.left, row * lineHeight_, rc.right, (row + 1) * lineHeight_};
    const long n = top_ + row;
    const wchar_t* s = L"";
    UINT len = 0;
    if (n < lineCount()) {
      const std::size_t begin = starts_[static_cast<std::size_t>(n)];
      std::size_t end = n + 1 < lineCount() ? starts_[static_cast<std::size_t>(n) + 1] - 1 : text_.size();
      if (end > begin && text_[end - 1] == L'\r') --end;
      s = text_.data() + begin;
      len = static_cast<UINT>(end - begin);
    }
    // One call paints the line and its background: no flicker, no erase pass.
    ExtTextOutW(dc, rc.left + 2, line.top, ETO_OPAQUE | ETO_CLIPPED, &line, s, len, nullptr);
  }
  if (old) SelectObject(dc, old);
  EndPaint(hwnd_, &ps);
}

LRESULT LogPeer::handle(UINT msg, WPARAM wp, LPARAM lp, bool& handled) {
  switch (msg) {
    case WM_TIMER:
      if (wp != kFlushTimer) break;
      handled = true;
      flush();
      return 0;
    case WM_SETFONT: {
      handled = true;
      font_ = reinterpret_cast<HFONT>(wp);
      HDC dc = GetDC(hwnd_);
      HGDIOBJ old = SelectObject(dc, font_);
      TEXTMETRICW tm{};
      GetTextMetricsW(dc, &tm);
      SelectObject(dc, old);
      ReleaseDC(hwnd_, dc);
      lineHeight_ = std::max(1, static_cast<int>(tm.tmHeight));
      layout();
      if (LOWORD(lp)) InvalidateRect(hwnd_, nullptr, FALSE);
      return 0;
    }
    case WM_GETFONT: handled = true; return reinterpret_cast<LRESULT>(font_);
    case WM_ERASEBKGND: handled = true; return 1;
    case WM_PAINT:
      handled = true;
      paint();
      return 0;
    case WM_SIZE: layout(); break;
    case WM_GETDLGCODE: handled = true; return DLGC_WANTALLKEYS | DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_LBUTTONDOWN: SetFocus(hwnd_); break;
    case WM_MOUSEWHEEL:
      handled = true;
      scrollTo(top_ - 3 * GET_WHEEL_DELTA_WPARAM(wp) / WHEEL_DELTA);
      return 0;
    case WM_VSCROLL: {
      handled = true;
      SCROLLINFO si{};
      si.cbSize = sizeof si;
      si.fMask = SIF_ALL;
      GetScrollInfo(hwnd_, SB_VERT, &si);
      long line = top_;
      switch (LOWORD(wp)) {
        case SB_LINEUP: --line; break;
        case SB_LINEDOWN: ++line; break;
        case SB_PAGEUP: line -= rows(); break;
        case SB_PAGEDOWN: line += rows(); break;
        case SB_THUMBTRACK:
        case SB_THUMBPOSITION: line = si.nTrackPos; break;
        case SB_TOP: line = 0; break;
        case SB_BOTTOM: line = lineCount(); break;
        default: break;
      }
      scrollTo(line);
      return 0;
    }
    case WM_KEYDOWN:
      switch (wp) {
        case VK_UP: scrollTo(top_ - 1); break;
        case VK_DOWN: scrollTo(top_ + 1); break;
        case VK_PRIOR: scrollTo(top_ - rows()); break;
        case VK_NEXT: scrollTo(top_ + rows()); break;
        case VK_HOME: scrollTo(0); break;
        case VK_END: scrollTo(lineCount()); break;
        default: break;
      }
      handled = true;
      return 0;
    default: break;
  }
  // Keys go to the component's key handler (Esc in the write log) there.
  return WinPeer::handle(msg, wp, lp, handled);
}

}  // namespace bench
