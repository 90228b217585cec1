#include "Operator.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>

#include "ui/Application.h"
#include "ui/win32/Text.h"

namespace op {

using ui::win32::narrow;
using ui::win32::widen;

std::string text(HWND hwnd) {
  const int n = GetWindowTextLengthW(hwnd);
  std::wstring buffer(static_cast<std::size_t>(n) + 1, L'\0');
  const int got = GetWindowTextW(hwnd, buffer.data(), n + 1);
  return narrow(buffer.data(), got);
}

std::string className(HWND hwnd) {
  wchar_t name[64] = {};
  GetClassNameW(hwnd, name, 64);
  return narrow(name, static_cast<int>(wcslen(name)));
}

Place placeOf(HWND hwnd) {
  RECT r;
  GetWindowRect(hwnd, &r);
  MapWindowPoints(HWND_DESKTOP, GetParent(hwnd), reinterpret_cast<POINT*>(&r), 2);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

SIZE clientSize(HWND hwnd) {
  RECT r;
  GetClientRect(hwnd, &r);
  return {r.right - r.left, r.bottom - r.top};
}

void pump(std::chrono::milliseconds time) {
  ui::app().runUntil([] { return false; }, time);
}

bool pumpUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  return ui::app().runUntil(condition, limit);
}

void press(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }

void type(HWND hwnd, const std::string& utf8) {
  for (wchar_t c : widen(utf8)) SendMessageW(hwnd, WM_CHAR, c, 1);
}

void key(HWND hwnd, UINT vk) {
  const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC)) << 16;
  PostMessageW(hwnd, WM_KEYDOWN, vk, scan | 1);
  // Key up: previous state down, transition bit set.
  PostMessageW(hwnd, WM_KEYUP, vk, scan | 1 | static_cast<LPARAM>(0xC0000000u));
}

void clickTab(HWND tabs, int index) {
  RECT r{};
  SendMessageW(tabs, TCM_GETITEMRECT, index, reinterpret_cast<LPARAM>(&r));
  const LPARAM at = MAKELPARAM((r.left + r.right) / 2, (r.top + r.bottom) / 2);
  PostMessageW(tabs, WM_LBUTTONDOWN, MK_LBUTTON, at);
  PostMessageW(tabs, WM_LBUTTONUP, 0, at);
}

std::vector<std::string> tabTexts(HWND tabs) {
  std::vector<std::string> out;
  const int n = static_cast<int>(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < n; ++i) {
    wchar_t buffer[128] = {};
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = buffer;
    item.cchTextMax = 128;
    SendMessageW(tabs, TCM_GETITEMW, i, reinterpret_cast<LPARAM>(&item));
    out.push_back(narrow(buffer, static_cast<int>(wcslen(buffer))));
  }
  return out;
}

void clickArrow(HWND upDown, bool up) {
  RECT r;
  GetClientRect(upDown, &r);
  const LPARAM at = MAKELPARAM(r.right / 2, up ? r.bottom / 4 : r.bottom * 3 / 4);
  SendMessageW(upDown, WM_LBUTTONDOWN, MK_LBUTTON, at);
  SendMessageW(upDown, WM_LBUTTONUP, 0, at);
}

std::vector<HWND> children(HWND parent) {
  std::vector<HWND> out;
  for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) out.push_back(c);
  // The window list runs from the top of the z-order; later windows lie on top.
  std::reverse(out.begin(), out.end());
  return out;
}

HWND findByText(HWND parent, const std::string& wanted, const char* cls) {
  for (HWND c : children(parent)) {
    if (text(c) == wanted && (!cls || _stricmp(className(c).c_str(), cls) == 0)) return c;
    if (HWND inner = findByText(c, wanted, cls)) return inner;
  }
  return nullptr;
}

namespace {

BoxAnswerer* g_answerer = nullptr;

struct Found {
  std::vector<HWND> boxes;
};

BOOL CALLBACK collectBoxes(HWND hwnd, LPARAM lp) {
  if (className(hwnd) == "#32770" && IsWindowVisible(hwnd))
    reinterpret_cast<Found*>(lp)->boxes.push_back(hwnd);
  return TRUE;
}

std::vector<HWND> openBoxes() {
  Found found;
  EnumThreadWindows(GetCurrentThreadId(), collectBoxes, reinterpret_cast<LPARAM>(&found));
  return found.boxes;
}

}  // namespace

