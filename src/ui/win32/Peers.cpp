#include "ui/win32/Peers.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <exception>

#include "ui/Application.h"
#include "ui/Form.h"
#include "ui/win32/Dpi.h"
#include "ui/win32/Text.h"
#include "ui/win32/Win32Backend.h"

namespace ui::win32 {

const wchar_t* const kWindowClass = L"CardTestWindow";

namespace {

const wchar_t* const kPeerProp = L"CardTestPeer";
constexpr UINT_PTR kSubclassId = 1;

HINSTANCE instance() { return GetModuleHandleW(nullptr); }

WinPeer* peerOf(const Control* control) {
  return control ? dynamic_cast<WinPeer*>(control->peer()) : nullptr;
}

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// Colour names as form descriptions write them: system colours with or
// without the "cl" prefix, "#RRGGBB", or "$00BBGGRR".
bool parseColour(const std::string& text, COLORREF& out) {
  std::string s = lower(text);
  if (s.empty()) return false;
  if (s[0] == '#' && s.size() == 7) {
    const unsigned long v = std::strtoul(s.c_str() + 1, nullptr, 16);
    out = RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
    return true;
  }
  if (s[0] == '$') {
    out = static_cast<COLORREF>(std::strtoul(s.c_str() + 1, nullptr, 16) & 0xFFFFFF);
    return true;
  }
  if (s.rfind("cl", 0) == 0) s = s.substr(2);
  struct Named {
    const char* name;
    int index;
  };
  static const Named named[] = {
      {"menubar", COLOR_MENUBAR}, {"menu", COLOR_MENU},           {"btnface", COLOR_BTNFACE},
      {"3dface", COLOR_3DFACE},   {"3dlight", COLOR_3DLIGHT},     {"btnhighlight", COLOR_BTNHIGHLIGHT},
      {"window", COLOR_WINDOW},   {"info", COLOR_INFOBK},         {"btnshadow", COLOR_BTNSHADOW},
  };
  for (const Named& n : named) {
    if (s == n.name) {
      out = GetSysColor(n.index);
      return true;
    }
  }
  if (s == "white") return out = RGB(255, 255, 255), true;
  if (s == "black") return out = RGB(0, 0, 0), true;
  if (s == "silver") return out = RGB(192, 192, 192), true;
  return false;
}

// Messages to an edit that leave its text as it is: the copy read last
// holds through them.
bool leavesTextAlone(UINT msg) {
  switch (msg) {
    case WM_PAINT:
    case WM_NCPAINT:
    case WM_ERASEBKGND:
    case WM_SYNCPAINT:
    case WM_NCHITTEST:
    case WM_SETCURSOR:
    case WM_MOUSEMOVE:
    case WM_NCMOUSEMOVE:
    case WM_GETDLGCODE:
    case WM_GETFONT:
    case WM_GETOBJECT: return true;
    default: return false;
  }
}

bool takesKeys(Kind kind) {
  switch (kind) {
    case Kind::Form:
    case Kind::Button:
    case Kind::Memo:
    case Kind::Edit:
    case Kind::CheckBox:
    case Kind::RadioButton:
    case Kind::TabControl: return true;
    default: return false;
  }
}

// Border of memos and panels: "border" (or "border=single") gives one,
// "border=none" takes it away; "flat" makes it a plain line instead of a
// sunken edge.
void borderStyle(const Control& c, bool defaultBorder, DWORD& style, DWORD& exStyle) {
  const std::string border = lower(c.prop("border"));
  const bool flat = !c.prop("flat").empty() || border == "flat";
  bool any = defaultBorder;
  if (!border.empty()) any = border != "none" && border != "bsnone" && border != "0";
  if (!any) return;
  if (flat) style |= WS_BORDER;
  else exStyle |= WS_EX_CLIENTEDGE;
}

}  // namespace

void registerWindowClass() {
  WNDCLASSEXW wc{};
  if (GetClassInfoExW(instance(), kWindowClass, &wc)) return;
  wc.cbSize = sizeof wc;
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = instance();
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hIcon = LoadIconW(instance(), L"MAINICON");
  if (!wc.hIcon) wc.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
  wc.lpszClassName = kWindowClass;
  RegisterClassExW(&wc);
}

COLORREF backgroundOf(const Control& control) {
  COLORREF c;
  if (parseColour(control.prop("color"), c)) return c;
  switch (control.kind()) {
    case Kind::Memo:
    case Kind::Edit: return GetSysColor(COLOR_WINDOW);
    case Kind::Form:
    case Kind::Panel:
    case Kind::TabSheet: return GetSysColor(COLOR_BTNFACE);
    default: break;
  }
  return control.parent() ? backgroundOf(*control.parent()) : GetSysColor(COLOR_BTNFACE);
}

// --- WinPeer ---

WinPeer::WinPeer(Win32Backend& backend, Control& control) : backend_(backend), control_(control) {}

WinPeer::~WinPeer() {
  if (!hwnd_) return;
  HWND hwnd = hwnd_;
  hwnd_ = nullptr;
  RemoveWindowSubclass(hwnd, subclassProc, kSubclassId);
  RemovePropW(hwnd, kPeerProp);
  DestroyWindow(hwnd);
}

WinPeer* WinPeer::fromHwnd(HWND hwnd) {
  return hwnd ? static_cast<WinPeer*>(GetPropW(hwnd, kPeerProp)) : nullptr;
}

void WinPeer::create(const wchar_t* windowClass, DWORD style, DWORD exStyle) {
  WinPeer* parent = peerOf(control_.parent());
  if (!parent || !parent->containerHwnd()) return;
  const RECT r = parent->childRect(control_);
  style |= WS_CHILD | WS_CLIPSIBLINGS;
  if (shouldShow()) style |= WS_VISIBLE;
  if (!control_.enabled()) style |= WS_DISABLED;
  std::string caption = control_.caption();
  if (control_.kind() == Kind::Memo) caption = withCrLf(caption);
  HWND hwnd = CreateWindowExW(exStyle, windowClass, widen(caption).c_str(), style, r.left, r.top,
                              r.right - r.left, r.bottom - r.top, parent->containerHwnd(),
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(backend_.nextId())),
                              instance(), nullptr);
  if (!hwnd) return;
  attach(hwnd);
  // A component described later lies above the earlier ones, as it is drawn.
  SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  applyFont();
}

