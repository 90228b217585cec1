#pragma once
// What the program's entry needs of the Win32 backend, without the system's
// headers: installing it, and the system's own error box.
#include <string>

namespace ui::win32 {

// Installs the Win32 backend: the calling thread becomes the user-interface thread.
void install();

// The system's own error box, for an error that came before any backend
// could show the application's.
void systemErrorBox(const std::string& text);

}  // namespace ui::win32
