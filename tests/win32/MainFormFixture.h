// The program's window as the window tests open it: TForm1 as the
// application's main form, shown, and taken down again with the application
// reset for the next test.
#pragma once

#include <windows.h>

#include <chrono>
#include <memory>

#include "Operator.h"
#include "app/MainForm.h"
#include "ui/Application.h"
#include "ui/win32/Win32Backend.h"

class WithMainForm {
 protected:
  // Shows `form` (a new one unless the test made it) once it has settled.
  void showMainForm() {
    if (!form) form = std::make_unique<TForm1>();
    ui::app().setMainForm(form.get());
    form->showForm();
    op::pump(std::chrono::milliseconds(150));
    top = ui::win32::handleOf(*form);
  }
  void closeMainForm() {
    ui::app().setMainForm(nullptr);
    form.reset();
    ui::app().resetTerminated();
  }

  std::unique_ptr<TForm1> form;
  HWND top = nullptr;
};
