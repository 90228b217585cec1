#pragma once
// Another program started as an operator starts it (by double-click: its own
// process, a working folder), and watched and driven from outside with the
// same means as op:: (its boxes, its main window, its controls).
#include <windows.h>

#include <chrono>
#include <optional>
#include <string>

#include "Operator.h"

namespace op {

// The text of a control of another process as it shows it now (an edit's
// text is not kept where GetWindowText of another process looks).
std::string remoteText(HWND hwnd);

class OtherProgram {
 public:
  OtherProgram(const std::wstring& exe, const std::wstring& workingFolder);
  // Closes its main window; ends the process (by its handle) if it stays.
  ~OtherProgram();
  OtherProgram(const OtherProgram&) = delete;
  OtherProgram& operator=(const OtherProgram&) = delete;

  bool started() const { return process_ != nullptr; }
  bool running() const;

  // The first message box of the program that is open within the limit.
  std::optional<Box> waitForBox(std::chrono::milliseconds limit);
  // Presses a button (IDOK) of the open box.
  void answerBox(int button = IDOK);
  HWND openBox() const;

  // Its main window, once shown (by its caption).
  HWND waitForMainWindow(const std::string& caption, std::chrono::milliseconds limit);

  bool waitForExit(std::chrono::milliseconds limit);

 private:
  HANDLE process_ = nullptr;
  DWORD pid_ = 0;
  HWND main_ = nullptr;
};

// Waits, without a message loop of its own, until the condition holds.
bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit);

// The folder of this test program, and a new empty folder under %TEMP%.
std::wstring ownFolder();
std::wstring freshFolder(const std::wstring& name);
void removeFolder(const std::wstring& folder);

}  // namespace op