Box readBox(HWND box) {
  Box b;
  b.caption = text(box);
  b.owner = GetWindow(box, GW_OWNER);
  for (HWND c : children(box)) {
    const std::string cls = className(c);
    const LONG style = GetWindowLongW(c, GWL_STYLE);
    if (_stricmp(cls.c_str(), "Static") == 0) {
      if ((style & SS_TYPEMASK) == SS_ICON) {
        if (IsWindowVisible(c) && SendMessageW(c, STM_GETICON, 0, 0)) b.hasIcon = true;
      } else if (!text(c).empty()) {
        b.text = text(c);
      }
    } else if (_stricmp(cls.c_str(), "Button") == 0 && IsWindowVisible(c)) {
      b.buttons.push_back(text(c));
    }
  }
  return b;
}

bool boxOpen() { return !openBoxes().empty(); }

BoxAnswerer::BoxAnswerer(int button, std::function<bool()> ready)
    : BoxAnswerer([button, ready = std::move(ready)](const Box&) {
        return !ready || ready() ? button : kNotYet;
      }) {}

BoxAnswerer::BoxAnswerer(std::function<int(const Box&)> choose) : choose_(std::move(choose)) {
  g_answerer = this;
  // A thread timer: the modal loop of a box dispatches it as well.
  timer_ = SetTimer(nullptr, 0, 30, tick);
}

BoxAnswerer::~BoxAnswerer() {
  KillTimer(nullptr, timer_);
  if (g_answerer == this) g_answerer = nullptr;
}

void CALLBACK BoxAnswerer::tick(HWND, UINT, UINT_PTR, DWORD) {
  if (g_answerer) g_answerer->check();
}

void BoxAnswerer::check() {
  for (HWND box : openBoxes()) {
    if (std::find(answered_.begin(), answered_.end(), box) != answered_.end()) continue;
    Box seen = readBox(box);
    const int button = choose_(seen);
    if (button == kNotYet) continue;
    boxes_.push_back(std::move(seen));
    answered_.push_back(box);
    if (button == 0) PostMessageW(box, WM_CLOSE, 0, 0);
    else if (HWND b = GetDlgItem(box, button)) PostMessageW(b, BM_CLICK, 0, 0);
    else PostMessageW(box, WM_COMMAND, button, 0);
  }
}

bool BoxAnswerer::waitFor(std::size_t count, std::chrono::milliseconds limit) {
  return pumpUntil([&] { return boxes_.size() >= count && openBoxes().empty(); }, limit);
}

std::string screenshot(HWND window, const std::string& name) {
  // The folder: CARDTEST_SCREENSHOTS, else "screenshots" beside the program's folder.
  std::wstring dir;
  if (const wchar_t* env = _wgetenv(L"CARDTEST_SCREENSHOTS"); env && *env) {
    dir = env;
  } else {
    wchar_t exe[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    dir = exe;
    dir = dir.substr(0, dir.find_last_of(L"\\/"));
    dir = dir.substr(0, dir.find_last_of(L"\\/")) + L"\\screenshots";
  }
  CreateDirectoryW(dir.c_str(), nullptr);
  const std::wstring path = dir + L"\\" + widen(name) + L".bmp";

  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  pump(std::chrono::milliseconds(150));
  const SIZE size = clientSize(window);
  HDC src = GetDC(window);
  HDC mem = CreateCompatibleDC(src);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = size.cx;
  info.bmiHeader.biHeight = size.cy;  // bottom-up, as a BMP file stores it
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(mem, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(mem, dib);
  BitBlt(mem, 0, 0, size.cx, size.cy, src, 0, 0, SRCCOPY);
  GdiFlush();
  const DWORD stride = ((static_cast<DWORD>(size.cx) * 3 + 3) / 4) * 4;
  const DWORD imageSize = stride * static_cast<DWORD>(size.cy);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info.bmiHeader;
  file.bfSize = file.bfOffBits + imageSize;
  info.bmiHeader.biSizeImage = imageSize;
  if (FILE* f = _wfopen(path.c_str(), L"wb")) {
    std::fwrite(&file, sizeof file, 1, f);
    std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, f);
    std::fwrite(bits, 1, imageSize, f);
    std::fclose(f);
  }
  SelectObject(mem, old);
  DeleteObject(dib);
  DeleteDC(mem);
  ReleaseDC(window, src);
  return narrow(path);
}

bool setClipboardText(const std::string& utf8) {
  const std::wstring w = widen(utf8);
  if (!OpenClipboard(nullptr)) return false;
  EmptyClipboard();
  HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, (w.size() + 1) * sizeof(wchar_t));
  auto* p = static_cast<wchar_t*>(GlobalLock(mem));
  std::copy(w.c_str(), w.c_str() + w.size() + 1, p);
  GlobalUnlock(mem);
  SetClipboardData(CF_UNICODETEXT, mem);
  CloseClipboard();
  return true;
}

}  // namespace op
