// The front panel of the emulated reader on Windows: a small window of its
// own, on a thread of its own, so that it answers while the program waits
// inside readcard or writecard. It changes only what a person at a real
// device could: the card's tracks, a swipe, a failure the device answers,
// the model detection reports. Shown when the settings file beside the
// library says so; started from the library's entry routine (PanelStart.cpp).
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "VirtualCard.h"
#include "panel/PanelIds.h"
#include "panel/Link.h"
#include "panel/PanelWindow.h"
#include "panel/Placement.h"
#include "panel/Settings.h"
#include "wintext/WinText.h"

namespace emu {

namespace {

HMODULE g_self = nullptr;

using namespace panel_ids;

struct Code {
  std::int32_t value;
  const wchar_t* text;
};

// The device's answers to readcard and writecard, as its function reference
// lists them (where read and write differ, both are named).
const Code kResults[] = {
    {0, L"0：正常读写卡片"},
    {-1, L"-1：创建串口句柄错误"},
    {-2, L"-2：建立串口句柄通信错误"},
    {-3, L"-3：获取串口状态错误"},
    {-4, L"-4：参数错误，model不等于1和2"},
    {-5, L"-5：设置串口参数错误"},
    {-6, L"-6：收到的不是合法的数据序列（超时）"},
    {-7, L"-7：读卡：发现异常退出字符；写卡：发送错误"},
    {-8, L"-8：读卡：发送错误；写卡：接收错误"},
    {-9, L"-9：读卡：接收错误；写卡：发送错误"},
    {-10, L"-10：读卡：发送错误；写卡：接收错误"},
    {-11, L"-11：读卡：发送错误；写卡：缓冲区中收到*字符"},
    {-12, L"-12：读卡：缓冲区中收到*字符"},
    {-13, L"-13：超时时间设置错误"},
    {-14, L"-14：写卡错误（数据有非法字符或太长）"},
    {-15, L"-15：清空串口缓冲区错误"},
    {-100, L"-100：操作被中断"},
};

// What detect answers: the models of the connection's detection table.
const Code kModels[] = {
    {2428, L"2428：zo40x（1/2/3轨），方式2"},   {2423, L"2423：ZVX423/623（2/3轨），方式2"},
    {2412, L"2412：ZVX412（1/2轨），方式2"},    {2403, L"2403：ZVX403（单3轨），方式2"},
    {2402, L"2402：ZVX402（单2轨），方式2"},    {1423, L"1423：ZVX423（2/3轨），方式1"},
    {1402, L"1402：ZVX402（单2轨），方式1"},    {0, L"0：判断机型失败"},
};

const wchar_t* const kRules[] = {
    L"1轨：空格到“_”的字符（0x20–0x5F），最多79个",
    L"2轨：数字0–9和 : ; < = > ?，最多40个",
    L"3轨：数字0–9和 : ; < = > ?，最多107个",
};

const wchar_t* selectionText(std::int32_t selection) {
  switch (selection) {
    case 1: return L"1轨";
    case 2: return L"2轨";
    case 3: return L"3轨";
    case 4: return L"1,2轨";
    case 5: return L"2,3轨";
    case 6: return L"1,2,3轨";
    default: return L"?轨";
  }
}

// The card holds bytes in the system's code page, as the program sends them.
std::wstring fromBytes(const std::string& bytes) { return wintext::widen(CP_ACP, bytes); }

std::string toBytes(const std::wstring& text) { return wintext::narrow(CP_ACP, text); }

std::wstring fromUtf8(const std::string& utf8) { return wintext::widen(CP_UTF8, utf8); }

std::wstring windowText(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

constexpr UINT_PTR kTimer = 1;

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

// Functions of newer Windows, looked up: the panel runs on Windows 7 too.
UINT dpiOfWindow(HWND hwnd) {
  using Fn = UINT(WINAPI*)(HWND);
  static const Fn fn = reinterpret_cast<Fn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (hwnd && fn)
    if (const UINT dpi = fn(hwnd); dpi > 0) return dpi;
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

RECT frameAround(int width, int height, DWORD style, UINT dpi) {
  using Fn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
  static const Fn fn = reinterpret_cast<Fn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
  RECT r{0, 0, width, height};
  if (fn) fn(&r, style, FALSE, 0, dpi);
  else AdjustWindowRectEx(&r, style, FALSE, 0);
  return r;
}

class Panel {
 public:
  explicit Panel(ParsedSettings parsed) : parsed_(std::move(parsed)) {}
  ~Panel() {
    if (font_) DeleteObject(font_);
  }
  Panel(const Panel&) = delete;
  Panel& operator=(const Panel&) = delete;

  void run() {
    if (!create()) return;
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
      if (IsDialogMessageW(hwnd_, &msg)) continue;
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }

 private:
  static LRESULT CALLBACK proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
      auto* self = static_cast<Panel*>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams);
      SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<Panel*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self) return self->handle(hwnd, msg, wp, lp);
    return DefWindowProcW(hwnd, msg, wp, lp);
  }

