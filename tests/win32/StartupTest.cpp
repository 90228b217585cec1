// The program's start: an error before the window exists, the backend's own
// included, is shown to the operator instead of ending the program silently.
#include <windows.h>
#include <gtest/gtest.h>

#include <stdexcept>

#include "Operator.h"
#include "app/Program.h"
#include "ui/Application.h"
#include "ui/win32/Win32Backend.h"

namespace {

TEST(Startup, AFailingBackendIsReportedInABoxAndEndsTheProgram) {
  ui::app().setBackend(nullptr);  // as at the program's start
  op::BoxAnswerer answerer(IDOK);
  const int result = runProgram([] { throw std::runtime_error("无法创建窗口类"); });
  ui::win32::install();  // the suite goes on with its backend
  ui::app().setTitle("");
  ASSERT_EQ(answerer.boxes().size(), 1u);
  EXPECT_EQ(answerer.boxes()[0].text, "无法创建窗口类");
  EXPECT_TRUE(answerer.boxes()[0].hasIcon);
  EXPECT_EQ(result, 1);
}

}  // namespace
