#pragma once
// The worker of one page, run by run. A stop belongs to the run it was given
// to, so a later start never revives a worker that was told to stop; when the
// page goes, its worker is stopped, its pending library call broken off and
// waited for before any control of the page goes.
#include <chrono>
#include <functional>
#include <memory>

#include "ui/Thread.h"

namespace ui {

class WorkerSlot {
 public:
  // breakOff makes a pending library call of the worker return (the page's
  // endcard or reset); it runs on the user-interface thread.
  explicit WorkerSlot(std::function<void()> breakOff = {});
  // Ends the run (see end()), waiting at most kTeardownLimit.
  ~WorkerSlot();
  WorkerSlot(const WorkerSlot&) = delete;
  WorkerSlot& operator=(const WorkerSlot&) = delete;

  void setBreakOff(std::function<void()> breakOff) { breakOff_ = std::move(breakOff); }

  // Whether the worker of the last start has not ended yet.
  bool busy() const { return worker_ && !worker_->finished(); }
  const std::shared_ptr<Thread>& current() const { return worker_; }

  // Before a start: true when no worker of the process is running, waiting
  // up to `patience` for them to end (a stopped worker may still be
  // returning from its library call). The window is served meanwhile.
  static bool idle(std::chrono::milliseconds patience);

  // Starts the worker as this slot's run. The worker of the previous run,
  // which has ended, is let go.
  void start(std::shared_ptr<Thread> worker);
  // Asks the current run's worker to stop; does not wait.
  void stop();
  // Before a start: a stopped worker still in a library call is broken off
  // again, every 50 ms for at most `patience`, the window served meanwhile. A
  // stop's single break-off misses a call that begins just after it.
  void finishStopped(std::chrono::milliseconds patience);
  // The page goes: stop, drop the worker's requests, break off its library
  // call and wait until it has ended, at most `limit`. The break-off is
  // repeated while waiting, since a call may begin just after one. True
  // when the worker has ended (or there was none).
  bool end(std::chrono::milliseconds limit);

  static constexpr std::chrono::milliseconds kTeardownLimit{10000};

 private:
  std::function<void()> breakOff_;
  std::shared_ptr<Thread> worker_;
};

}  // namespace ui