  bool create() {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = g_self;
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    RegisterClassExW(&wc);

    hwnd_ = CreateWindowExW(0, kClassName, kTitle, kStyle, 0, 0, 100, 100, nullptr, nullptr, g_self, this);
    if (!hwnd_) return false;
    dpi_ = static_cast<int>(dpiOfWindow(hwnd_));
    makeFont();
    build();
    open();
    refresh();
    SetTimer(hwnd_, kTimer, 150, nullptr);
    ShowWindow(hwnd_, SW_SHOWNOACTIVATE);
    UpdateWindow(hwnd_);
    return true;
  }

  // Sizes are 96-DPI pixels, scaled to the panel's screen.
  int px(int value) const { return MulDiv(value, dpi_, 96); }

  void makeFont() {
    if (font_) DeleteObject(font_);
    font_ = CreateFontW(-MulDiv(9, dpi_, 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                        OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                        L"MS Sans Serif");
  }

  // The window's size around a client area of 96-DPI pixels.
  SIZE outerSize(int width, int height) const {
    const RECT r = frameAround(px(width), px(height), kStyle, static_cast<UINT>(dpi_));
    return {r.right - r.left, r.bottom - r.top};
  }

  // Where the panel opens: beside the program's window (which stands at
  // 226, 168 with a client area of 680 x 435 at 96 DPI) where there is room
  // for the whole panel, else folded where it covers none of the program.
  void open() {
    RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const SIZE program = outerSize(680, 435);
    const SIZE full = outerSize(kWidth, kHeight);
    const SIZE compact = outerSize(kCompactWidth, kCompactHeight);
    const PanelPlace place = placePanel(Box{work.left, work.top, work.right, work.bottom},
                                        Box{226, 168, 226 + program.cx, 168 + program.cy},
                                        Box{0, 0, full.cx, full.cy}, Box{0, 0, compact.cx, compact.cy}, px(8));
    // A problem of the settings file shows at the top of the whole panel.
    compact_ = place.compact && !parsed_.problem;
    showForm(POINT{place.left, place.top});
  }

  // Folded or unfolded at this place: the window's size, which controls
  // show, and the button's caption.
  void showForm(POINT at) {
    const SIZE size = compact_ ? outerSize(kCompactWidth, kCompactHeight) : outerSize(kWidth, kHeight);
    for (const Placed& p : placed_) {
      const bool inCompact = p.rect.right <= kCompactWidth && p.rect.bottom <= kCompactHeight;
      ShowWindow(p.hwnd, !compact_ || inCompact ? SW_SHOWNA : SW_HIDE);
    }
    SetWindowTextW(fold_, compact_ ? L"展开" : L"收起");
    // Unfolded on a small screen, it moves up and left as far as it must to show whole.
    RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    at.x = std::max<LONG>(work.left, std::min<LONG>(at.x, work.right - size.cx));
    at.y = std::max<LONG>(work.top, std::min<LONG>(at.y, work.bottom - size.cy));
    SetWindowPos(hwnd_, nullptr, at.x, at.y, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    // A frame that the system draws otherwise than it told: the client area holds.
    RECT client;
    GetClientRect(hwnd_, &client);
    const int dx = px(compact_ ? kCompactWidth : kWidth) - client.right;
    const int dy = px(compact_ ? kCompactHeight : kHeight) - client.bottom;
    if (dx != 0 || dy != 0)
      SetWindowPos(hwnd_, nullptr, 0, 0, size.cx + dx, size.cy + dy, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
  }

  // Every control where its 96-DPI rectangle puts it at the panel's DPI.
  void layOut() {
    for (const Placed& p : placed_) {
      MoveWindow(p.hwnd, px(p.rect.left), px(p.rect.top), px(p.rect.right) - px(p.rect.left),
                 px(p.rect.bottom) - px(p.rect.top), TRUE);
      SendMessageW(p.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    }
  }

  HWND add(const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w, int h,
           int id = 0, DWORD exStyle = 0) {
    HWND child = CreateWindowExW(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, px(x), px(y),
                                 px(x + w) - px(x), px(y + h) - px(y), hwnd_,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), g_self, nullptr);
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    placed_.push_back({child, RECT{x, y, x + w, y + h}});
    return child;
  }

  void build() {
    // The folded panel is the top left corner of the whole one: what a
    // demonstration needs at hand.
    manual_ = add(L"BUTTON", L"手动刷卡", WS_TABSTOP | BS_AUTOCHECKBOX, 12, 10, 90, 20, kManual);
    swipe_ = add(L"BUTTON", L"刷卡", WS_TABSTOP | BS_PUSHBUTTON, 106, 7, 75, 25, kSwipe);
    fold_ = add(L"BUTTON", L"收起", WS_TABSTOP | BS_PUSHBUTTON, kCompactWidth - 88, 7, 76, 25, kFold);
    waiting_ = add(L"STATIC", L"", SS_LEFT, 12, 40, kCompactWidth - 24, 30, kWaiting);
    counts_ = add(L"STATIC", L"", SS_LEFT, 12, 72, kCompactWidth - 24, 16, kCounts);
    add(L"STATIC", L"自动刷卡延时（毫秒）：", SS_LEFT, kCompactWidth + 12, 12, 146, 16);
    delay_ = add(L"EDIT", L"", WS_TABSTOP | WS_BORDER | ES_NUMBER, kWidth - 82, 9, 70, 22, kDelay);

    const std::wstring source = L"设置来自 " + fromUtf8(kSettingsFileName) + L"，与 40x.dll 在同一个文件夹";
    problem_ = add(L"STATIC", parsed_.problem ? fromUtf8(*parsed_.problem).c_str() : source.c_str(),
                   SS_LEFT, 12, 100, kWidth - 24, 30, kProblem);

    add(L"BUTTON", L"卡片的磁道", BS_GROUPBOX, 8, 132, kWidth - 16, 166);
    for (int t = 0; t < 3; ++t) {
      const int y = 152 + t * 48;
      const wchar_t* name[] = {L"1轨", L"2轨", L"3轨"};
      add(L"STATIC", name[t], SS_LEFT, 18, y + 3, 30, 16);
      track_[t] = add(L"EDIT", L"", WS_TABSTOP | WS_BORDER | ES_AUTOHSCROLL, 52, y, 380, 22,
                      kTrackEdit + t);
      SendMessageW(track_[t], EM_LIMITTEXT, 299, 0);
      mark_[t] = add(L"STATIC", L"", SS_LEFT, 440, y + 3, kWidth - 456, 16, kTrackMark + t);
      add(L"STATIC", kRules[t], SS_LEFT, 52, y + 24, kWidth - 68, 16);
    }

    add(L"BUTTON", L"卡机的回答", BS_GROUPBOX, 8, 306, kWidth - 16, 78);
    add(L"STATIC", L"读写卡的结果：", SS_LEFT, 18, 328, 110, 16);
    result_ = add(L"COMBOBOX", L"", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 130, 324, 300, 300, kResult);
    for (const Code& c : kResults) SendMessageW(result_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(c.text));
    every_ = add(L"BUTTON", L"每次都这样回答", WS_TABSTOP | BS_AUTOCHECKBOX, 440, 326, kWidth - 456, 20, kEvery);
    add(L"STATIC", L"自动连机的型号：", SS_LEFT, 18, 356, 110, 16);
    model_ = add(L"COMBOBOX", L"", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, 130, 352, 300, 300, kModel);
    for (const Code& c : kModels) SendMessageW(model_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(c.text));

    add(L"STATIC", L"最近的调用（最新的在最上面）：", SS_LEFT, 12, 394, kWidth - 24, 16);
    calls_ = add(L"LISTBOX", L"", WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | WS_BORDER | LBS_NOINTEGRALHEIGHT,
                 12, 412, kWidth - 24, kHeight - 420, kCalls);
    SendMessageW(calls_, LB_SETHORIZONTALEXTENT, px(2000), 0);
  }

  void setText(HWND hwnd, const std::wstring& text) {
    if (windowText(hwnd) == text) return;
    updating_ = true;
    SetWindowTextW(hwnd, text.c_str());
    updating_ = false;
  }

  static int indexOf(const Code* codes, std::size_t count, std::int32_t value) {
    for (std::size_t i = 0; i < count; ++i)
      if (codes[i].value == value) return static_cast<int>(i);
    return -1;
  }

  void markTrack(int t) {
    const bool ok = encodable(t + 1, toBytes(windowText(track_[t])));
    invalid_[t] = !ok;
    setText(mark_[t], ok ? L"符合编码规则" : L"不符合编码规则！");
    InvalidateRect(mark_[t], nullptr, TRUE);
  }

  // What the reader is now, shown; fields the person is editing are left alone.
  void refresh() {
    const PanelView view = panelView(40);
    for (int t = 0; t < 3; ++t) {
      const std::string& bytes = view.tracks[static_cast<std::size_t>(t)];
      if (bytes != shown_[t] && GetFocus() != track_[t]) {
        shown_[t] = bytes;
        setText(track_[t], fromBytes(bytes));
      }
      markTrack(t);
    }
    if ((SendMessageW(manual_, BM_GETCHECK, 0, 0) == BST_CHECKED) != view.manualSwipe)
      SendMessageW(manual_, BM_SETCHECK, view.manualSwipe ? BST_CHECKED : BST_UNCHECKED, 0);
    EnableWindow(swipe_, view.manualSwipe);
    if (GetFocus() != delay_) setText(delay_, std::to_wstring(view.swipeDelayMs));
    EnableWindow(delay_, !view.manualSwipe);

    std::wstring waiting = L"没有等待刷卡的读写卡操作";
    if (view.waiting != PanelView::Waiting::None) {
      waiting = std::wstring(L"正在等待刷卡：") +
                (view.waiting == PanelView::Waiting::Read ? L"读卡" : L"写卡") + L"（" +
                selectionText(view.waitingSelection) + L"）";
      waiting += view.manualSwipe ? L"，请按“刷卡”" : L"，马上自动刷卡";
    }
    setText(waiting_, waiting);

    const int result = indexOf(kResults, std::size(kResults), view.chosenResult.value_or(0));
    if (SendMessageW(result_, CB_GETCURSEL, 0, 0) != result && SendMessageW(result_, CB_GETDROPPEDSTATE, 0, 0) == FALSE)
      SendMessageW(result_, CB_SETCURSEL, static_cast<WPARAM>(result), 0);
    if ((SendMessageW(every_, BM_GETCHECK, 0, 0) == BST_CHECKED) != view.chosenEvery)
      SendMessageW(every_, BM_SETCHECK, view.chosenEvery ? BST_CHECKED : BST_UNCHECKED, 0);
    int model = indexOf(kModels, std::size(kModels), view.detectAnswer);
    if (model < 0) {
      // An answer of the settings file that the list does not have.
      const std::wstring text = std::to_wstring(view.detectAnswer) + L"：设置文件给的回答";
      model = static_cast<int>(SendMessageW(model_, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                            reinterpret_cast<LPARAM>(text.c_str())));
      if (model < 0)
        model = static_cast<int>(SendMessageW(model_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
    }
    if (SendMessageW(model_, CB_GETCURSEL, 0, 0) != model && SendMessageW(model_, CB_GETDROPPEDSTATE, 0, 0) == FALSE)
      SendMessageW(model_, CB_SETCURSEL, static_cast<WPARAM>(model), 0);

    setText(counts_, L"读出 " + std::to_wstring(view.cardsRead) + L" 张，写入 " +
                         std::to_wstring(view.cardsWritten) + L" 张");
    if (view.calls != callsShown_) {
      callsShown_ = view.calls;
      SendMessageW(calls_, WM_SETREDRAW, FALSE, 0);
      SendMessageW(calls_, LB_RESETCONTENT, 0, 0);
      for (const std::string& line : view.lastCalls)
        SendMessageW(calls_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(fromBytes(line).c_str()));
      SendMessageW(calls_, WM_SETREDRAW, TRUE, 0);
      InvalidateRect(calls_, nullptr, TRUE);
    }
  }

  void chooseResult() {
    const LRESULT index = SendMessageW(result_, CB_GETCURSEL, 0, 0);
    const std::int32_t code =
        index >= 0 && static_cast<std::size_t>(index) < std::size(kResults) ? kResults[index].value : 0;
    panelChooseResult(code, SendMessageW(every_, BM_GETCHECK, 0, 0) == BST_CHECKED);
  }

  void command(int id, int code) {
    if (updating_) return;
    if (id >= kTrackEdit && id < kTrackEdit + 3 && code == EN_CHANGE) {
      const int t = id - kTrackEdit;
      shown_[t] = toBytes(windowText(track_[t]));
      panelSetTrack(t + 1, shown_[t]);
      markTrack(t);
    } else if (id == kManual && code == BN_CLICKED) {
      panelSetManualSwipe(SendMessageW(manual_, BM_GETCHECK, 0, 0) == BST_CHECKED);
    } else if (id == kSwipe && code == BN_CLICKED) {
      panelSwipe();
    } else if (id == kFold && code == BN_CLICKED) {
      // Folded again, it goes back where it stood folded, clear of the program.
      RECT r;
      GetWindowRect(hwnd_, &r);
      compact_ = !compact_;
      if (!compact_) foldedAt_ = POINT{r.left, r.top};
      showForm(compact_ ? foldedAt_ : POINT{r.left, r.top});
    } else if (id == kDelay && code == EN_CHANGE) {
      const std::wstring text = windowText(delay_);
      if (!text.empty() && text.size() <= 5) {
        const int ms = std::stoi(text);
        if (ms <= 60000) panelSetSwipeDelay(ms);
      }
    } else if ((id == kResult && code == CBN_SELCHANGE) || (id == kEvery && code == BN_CLICKED)) {
      chooseResult();
    } else if (id == kModel && code == CBN_SELCHANGE) {
      const LRESULT index = SendMessageW(model_, CB_GETCURSEL, 0, 0);
      if (index >= 0 && static_cast<std::size_t>(index) < std::size(kModels))
        panelSetDetectAnswer(kModels[index].value);
    }
    refresh();
  }

  LRESULT handle(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
      case WM_COMMAND: command(LOWORD(wp), HIWORD(wp)); return 0;
      case WM_TIMER:
        if (wp == kTimer) refresh();
        return 0;
      case WM_CTLCOLORSTATIC: {
        const HWND control = reinterpret_cast<HWND>(lp);
        const bool red = (control == problem_ && parsed_.problem) ||
                         (control == mark_[0] && invalid_[0]) || (control == mark_[1] && invalid_[1]) ||
                         (control == mark_[2] && invalid_[2]);
        const HDC dc = reinterpret_cast<HDC>(wp);
        SetTextColor(dc, red ? RGB(200, 0, 0) : GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
      }
      case WM_DPICHANGED: {
        // On a screen of another scaling: the same panel at its DPI.
        dpi_ = HIWORD(wp);
        makeFont();
        layOut();
        SendMessageW(calls_, LB_SETHORIZONTALEXTENT, px(2000), 0);
        const auto* suggested = reinterpret_cast<const RECT*>(lp);
        showForm(POINT{suggested->left, suggested->top});
        return 0;
      }
      case WM_CLOSE: DestroyWindow(hwnd); return 0;
      case WM_DESTROY:
        KillTimer(hwnd, kTimer);
        PostQuitMessage(0);
        return 0;
      default: return DefWindowProcW(hwnd, msg, wp, lp);
    }
  }

  static constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  static constexpr int kWidth = 560;
  static constexpr int kHeight = 568;
  static constexpr int kCompactWidth = 320;
  static constexpr int kCompactHeight = 96;

  struct Placed {
    HWND hwnd;
    RECT rect;  // 96-DPI pixels
  };
  std::vector<Placed> placed_;
  int dpi_ = 96;
  bool compact_ = false;
  POINT foldedAt_{0, 0};
  HWND fold_ = nullptr;

  ParsedSettings parsed_;
  HFONT font_ = nullptr;
  HWND hwnd_ = nullptr;
  HWND problem_ = nullptr;
  HWND track_[3] = {};
  HWND mark_[3] = {};
  bool invalid_[3] = {};
  std::string shown_[3];  // the bytes each track edit shows
  HWND manual_ = nullptr;
  HWND swipe_ = nullptr;
  HWND delay_ = nullptr;
  HWND waiting_ = nullptr;
  HWND result_ = nullptr;
  HWND every_ = nullptr;
  HWND model_ = nullptr;
  HWND counts_ = nullptr;
  HWND calls_ = nullptr;
  std::size_t callsShown_ = static_cast<std::size_t>(-1);
  bool updating_ = false;
};

}  // namespace

void runPanel(ParsedSettings parsed, HMODULE self) {
  g_self = self;
  {
    Panel panel(std::move(parsed));
    panel.run();
  }
  UnregisterClassW(kClassName, g_self);
}

}  // namespace emu
