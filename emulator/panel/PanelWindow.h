#pragma once
// The front panel's window, on the calling thread: shows the panel with these
// settings and returns once it is closed. `self` is the library's module,
// which owns the window class.
#include <windows.h>

#include "panel/Settings.h"

namespace emu {

void runPanel(ParsedSettings parsed, HMODULE self);

}  // namespace emu
