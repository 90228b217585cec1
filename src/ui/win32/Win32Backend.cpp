#include "ui/win32/Win32Backend.h"

#include <commctrl.h>

#include <algorithm>
#include <climits>
#include <cwchar>
#include <exception>

#include "ui/Form.h"
#include "ui/win32/Dpi.h"
#include "ui/win32/LogPeer.h"
#include "ui/win32/Peers.h"
#include "ui/win32/Text.h"

namespace ui::win32 {

namespace {

const wchar_t* const kWakeClass = L"CardTestWake";
constexpr UINT kWakeMessage = WM_APP + 1;
constexpr UINT_PTR kScheduleTimer = 1;
Win32Backend* g_current = nullptr;

WinPeer* peerOf(const Control* control) {
  return control ? dynamic_cast<WinPeer*>(control->peer()) : nullptr;
}

int tabOrder(const Control* c) {
  const std::string t = c->prop("taborder");
  if (t.empty()) return INT_MAX;
  try {
    return std::stoi(t);
  } catch (...) {
    return INT_MAX;
  }
}

// The windows that Tab visits, in the components' tab order.
void collectTabStops(const Control& parent, std::vector<HWND>& out) {
  std::vector<Control*> kids = parent.children();
  std::stable_sort(kids.begin(), kids.end(),
                   [](const Control* a, const Control* b) { return tabOrder(a) < tabOrder(b); });
  bool radioTaken = false;
  for (const Control* c : kids)
    if (c->kind() == Kind::RadioButton && static_cast<const RadioButton*>(c)->checked()) radioTaken = true;
  for (const Control* c : kids) {
    if (!c->visible() || !c->enabled()) continue;
    if (c->kind() == Kind::TabSheet) {
      const auto* tc = static_cast<const TabSheet*>(c)->tabControl();
      if (!tc || tc->activeSheet() != c) continue;
    }
    WinPeer* p = peerOf(c);
    if (!p || !p->hwnd()) continue;
    switch (c->kind()) {
      case Kind::Button:
      case Kind::Memo:
      case Kind::Edit:
      case Kind::CheckBox: out.push_back(p->hwnd()); break;
      case Kind::RadioButton:
        // One stop per group of buttons: the marked one, else the first.
        if (static_cast<const RadioButton*>(c)->checked() || !radioTaken) {
          out.push_back(p->hwnd());
          radioTaken = true;
        }
        break;
      case Kind::RadioGroup: {
        auto* rg = dynamic_cast<RadioGroupPeer*>(p);
        const int index = static_cast<const RadioGroup*>(c)->itemIndex();
        if (rg && !rg->items().empty())
          out.push_back(rg->items()[index >= 0 && index < static_cast<int>(rg->items().size()) ? index : 0]);
        break;
      }
      case Kind::TabControl:
        out.push_back(p->hwnd());
        collectTabStops(*c, out);
        break;
      default: collectTabStops(*c, out); break;
    }
  }
}

std::vector<HWND> tabStops(HWND form) {
  std::vector<HWND> stops;
  if (WinPeer* p = WinPeer::fromHwnd(form)) collectTabStops(p->control(), stops);
  return stops;
}

void focusWindow(HWND hwnd) {
  SetFocus(hwnd);
  wchar_t cls[16] = {};
  GetClassNameW(hwnd, cls, 16);
  if (_wcsicmp(cls, L"Edit") == 0) SendMessageW(hwnd, EM_SETSEL, 0, -1);
}

}  // namespace

void focusFirstControl(HWND form) {
  HWND focus = GetFocus();
  if (focus && (focus == form || IsChild(form, focus))) return;
  const std::vector<HWND> stops = tabStops(form);
  if (!stops.empty()) focusWindow(stops.front());
}

bool moveFocus(HWND form, bool backwards) {
  const std::vector<HWND> stops = tabStops(form);
  if (stops.empty()) return false;
  HWND focus = GetFocus();
  auto at = stops.end();
  for (HWND w = focus; w && w != form && at == stops.end(); w = GetParent(w))
    at = std::find(stops.begin(), stops.end(), w);
  const int n = static_cast<int>(stops.size());
  int index = at == stops.end() ? (backwards ? 0 : n - 1) : static_cast<int>(at - stops.begin());
  index = backwards ? (index + n - 1) % n : (index + 1) % n;
  focusWindow(stops[index]);
  return true;
}

Win32Backend::Win32Backend() {
  g_current = this;
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_TAB_CLASSES | ICC_UPDOWN_CLASS |
                                           ICC_WIN95_CLASSES};
  InitCommonControlsEx(&icc);
  registerWindowClass();
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = wakeProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kWakeClass;
  RegisterClassExW(&wc);
  wakeWindow_ = CreateWindowExW(0, kWakeClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
}

Win32Backend::~Win32Backend() {
  if (wakeWindow_) DestroyWindow(wakeWindow_);
  for (auto& [key, font] : fonts_) DeleteObject(font);
  for (auto& [colour, brush] : brushes_) DeleteObject(brush);
  if (g_current == this) g_current = nullptr;
}

Win32Backend* Win32Backend::current() { return g_current; }

LRESULT CALLBACK Win32Backend::wakeProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == kWakeMessage || (msg == WM_TIMER && wp == kScheduleTimer)) {
    if (msg == WM_TIMER) KillTimer(hwnd, kScheduleTimer);
    else if (g_current) g_current->wakePosted_ = false;
    try {
      app().runPending();
    } catch (...) {
      app().showError(std::current_exception());
    }
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

void Win32Backend::wakeAfter(std::chrono::milliseconds delay) {
  // A timer belongs to the thread of its window: from elsewhere, the wake
  // brings the user-interface thread round, which sets the timer itself.
  if (!app().isUiThread()) {
    wake();
    return;
  }
  const auto ms = std::clamp<long long>(delay.count(), USER_TIMER_MINIMUM, 60000);
  SetTimer(wakeWindow_, kScheduleTimer, static_cast<UINT>(ms), nullptr);
}

void Win32Backend::wake() {
  // One message in the queue at a time is enough: it runs every request.
  if (!wakePosted_.exchange(true)) {
    if (!PostMessageW(wakeWindow_, kWakeMessage, 0, 0)) wakePosted_ = false;
  }
}

void Win32Backend::pumpMessages(int waitMs, bool input) {
  // Without input: paint, timers, posted work and sent messages only.
  const UINT filter = input ? 0 : PM_QS_PAINT | PM_QS_POSTMESSAGE | PM_QS_SENDMESSAGE;
  const DWORD wakeMask = input ? QS_ALLINPUT : QS_PAINT | QS_POSTMESSAGE | QS_TIMER | QS_SENDMESSAGE;
  MSG msg;
  if (waitMs > 0 && !PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | filter))
    MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(waitMs), wakeMask,
                                input ? MWMO_INPUTAVAILABLE : 0);
  const DWORD started = GetTickCount();
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE | filter)) {
    if (msg.message == WM_QUIT) {
      app().terminate();
      return;
    }
    HWND root = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    WinPeer* form = WinPeer::fromHwnd(root);
    if (form && form->control().kind() == Kind::Form) {
      if (msg.message == WM_KEYDOWN && msg.wParam == VK_TAB && GetKeyState(VK_CONTROL) >= 0) {
        moveFocus(root, GetKeyState(VK_SHIFT) < 0);
        continue;
      }
      if (IsDialogMessageW(root, &msg)) continue;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
    // Hand back now and then, so that a flood of messages does not starve
    // the caller's own checks.
    if (GetTickCount() - started > 200) break;
  }
}

