// The window suite runs on the thread that installed the Win32 backend.
#include <gtest/gtest.h>

#include "ui/Application.h"
#include "ui/win32/Win32Backend.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ui::win32::install();
  ui::app().setTitle("");
  const int result = RUN_ALL_TESTS();
  ui::app().setBackend(nullptr);
  return result;
}