void WinPeer::attach(HWND hwnd) {
  hwnd_ = hwnd;
  SetPropW(hwnd, kPeerProp, this);
  SetWindowSubclass(hwnd, subclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
}

bool WinPeer::shouldShow() const { return control_.visible(); }

RECT WinPeer::childRect(const Control& child) const { return scaledRect(child.bounds(), dpi()); }

int WinPeer::dpi() const {
  Form* form = control_.form();
  if (auto* p = form ? dynamic_cast<const FormPeer*>(form->peer()) : nullptr) return p->formDpi();
  return systemDpi();
}

void WinPeer::rescaleTree() {
  if (!hwnd_) return;
  if (control_.kind() != Kind::Form)
    if (WinPeer* parent = peerOf(control_.parent())) {
      const RECT r = parent->childRect(control_);
      MoveWindow(hwnd_, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
    }
  applyFont();
  rescale();
  for (Control* child : control_.children())
    if (WinPeer* p = peerOf(child)) p->rescaleTree();
}

HFONT WinPeer::hfont() const { return backend_.font(control_.effectiveFont(), dpi()); }

void WinPeer::applyFont() {
  if (hwnd_) SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(hfont()), TRUE);
}

void WinPeer::applyFontTree() {
  applyFont();
  for (Control* child : control_.children())
    if (child->font().name.empty())
      if (WinPeer* p = peerOf(child)) p->applyFontTree();
}

void WinPeer::fillBackground(HDC dc) {
  RECT rc;
  GetClientRect(hwnd_, &rc);
  FillRect(dc, &rc, backend_.brush(backgroundOf(control_)));
}

void WinPeer::changed(Prop prop) {
  if (!hwnd_) return;
  switch (prop) {
    case Prop::Caption: SetWindowTextW(hwnd_, widen(control_.caption()).c_str()); break;
    case Prop::Enabled: EnableWindow(hwnd_, control_.enabled()); break;
    case Prop::Visible: ShowWindow(hwnd_, shouldShow() ? SW_SHOWNA : SW_HIDE); break;
    case Prop::Bounds:
      if (WinPeer* parent = peerOf(control_.parent())) {
        const RECT r = parent->childRect(control_);
        MoveWindow(hwnd_, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
      }
      break;
    case Prop::Font: applyFontTree(); break;
    default: break;
  }
}

void WinPeer::setFocus() {
  if (hwnd_) SetFocus(hwnd_);
}

HBRUSH WinPeer::ctlColor(HDC dc, UINT) {
  const COLORREF c = backgroundOf(control_);
  SetBkColor(dc, c);
  SetBkMode(dc, TRANSPARENT);
  return backend_.brush(c);
}

LRESULT WinPeer::handle(UINT msg, WPARAM wp, LPARAM lp, bool& handled) {
  const bool box = control_.kind() == Kind::GroupBox || control_.kind() == Kind::RadioGroup;
  switch (msg) {
    case WM_ERASEBKGND:
    case WM_PRINTCLIENT:
      // Themed buttons in a box ask the box to paint what lies behind them:
      // that is the box's colour, not its frame.
      if (!box) break;
      handled = true;
      fillBackground(reinterpret_cast<HDC>(wp));
      return msg == WM_ERASEBKGND;
    case WM_SETFOCUS:
      if (Form* f = control_.form()) f->setFocusedControl(&control_);
      break;
    case WM_CLOSE:
      // Only the form closes. A child window's default would destroy it
      // under its component (a multi-line edit in dialog mode posts this to
      // its parent on Esc).
      if (control_.kind() == Kind::Form) break;
      handled = true;
      return 0;
    case WM_CHAR: {
      if (!takesKeys(control_.kind())) break;
      const char32_t key = static_cast<char32_t>(wp);
      if (key >= 0xD800 && key <= 0xDFFF) break;  // halves of a pair pass as they are
      const char32_t left = control_.keyPress(key);
      handled = true;
      if (left == 0) return 0;
      return DefSubclassProc(hwnd_, msg, left == key ? wp : static_cast<WPARAM>(left), lp);
    }
    default: break;
  }
  return 0;
}

LRESULT CALLBACK WinPeer::subclassProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                                       DWORD_PTR ref) {
  auto* self = reinterpret_cast<WinPeer*>(ref);
  try {
    switch (msg) {
      case WM_COMMAND:
        if (lp) {
          WinPeer* child = fromHwnd(reinterpret_cast<HWND>(lp));
          if (child && child != self && child->onCommand(HIWORD(wp))) return 0;
        }
        break;
      case WM_NOTIFY: {
        const auto* nm = reinterpret_cast<NMHDR*>(lp);
        WinPeer* child = nm ? fromHwnd(nm->hwndFrom) : nullptr;
        LRESULT result = 0;
        if (child && child != self && child->onNotify(reinterpret_cast<NMHDR*>(lp), result))
          return result;
        break;
      }
      case WM_VSCROLL:
      case WM_HSCROLL:
        if (lp) {
          WinPeer* child = fromHwnd(reinterpret_cast<HWND>(lp));
          if (child && child != self && child->onScroll()) return 0;
        }
        break;
      case WM_CTLCOLORSTATIC:
      case WM_CTLCOLORBTN:
      case WM_CTLCOLOREDIT: {
        WinPeer* child = fromHwnd(reinterpret_cast<HWND>(lp));
        if (child && child != self)
          if (HBRUSH b = child->ctlColor(reinterpret_cast<HDC>(wp), msg))
            return reinterpret_cast<LRESULT>(b);
        break;
      }
      case WM_NCDESTROY:
        // The window went with its parent before its peer: forget it.
        RemoveWindowSubclass(hwnd, subclassProc, id);
        RemovePropW(hwnd, kPeerProp);
        self->hwnd_ = nullptr;
        return DefSubclassProc(hwnd, msg, wp, lp);
      default: break;
    }
    bool handled = false;
    const LRESULT result = self->handle(msg, wp, lp, handled);
    if (handled) return result;
  } catch (...) {
    app().showError(std::current_exception());
    return 0;
  }
  return DefSubclassProc(hwnd, msg, wp, lp);
}

// --- FormPeer ---

namespace {
constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kFormExStyle = WS_EX_CONTROLPARENT;

// The described place, moved up and left as far as needed (and possible)
// for a window of this size to stay clear of the task bar: scaled up on a
// small screen, the window would otherwise reach under it or off the screen.
POINT insideWorkArea(POINT to, int width, int height) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (!GetMonitorInfoW(MonitorFromPoint(to, MONITOR_DEFAULTTONEAREST), &info)) return to;
  const RECT& work = info.rcWork;
  to.x = std::max<LONG>(work.left, std::min<LONG>(to.x, work.right - width));
  to.y = std::max<LONG>(work.top, std::min<LONG>(to.y, work.bottom - height));
  return to;
}
}  // namespace

