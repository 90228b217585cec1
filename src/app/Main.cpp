// Program entry: the application with the Win32 backend until the main
// window closes.
#include <windows.h>

#include "app/Program.h"
#include "ui/win32/Entry.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return runProgram(ui::win32::install); }
