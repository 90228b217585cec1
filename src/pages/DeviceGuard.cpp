#include "pages/DeviceGuard.h"

#include "device/LibraryTexts.h"
#include "ui/Application.h"
#include "ui/Thread.h"

namespace pages {

bool deviceFree(std::chrono::milliseconds patience, const char* busyText) {
  ui::Application& a = ui::app();
  if (a.closing()) return false;
  if (ui::WorkerSlot::idle(patience)) return !a.closing();
  if (a.closing()) return false;
  ui::showMessage(ui::Thread::givenUp() > 0 ? device::kLastCallPending : busyText);
  return false;
}

bool mayStart(ui::WorkerSlot& run) {
  if (ui::Thread::givenUp() > 0 &&
      !deviceFree(ui::WorkerSlot::kStartPatience, device::kLastCallPending))
    return false;
  return run.mayStart();
}

}  // namespace pages
