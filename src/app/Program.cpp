#include "app/Program.h"

#include <exception>
#include <memory>
#include <string>

#include "app/MainForm.h"
#include "ui/Application.h"
#include "ui/win32/Entry.h"

int runProgram(const std::function<void()>& installBackend) {
  int result = 0;
  try {
    installBackend();
    // Message boxes take the title as caption: they show none.
    ui::app().setTitle("");
    auto form = std::make_unique<TForm1>();
    ui::app().setMainForm(form.get());
    ui::app().run();
  } catch (...) {
    // Nothing of the window is left to go on with; say why before ending.
    if (ui::app().backend()) {
      ui::app().showError(std::current_exception());
    } else {
      // No backend to show the error box with: the system's box says it.
      std::string text = "Unknown error";
      try {
        throw;
      } catch (const std::exception& e) {
        text = e.what();
      } catch (...) {
      }
      ui::win32::systemErrorBox(text);
    }
    result = 1;
  }
  ui::app().setMainForm(nullptr);
  ui::app().setBackend(nullptr);
  return result;
}
