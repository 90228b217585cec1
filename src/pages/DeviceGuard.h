#pragma once
// The one guard that every device call started from the window passes
// (connection, detection, reset, a single read or write, a run's start):
// no call goes into the library beside a worker that has not ended, and
// none once the window is closing.
#include <chrono>

#include "ui/WorkerSlot.h"

namespace pages {

// How long a call from the window waits for a stopped worker to end.
inline constexpr std::chrono::milliseconds kWorkerPatience{1000};

// True when no worker of the process is running, waiting up to `patience`
// (the window served) for one to end. Otherwise tells the operator why:
// device::kLastCallPending when a worker that its page gave up is still in
// its call, `busyText` for one that is simply still running. False without
// a message once the window is closing.
bool deviceFree(std::chrono::milliseconds patience, const char* busyText);

// A run's start: deviceFree() for a worker that another page gave up (it is
// not this page's to break off), then the slot's own start guard.
bool mayStart(ui::WorkerSlot& run);

}  // namespace pages