std::unique_ptr<Peer> Win32Backend::createPeer(Control& control) {
  std::unique_ptr<WinPeer> peer;
  switch (control.kind()) {
    case Kind::Form: peer = std::make_unique<FormPeer>(*this, control); break;
    case Kind::Frame:
    case Kind::Panel:
    case Kind::TabSheet: peer = std::make_unique<ContainerPeer>(*this, control); break;
    case Kind::TabControl: peer = std::make_unique<TabPeer>(*this, control); break;
    case Kind::Image: peer = std::make_unique<ImagePeer>(*this, control); break;
    case Kind::Label:
      peer = std::make_unique<SimplePeer>(*this, control, L"STATIC", SS_LEFTNOWORDWRAP | SS_NOPREFIX, 0);
      break;
    case Kind::GroupBox:
      peer = std::make_unique<SimplePeer>(*this, control, L"BUTTON", BS_GROUPBOX | WS_CLIPCHILDREN,
                                          WS_EX_CONTROLPARENT);
      break;
    case Kind::Button: peer = std::make_unique<ButtonPeer>(*this, control); break;
    case Kind::CheckBox:
    case Kind::RadioButton: peer = std::make_unique<CheckPeer>(*this, control); break;
    case Kind::RadioGroup: peer = std::make_unique<RadioGroupPeer>(*this, control); break;
    case Kind::Edit: peer = std::make_unique<TextPeer>(*this, control); break;
    case Kind::Memo:
      // Batch logs grow without end: they get the control built for that.
      if (!control.prop("log").empty()) peer = std::make_unique<LogPeer>(*this, control);
      else peer = std::make_unique<TextPeer>(*this, control);
      break;
    case Kind::UpDown: peer = std::make_unique<UpDownPeer>(*this, control); break;
  }
  // Without a parent window there is nothing to show it in.
  if (!peer || !peer->hwnd()) return nullptr;
  return peer;
}

HFONT Win32Backend::font(const Font& f, int dpi) {
  const std::wstring face = widen(f.name.empty() ? std::string("MS Sans Serif") : f.name);
  const int height = f.pixelHeight > 0 ? -scaled(f.pixelHeight, dpi)
                                       : -MulDiv(f.pointSize > 0 ? f.pointSize : 8, dpi, 72);
  auto key = std::make_pair(face, height);
  auto it = fonts_.find(key);
  if (it != fonts_.end()) return it->second;
  LOGFONTW lf{};
  lf.lfHeight = height;
  lf.lfWeight = FW_NORMAL;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
  lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
  lf.lfQuality = DEFAULT_QUALITY;
  lf.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
  wcsncpy(lf.lfFaceName, face.c_str(), LF_FACESIZE - 1);
  HFONT font = CreateFontIndirectW(&lf);
  fonts_[key] = font;
  return font;
}

HBRUSH Win32Backend::brush(COLORREF colour) {
  auto it = brushes_.find(colour);
  if (it != brushes_.end()) return it->second;
  HBRUSH b = CreateSolidBrush(colour);
  brushes_[colour] = b;
  return b;
}

void install() { app().setBackend(std::make_unique<Win32Backend>()); }

HWND handleOf(const Control& control) {
  WinPeer* p = peerOf(&control);
  return p ? p->hwnd() : nullptr;
}

HWND dialogOwner() {
  Form* main = app().mainForm();
  HWND hwnd = main ? handleOf(*main) : nullptr;
  if (hwnd && IsWindowVisible(hwnd)) return hwnd;
  HWND active = GetActiveWindow();
  return active && WinPeer::fromHwnd(active) ? active : nullptr;
}

}  // namespace ui::win32
