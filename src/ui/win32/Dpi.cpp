#include "ui/win32/Dpi.h"

namespace ui::win32 {

namespace {

// Functions of Windows 10 (1607 and later), when the system has them.
struct Newer {
  using DpiForWindow = UINT(WINAPI*)(HWND);
  using AdjustForDpi = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);
  using MetricForDpi = int(WINAPI*)(int, UINT);
  DpiForWindow dpiForWindow = nullptr;
  AdjustForDpi adjustForDpi = nullptr;
  MetricForDpi metricForDpi = nullptr;

  Newer() {
    HMODULE user = GetModuleHandleW(L"user32.dll");
    if (!user) return;
    dpiForWindow =
        reinterpret_cast<DpiForWindow>(reinterpret_cast<void*>(GetProcAddress(user, "GetDpiForWindow")));
    adjustForDpi = reinterpret_cast<AdjustForDpi>(
        reinterpret_cast<void*>(GetProcAddress(user, "AdjustWindowRectExForDpi")));
    metricForDpi = reinterpret_cast<MetricForDpi>(
        reinterpret_cast<void*>(GetProcAddress(user, "GetSystemMetricsForDpi")));
  }
};

const Newer& newer() {
  static const Newer functions;
  return functions;
}

}  // namespace

int systemDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : kBaseDpi;
  if (screen) ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : kBaseDpi;
}

int dpiOf(HWND hwnd) {
  if (hwnd && newer().dpiForWindow)
    if (const UINT dpi = newer().dpiForWindow(hwnd); dpi > 0) return static_cast<int>(dpi);
  return systemDpi();
}

RECT scaledRect(const Rect& r, int dpi) {
  return RECT{scaled(r.left, dpi), scaled(r.top, dpi), scaled(r.left + r.width, dpi),
              scaled(r.top + r.height, dpi)};
}

RECT frameAround(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, int dpi) {
  RECT r{0, 0, clientWidth, clientHeight};
  if (newer().adjustForDpi)
    newer().adjustForDpi(&r, style, FALSE, exStyle, static_cast<UINT>(dpi));
  else
    AdjustWindowRectEx(&r, style, FALSE, exStyle);
  return r;
}

int metricAt(int index, int dpi) {
  if (newer().metricForDpi) return newer().metricForDpi(index, static_cast<UINT>(dpi));
  return GetSystemMetrics(index);
}

}  // namespace ui::win32