FormPeer::FormPeer(Win32Backend& backend, Control& control) : WinPeer(backend, control) {
  HWND hwnd = CreateWindowExW(kFormExStyle, kWindowClass, widen(control.caption()).c_str(), kFormStyle,
                              CW_USEDEFAULT, CW_USEDEFAULT, 400, 300, nullptr, nullptr, instance(),
                              nullptr);
  if (!hwnd) return;
  attach(hwnd);
  dpi_ = dpiOf(hwnd);
  place();
  applyFont();
  if (HICON icon = LoadIconW(instance(), L"MAINICON")) {
    SendMessageW(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon));
    SendMessageW(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  }
}

void FormPeer::place(const POINT* at) {
  const Rect& b = control_.bounds();
  if (b.width <= 0 || b.height <= 0) return;
  // The described size is the client area; the frame comes around it. The
  // place on the screen is the screen's, not scaled.
  const RECT r = frameAround(scaled(b.width, dpi_), scaled(b.height, dpi_), kFormStyle, kFormExStyle, dpi_);
  const int width = r.right - r.left, height = r.bottom - r.top;
  const POINT to = at ? *at : insideWorkArea(POINT{b.left, b.top}, width, height);
  SetWindowPos(hwnd_, nullptr, to.x, to.y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
  // A frame that the system draws otherwise than it told: the client area
  // holds, at the DPI of the screen the move ended on.
  RECT client;
  GetClientRect(hwnd_, &client);
  const int dx = scaled(b.width, dpi_) - client.right, dy = scaled(b.height, dpi_) - client.bottom;
  if (dx != 0 || dy != 0) {
    RECT outer;
    GetWindowRect(hwnd_, &outer);
    SetWindowPos(hwnd_, nullptr, 0, 0, outer.right - outer.left + dx, outer.bottom - outer.top + dy,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
  }
}

bool FormPeer::shouldShow() const {
  return static_cast<const Form&>(control_).shown() && control_.visible();
}

void FormPeer::changed(Prop prop) {
  if (!hwnd_) return;
  switch (prop) {
    case Prop::Bounds: place(); break;
    case Prop::Visible:
      if (shouldShow()) {
        ShowWindow(hwnd_, SW_SHOW);
        SetForegroundWindow(hwnd_);
        focusFirstControl(hwnd_);
        UpdateWindow(hwnd_);
      } else {
        ShowWindow(hwnd_, SW_HIDE);
      }
      break;
    default: WinPeer::changed(prop); break;
  }
}

LRESULT FormPeer::handle(UINT msg, WPARAM wp, LPARAM lp, bool& handled) {
  switch (msg) {
    case WM_CLOSE:
      handled = true;
      static_cast<Form&>(control_).close();
      return 0;
    case WM_ERASEBKGND:
      handled = true;
      fillBackground(reinterpret_cast<HDC>(wp));
      return 1;
    case WM_DPICHANGED: {
      // Moved to a screen of another scaling: the same layout at its DPI,
      // where the system suggests.
      handled = true;
      const int dpi = HIWORD(wp);
      if (dpi <= 0 || dpi == dpi_) return 0;
      dpi_ = dpi;
      const auto* suggested = reinterpret_cast<const RECT*>(lp);
      const POINT at = suggested ? POINT{suggested->left, suggested->top} : POINT{0, 0};
      place(suggested ? &at : nullptr);
      rescaleTree();
      RedrawWindow(hwnd_, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_ALLCHILDREN);
      return 0;
    }
    case WM_COMMAND:
      // Enter and Esc reach the window as IDOK and IDCANCEL: the window has
      // no default or cancel button, so they do nothing.
      if (lp == 0) {
        handled = true;
        return 0;
      }
      break;
    default: break;
  }
  return WinPeer::handle(msg, wp, lp, handled);
}

// --- ContainerPeer ---

ContainerPeer::ContainerPeer(Win32Backend& backend, Control& control) : WinPeer(backend, control) {
  DWORD style = WS_CLIPCHILDREN, exStyle = WS_EX_CONTROLPARENT;
  if (control.kind() == Kind::Panel) borderStyle(control, false, style, exStyle);
  create(kWindowClass, style, exStyle);
}

bool ContainerPeer::shouldShow() const {
  if (control_.kind() == Kind::TabSheet) {
    const auto& sheet = static_cast<const TabSheet&>(control_);
    const TabControl* tc = sheet.tabControl();
    return sheet.visible() && tc && tc->activeSheet() == &sheet;
  }
  return control_.visible();
}

void ContainerPeer::changed(Prop prop) {
  if (control_.kind() == Kind::TabSheet) {
    if (prop == Prop::Caption) {
      if (auto* tabs = dynamic_cast<TabPeer*>(peerOf(control_.parent()))) tabs->syncRow();
      return;
    }
    if (prop == Prop::Bounds || prop == Prop::TabVisible) return;  // the tab control places sheets
  }
  WinPeer::changed(prop);
}

LRESULT ContainerPeer::handle(UINT msg, WPARAM wp, LPARAM lp, bool& handled) {
  if (msg == WM_ERASEBKGND) {
    handled = true;
    fillBackground(reinterpret_cast<HDC>(wp));
    return 1;
  }
  return WinPeer::handle(msg, wp, lp, handled);
}

// --- ImagePeer ---

ImagePeer::ImagePeer(Win32Backend& backend, Control& control) : WinPeer(backend, control) {
  create(kWindowClass, 0, 0);
  load();
}

ImagePeer::~ImagePeer() {
  if (bitmap_) DeleteObject(bitmap_);
}

void ImagePeer::load() {
  if (bitmap_) DeleteObject(bitmap_);
  bitmap_ = nullptr;
  // A picture is a bitmap resource of the program, named in capitals.
  std::string name = static_cast<Image&>(control_).picture();
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  auto bitmap = [](const std::string& resource) {
    return static_cast<HBITMAP>(
        LoadImageW(instance(), widen(resource).c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  };
  // Above 100 % the picture drawn at twice the size, where there is one.
  factor_ = 1;
  if (!name.empty() && dpi() > kBaseDpi && (bitmap_ = bitmap(name + "_2X"))) factor_ = 2;
  else if (!name.empty()) bitmap_ = bitmap(name);
  if (hwnd_) InvalidateRect(hwnd_, nullptr, TRUE);
}

void ImagePeer::rescale() { load(); }

void ImagePeer::changed(Prop prop) {
  if (prop == Prop::Picture) load();
  else WinPeer::changed(prop);
}

LRESULT ImagePeer::handle(UINT msg, WPARAM wp, LPARAM lp, bool& handled) {
  if (msg == WM_ERASEBKGND) {
    handled = true;
    return 1;
  }
  if (msg == WM_PAINT) {
    handled = true;
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd_, &ps);
    fillBackground(dc);
    if (bitmap_) {
      BITMAP bm{};
      GetObjectW(bitmap_, sizeof bm, &bm);
      HDC mem = CreateCompatibleDC(dc);
      HGDIOBJ old = SelectObject(mem, bitmap_);
      // The picture keeps its share of the layout at any scaling.
      const int dpi = this->dpi();
      if (dpi == kBaseDpi && factor_ == 1) {
        BitBlt(dc, 0, 0, bm.bmWidth, bm.bmHeight, mem, 0, 0, SRCCOPY);
      } else {
        SetStretchBltMode(dc, HALFTONE);
        SetBrushOrgEx(dc, 0, 0, nullptr);
        StretchBlt(dc, 0, 0, MulDiv(bm.bmWidth, dpi, kBaseDpi * factor_),
                   MulDiv(bm.bmHeight, dpi, kBaseDpi * factor_), mem, 0, 0, bm.bmWidth, bm.bmHeight, SRCCOPY);
      }
      SelectObject(mem, old);
      DeleteDC(mem);
    }
    EndPaint(hwnd_, &ps);
    return 0;
  }
  return WinPeer::handle(msg, wp, lp, handled);
}

// --- TabPeer ---

TabPeer::TabPeer(Win32Backend& backend, Control& control) : WinPeer(backend, control) {
  create(WC_TABCONTROLW, WS_CLIPCHILDREN | WS_TABSTOP, WS_EX_CONTROLPARENT);
  syncRow();
}

RECT TabPeer::childRect(const Control& child) const {
  if (child.kind() != Kind::TabSheet || !hwnd_) return WinPeer::childRect(child);
  RECT rc;
  GetClientRect(hwnd_, &rc);
  TabCtrl_AdjustRect(hwnd_, FALSE, &rc);
  return rc;
}

void TabPeer::syncRow() {
  if (!hwnd_) return;
  TabCtrl_DeleteAllItems(hwnd_);
  const std::vector<TabSheet*> row = tabs().tabRow();
  for (std::size_t i = 0; i < row.size(); ++i) {
    std::wstring text = widen(row[i]->caption());
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = text.data();
    SendMessageW(hwnd_, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
  }
  for (TabSheet* sheet : tabs().sheets()) {
    if (WinPeer* p = peerOf(sheet); p && p->hwnd()) {
      const RECT r = childRect(*sheet);
      MoveWindow(p->hwnd(), r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
    }
  }
  showActive();
}

void TabPeer::showActive() {
  const std::vector<TabSheet*> row = tabs().tabRow();
  auto at = std::find(row.begin(), row.end(), tabs().activeSheet());
  TabCtrl_SetCurSel(hwnd_, at == row.end() ? -1 : static_cast<int>(at - row.begin()));
  for (TabSheet* sheet : tabs().sheets()) {
    if (WinPeer* p = peerOf(sheet); p && p->hwnd()) {
      const bool show = sheet == tabs().activeSheet() && sheet->visible();
      ShowWindow(p->hwnd(), show ? SW_SHOWNA : SW_HIDE);
    }
  }
}

void TabPeer::changed(Prop prop) {
  if (!hwnd_) return;
  switch (prop) {
    case Prop::TabVisible: syncRow(); break;
    case Prop::ActiveSheet: showActive(); break;
    case Prop::Caption: break;
    case Prop::Bounds:
    case Prop::Font:
      WinPeer::changed(prop);
      syncRow();
      break;
    default: WinPeer::changed(prop); break;
  }
}

bool TabPeer::onNotify(NMHDR* nm, LRESULT& result) {
  if (nm->code != TCN_SELCHANGE) return false;
  result = 0;
  const int index = TabCtrl_GetCurSel(hwnd_);
  // The component decides; a refused change puts the row back.
  if (!tabs().selectTab(index)) showActive();
  return true;
}

// --- SimplePeer, ButtonPeer, CheckPeer ---

SimplePeer::SimplePeer(Win32Backend& backend, Control& control, const wchar_t* windowClass, DWORD style,
                       DWORD exStyle)
    : WinPeer(backend, control) {
  create(windowClass, style, exStyle);
}

ButtonPeer::ButtonPeer(Win32Backend& backend, Control& control) : WinPeer(backend, control) {
  create(L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, 0);
}

bool ButtonPeer::onCommand(UINT code) {
  if (code != BN_CLICKED) return false;
  static_cast<Button&>(control_).click();
  return true;
}

CheckPeer::CheckPeer(Win32Backend& backend, Control& control) : WinPeer(backend, control) {
  DWORD style = WS_TABSTOP | (control.kind() == Kind::CheckBox ? BS_CHECKBOX : BS_RADIOBUTTON);
  if (lower(control.prop("alignment")) == "left") style |= BS_LEFTTEXT;
  create(L"BUTTON", style, 0);
  if (hwnd_) SendMessageW(hwnd_, BM_SETCHECK, checked() ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool CheckPeer::checked() const {
  if (control_.kind() == Kind::CheckBox) return static_cast<const CheckBox&>(control_).checked();
  return static_cast<const RadioButton&>(control_).checked();
}

void CheckPeer::changed(Prop prop) {
  if (prop == Prop::Checked) {
    if (hwnd_) SendMessageW(hwnd_, BM_SETCHECK, checked() ? BST_CHECKED : BST_UNCHECKED, 0);
    return;
  }
  WinPeer::changed(prop);
}

bool CheckPeer::onCommand(UINT code) {
  if (code != BN_CLICKED) return false;
  // The component owns the mark: it toggles or selects and runs the handler.
  if (control_.kind() == Kind::CheckBox) static_cast<CheckBox&>(control_).click();
  else static_cast<RadioButton&>(control_).click();
  return true;
}

// --- RadioGroupPeer ---

RadioGroupPeer::RadioGroupPeer(Win32Backend& backend, Control& control) : WinPeer(backend, control) {
  create(L"BUTTON", BS_GROUPBOX | WS_CLIPCHILDREN, WS_EX_CONTROLPARENT);
  rebuild();
}

RadioGroupPeer::~RadioGroupPeer() {
  for (HWND item : items_) DestroyWindow(item);
}

void RadioGroupPeer::rebuild() {
  if (!hwnd_) return;
  for (HWND item : items_) DestroyWindow(item);
  items_.clear();
  const auto& texts = group().items();
  for (std::size_t i = 0; i < texts.size(); ++i) {
    DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | BS_RADIOBUTTON;
    if (i == 0) style |= WS_GROUP | WS_TABSTOP;
    HWND item = CreateWindowExW(0, L"BUTTON", widen(texts[i]).c_str(), style, 0, 0, 10, 10, hwnd_,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(i + 1)), instance(),
                                nullptr);
    SetWindowPos(item, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    items_.push_back(item);
  }
  applyFont();
  arrange();
  showChecks();
  enableItems();
}

void RadioGroupPeer::applyFont() {
  WinPeer::applyFont();
  for (HWND item : items_) SendMessageW(item, WM_SETFONT, reinterpret_cast<WPARAM>(hfont()), TRUE);
}

void RadioGroupPeer::arrange() {
  if (items_.empty()) return;
  HDC dc = GetDC(hwnd_);
  HGDIOBJ old = SelectObject(dc, hfont());
  TEXTMETRICW tm{};
  GetTextMetricsW(dc, &tm);
  SelectObject(dc, old);
  ReleaseDC(hwnd_, dc);
  // Column by column below the caption, each item as high as the rows share.
  const int count = static_cast<int>(items_.size());
  const int columns = std::max(1, group().columns());
  const int perColumn = (count + columns - 1) / columns;
  const int dpi = this->dpi();
  const RECT box = scaledRect(control_.bounds(), dpi);
  const int width = (box.right - box.left - scaled(10, dpi)) / columns;
  const int free = box.bottom - box.top - tm.tmHeight - scaled(5, dpi);
  const int height = std::max(1, free / perColumn);
  const int top = tm.tmHeight + scaled(1, dpi) + (free % perColumn) / 2;
  for (int i = 0; i < count; ++i) {
    MoveWindow(items_[i], (i / perColumn) * width + scaled(8, dpi), (i % perColumn) * height + top, width,
               height, TRUE);
  }
}

void RadioGroupPeer::showChecks() {
  for (std::size_t i = 0; i < items_.size(); ++i)
    SendMessageW(items_[i], BM_SETCHECK,
                 static_cast<int>(i) == group().itemIndex() ? BST_CHECKED : BST_UNCHECKED, 0);
}

void RadioGroupPeer::enableItems() {
  for (HWND item : items_) EnableWindow(item, control_.enabled());
}

void RadioGroupPeer::changed(Prop prop) {
  if (!hwnd_) return;
  switch (prop) {
    case Prop::Items: rebuild(); break;
    case Prop::ItemIndex: showChecks(); break;
    case Prop::Enabled:
      WinPeer::changed(prop);
      enableItems();
      break;
    case Prop::Bounds:
      WinPeer::changed(prop);
      arrange();
      break;
    case Prop::Font:
      WinPeer::changed(prop);
      arrange();
      break;
    default: WinPeer::changed(prop); break;
  }
}

LRESULT RadioGroupPeer::handle(UINT msg, WPARAM wp, LPARAM lp, bool& handled) {
  switch (msg) {
    case WM_COMMAND: {
      auto at = std::find(items_.begin(), items_.end(), reinterpret_cast<HWND>(lp));
      if (lp && at != items_.end() && HIWORD(wp) == BN_CLICKED) {
        handled = true;
        group().clickItem(static_cast<int>(at - items_.begin()));
        return 0;
      }
      break;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      if (std::find(items_.begin(), items_.end(), reinterpret_cast<HWND>(lp)) != items_.end()) {
        handled = true;
        return reinterpret_cast<LRESULT>(ctlColor(reinterpret_cast<HDC>(wp), msg));
      }
      break;
    default: break;
  }
  return WinPeer::handle(msg, wp, lp, handled);
}

// --- TextPeer ---

TextPeer::TextPeer(Win32Backend& backend, Control& control) : WinPeer(backend, control) {
  DWORD style = WS_TABSTOP, exStyle = 0;
  if (static_cast<TextControl&>(control).readOnly()) style |= ES_READONLY;
  if (control.kind() == Kind::Memo) {
    style |= ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN;
    if (!control.prop("vscroll").empty()) style |= WS_VSCROLL;
    if (!control.prop("hscroll").empty()) style |= WS_HSCROLL | ES_AUTOHSCROLL;
  } else {
    style |= ES_AUTOHSCROLL;
  }
  borderStyle(control, true, style, exStyle);
  create(L"EDIT", style, exStyle);
  if (!hwnd_) return;
  // The default limit would drop text of a long log without a word.
  SendMessageW(hwnd_, EM_SETLIMITTEXT, 0x7FFFFFFE, 0);
  if (control.kind() == Kind::Edit) {
    // An up-down made before its edit attaches now.
    Control* root = &control;
    while (root->parent()) root = root->parent();
    std::vector<Control*> todo{root};
    while (!todo.empty()) {
      Control* c = todo.back();
      todo.pop_back();
      if (c->kind() == Kind::UpDown && static_cast<UpDown*>(c)->associate() == &control)
        if (auto* ud = dynamic_cast<UpDownPeer*>(c->peer())) ud->attachBuddy();
      todo.insert(todo.end(), c->children().begin(), c->children().end());
    }
  }
}

std::string TextPeer::text() const {
  if (!hwnd_) return {};
  if (cached_) return cache_;
  const int n = GetWindowTextLengthW(hwnd_);
  std::wstring buffer(static_cast<std::size_t>(n) + 1, L'\0');
  const int got = GetWindowTextW(hwnd_, buffer.data(), n + 1);
  cache_ = narrow(buffer.data(), got);
  cached_ = true;
  return cache_;
}

void TextPeer::setText(const std::string& text) {
  if (!hwnd_) return;
  SetWindowTextW(hwnd_, widen(multiLine() ? withCrLf(text) : text).c_str());
}

bool TextPeer::textEmpty() const {
  if (!hwnd_) return true;
  return cached_ ? cache_.empty() : GetWindowTextLengthW(hwnd_) == 0;
}

bool TextPeer::onCommand(UINT code) {
  // Changes made inside the control's own loops (its context menu) end here.
  if (code == EN_CHANGE) cached_ = false;
  return false;
}

void TextPeer::appendText(const std::string& text) {
  if (!hwnd_ || text.empty()) return;
  if (!multiLine()) {
    insertAtEnd(widen(text));
    return;
  }
  insertAtEnd(widen(withCrLf(text)));
  SendMessageW(hwnd_, EM_SCROLLCARET, 0, 0);
}

void TextPeer::insertAtEnd(const std::wstring& piece) {
  const int end = GetWindowTextLengthW(hwnd_);
  SendMessageW(hwnd_, EM_SETSEL, end, end);
  SendMessageW(hwnd_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(piece.c_str()));
}

int TextPeer::firstVisibleLine() const {
  if (!hwnd_) return 0;
  return static_cast<int>(SendMessageW(hwnd_, EM_GETFIRSTVISIBLELINE, 0, 0));
}

void TextPeer::scrollToTop() {
  if (!hwnd_) return;
  SendMessageW(hwnd_, EM_SETSEL, 0, 0);
  SendMessageW(hwnd_, WM_VSCROLL, SB_TOP, 0);
  SendMessageW(hwnd_, EM_SCROLLCARET, 0, 0);
}

void TextPeer::changed(Prop prop) {
  if (!hwnd_) return;
  switch (prop) {
    case Prop::ReadOnly:
      SendMessageW(hwnd_, EM_SETREADONLY, static_cast<TextControl&>(control_).readOnly(), 0);
      break;
    case Prop::Caption: break;  // the text goes through setText
    default: WinPeer::changed(prop); break;
  }
}

HBRUSH TextPeer::ctlColor(HDC dc, UINT) {
  if (!IsWindowEnabled(hwnd_)) return nullptr;  // the system's grey for a box that takes no input
  const COLORREF c = backgroundOf(control_);
  SetBkColor(dc, c);
  SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
  return backend_.brush(c);
}

LRESULT TextPeer::handle(UINT msg, WPARAM wp, LPARAM lp, bool& handled) {
  // Whatever may change the text forgets the copy read last, before the
  // control acts on it.
  if (!leavesTextAlone(msg) && msg != WM_GETTEXT && msg != WM_GETTEXTLENGTH) cached_ = false;
  if (msg == WM_KEYDOWN && wp == VK_ESCAPE && multiLine()) {
    // The edit would ask its parent to close; Esc is a character for the
    // key handler (WM_CHAR) and nothing else.
    handled = true;
    return 0;
  }
  return WinPeer::handle(msg, wp, lp, handled);
}

// --- UpDownPeer ---

UpDownPeer::UpDownPeer(Win32Backend& backend, Control& control) : WinPeer(backend, control) {
  create(UPDOWN_CLASSW, UDS_SETBUDDYINT | UDS_ARROWKEYS | UDS_NOTHOUSANDS, 0);
  if (!hwnd_) return;
  SendMessageW(hwnd_, UDM_SETRANGE32, upDown().min(), upDown().max());
  SendMessageW(hwnd_, UDM_SETPOS32, 0, upDown().position());
  attachBuddy();
}

void UpDownPeer::attachBuddy() {
  if (!hwnd_) return;
  Edit* edit = upDown().associate();
  WinPeer* p = peerOf(edit);
  if (p && p->hwnd()) SendMessageW(hwnd_, UDM_SETBUDDY, reinterpret_cast<WPARAM>(p->hwnd()), 0);
  // The control takes the system's unscaled arrow width when it is made: it
  // keeps the described one.
  if (WinPeer* parent = peerOf(control_.parent())) {
    const RECT r = parent->childRect(control_);
    MoveWindow(hwnd_, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
  }
}

void UpDownPeer::changed(Prop prop) {
  if (!hwnd_) return;
  if (prop == Prop::Position) {
    SendMessageW(hwnd_, UDM_SETRANGE32, upDown().min(), upDown().max());
    SendMessageW(hwnd_, UDM_SETPOS32, 0, upDown().position());
    return;
  }
  WinPeer::changed(prop);
}

bool UpDownPeer::onScroll() {
  // The control has stepped and written the edit; the component follows.
  upDown().positionChangedByPeer(static_cast<int>(SendMessageW(hwnd_, UDM_GETPOS32, 0, 0)));
  return true;
}

}  // namespace ui::win32
