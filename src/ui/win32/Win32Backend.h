#pragma once
// The Win32 backend: native windows for the components, the message loop and
// the hand-over of synchronize requests through a message-only window.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "ui/Application.h"
#include "ui/Control.h"
#include "ui/win32/Entry.h"

namespace ui::win32 {

class Win32Dialogs : public Dialogs {
 public:
  void message(const std::string& text) override;
  bool confirm(const std::string& text) override;
  std::optional<std::string> openFile(const std::string& filter,
                                      const std::string& defaultExtension) override;
  void error(const std::string& text) override;
};

class Win32Backend : public Backend {
 public:
  Win32Backend();
  ~Win32Backend() override;

  std::unique_ptr<Peer> createPeer(Control& control) override;
  Dialogs& dialogs() override { return dialogs_; }
  void wake() override;
  void wakeAfter(std::chrono::milliseconds delay) override;
  void pumpMessages(int waitMs, bool input) override;

  // Shared GDI objects, owned here and released with the backend.
  // A font at this DPI: point sizes as the screen's points, pixel heights
  // as 96-DPI pixels.
  HFONT font(const Font& font, int dpi);
  HBRUSH brush(COLORREF colour);

  // A fresh control id for a child window.
  int nextId() { return nextId_++; }

  static Win32Backend* current();

 private:
  static LRESULT CALLBACK wakeProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

  Win32Dialogs dialogs_;
  HWND wakeWindow_ = nullptr;
  std::atomic<bool> wakePosted_{false};
  std::map<std::pair<std::wstring, int>, HFONT> fonts_;
  std::map<COLORREF, HBRUSH> brushes_;
  int nextId_ = 1000;
};


// The window of a component (nullptr without a peer), for tests and for
// code that must hand a native owner to the system.
HWND handleOf(const Control& control);

// The owner window for dialogs: the main form's window when it is on screen.
HWND dialogOwner();

}  // namespace ui::win32
