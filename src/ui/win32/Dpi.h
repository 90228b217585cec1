#pragma once
// Display scaling. Form descriptions are in 96-DPI pixels; the windows are
// in the pixels of their monitor. Functions that Windows 7 lacks are looked
// up at run time, so the program still starts there (system DPI only).
#include <windows.h>

#include "ui/Control.h"

namespace ui::win32 {

constexpr int kBaseDpi = 96;

// The DPI of the screen the window is on: the monitor's where the system
// knows it per window, else the system's.
int dpiOf(HWND hwnd);
int systemDpi();

inline int scaled(int value, int dpi) { return MulDiv(value, dpi, kBaseDpi); }

// A described rectangle at this DPI. Edges are scaled, not sizes, so that
// controls that touch at 96 DPI still touch.
RECT scaledRect(const Rect& r, int dpi);

// The window rectangle around a client area of this size at this DPI.
RECT frameAround(int clientWidth, int clientHeight, DWORD style, DWORD exStyle, int dpi);

// A system metric (check box size, scroll bar width ...) at this DPI.
int metricAt(int index, int dpi);

}  // namespace ui::win32
