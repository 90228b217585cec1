#pragma once
// The worker of one page, run by run: how a run starts, stops and ends, in
// one place for every page that has a worker.
//
// - Start: a run starts only when no worker of the process is running. A
//   stopped worker of this page that is still returning from its library
//   call is broken off again meanwhile; after kStartPatience the start is
//   refused with the page's message.
// - Stop: belongs to the run it was given to, so a later start never revives
//   a worker that was told to stop. The break-off is repeated while the
//   worker is still inside its call, for a short while and without holding
//   up the window: a break-off misses a call that begins just after it.
// - End (the page goes): the worker is stopped, its requests dropped, its
//   call broken off and waited for, at most teardownBound() of the run,
//   before any control of the page goes.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "ui/Application.h"
#include "ui/Thread.h"

namespace ui {

class WorkerSlot {
 public:
  // breakOff makes a pending library call of the worker return (the page's
  // endcard or reset); it runs on the user-interface thread. stillEnding is
  // the page's message when a start is refused.
  explicit WorkerSlot(std::function<void()> breakOff = {}, std::string stillEnding = {});
  // Ends the run (see end()).
  ~WorkerSlot();
  WorkerSlot(const WorkerSlot&) = delete;
  WorkerSlot& operator=(const WorkerSlot&) = delete;

  // Whether the worker of the last start has not ended yet.
  bool busy() const { return worker_ && !worker_->finished(); }
  const std::shared_ptr<Thread>& current() const { return worker_; }

  // The start guard, before a page changes anything for a new run: true
  // when no worker of the process is running, waiting up to kStartPatience
  // (the window served) for a stopped one to end and breaking this page's
  // stopped worker off again every kBreakOffInterval meanwhile. Otherwise
  // shows the page's message and returns false. False without a message
  // once the window is closing.
  bool mayStart();

  // Starts the worker as this slot's run; the time-out is the one its
  // library calls are given (0: none), for the teardown bound. Nothing
  // starts once the window is closing.
  void start(std::shared_ptr<Thread> worker, std::int32_t timeoutMs);

  // Stops the current run and breaks its library call off with `breakOff`
  // at once (the page's Stop: endcard, or reset for the continuous write;
  // also without a run). While the stopped worker is still inside a call,
  // the break-off is repeated every kBreakOffInterval, for kRepeatLimit at
  // most; the window is not held up meanwhile. Once the window is closing
  // the break-off is left to the teardown.
  void stop(std::function<void()> breakOff);
  // Stops the current run without a break-off of its own: a worker at a gate
  // or between cards ends on the stop.
  void stop() { stop(nullptr); }

  // The page goes: stop, drop the worker's requests, break off its library
  // call and wait until it has ended, at most teardownBound() of the run.
  // True when the worker has ended (or there was none). Once it has given
  // up, the abandoned worker is let go: it touches nothing when it returns,
  // and no run starts before it has ended.
  bool end();

  // Waits up to `patience` (the window served) until no worker of the
  // process is running.
  static bool idle(std::chrono::milliseconds patience);

  // The longest a page's teardown waits for a run with this time-out: the
  // library's own time-out ends the call at the latest, and a call without
  // a time-out (0) has the break-offs of kTeardownMargin.
  static std::chrono::milliseconds teardownBound(std::int32_t timeoutMs);

  static constexpr std::chrono::milliseconds kStartPatience{2000};
  static constexpr std::chrono::milliseconds kBreakOffInterval{50};
  static constexpr std::chrono::milliseconds kRepeatLimit{2000};
  static constexpr std::chrono::milliseconds kTeardownMargin{2000};

 private:
  void repeatBreakOff(std::function<void()> breakOff,
                      std::chrono::steady_clock::time_point until);
  void cancelRepeat();

  std::function<void()> breakOff_;
  std::string stillEnding_;
  std::shared_ptr<Thread> worker_;
  std::int32_t timeoutMs_ = 0;
  Application::ScheduleId repeat_ = 0;
};

}  // namespace ui
