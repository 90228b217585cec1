// Program entry: the application with the Win32 backend, an empty title and
// the main window, until the main window closes.
#include <windows.h>

#include <exception>
#include <memory>

#include "app/MainForm.h"
#include "ui/Application.h"
#include "ui/win32/Win32Backend.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  int result = 0;
  ui::win32::install();
  try {
    // Message boxes take the title as caption: they show none.
    ui::app().setTitle("");
    auto form = std::make_unique<TForm1>();
    ui::app().setMainForm(form.get());
    ui::app().run();
  } catch (...) {
    // Nothing of the window is left to go on with; say why before ending.
    ui::app().showError(std::current_exception());
    result = 1;
  }
  ui::app().setMainForm(nullptr);
  ui::app().setBackend(nullptr);
  return result;
}
