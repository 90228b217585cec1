#include "ui/WorkerSlot.h"

#include <algorithm>
#include <utility>

namespace ui {

namespace {
using Clock = std::chrono::steady_clock;
}  // namespace

WorkerSlot::WorkerSlot(std::function<void()> breakOff, std::string stillEnding)
    : breakOff_(std::move(breakOff)), stillEnding_(std::move(stillEnding)) {}

WorkerSlot::~WorkerSlot() { end(); }

std::chrono::milliseconds WorkerSlot::teardownBound(std::int32_t timeoutMs) {
  return std::chrono::milliseconds(std::max(timeoutMs, 0)) + kTeardownMargin;
}

bool WorkerSlot::idle(std::chrono::milliseconds patience) {
  return app().serveUntil([] { return Thread::running() == 0; }, Clock::now() + patience);
}

bool WorkerSlot::mayStart() {
  // The window is closing: the run would only be torn down again.
  if (app().closing()) return false;
  const auto deadline = Clock::now() + kStartPatience;
  const std::shared_ptr<Thread> own = worker_;
  Application& a = app();
  while (Thread::running() > 0 && !a.closing()) {
    // Our own stopped worker whose request is open below us (a dialog it
    // asked for) cannot end before that request returns.
    const bool waitable = !(own && a.isUiThread() && a.isRunningRequestOf(own.get()));
    if (!waitable || Clock::now() >= deadline) {
      showMessage(stillEnding_);
      return false;
    }
    if (own && !own->finished() && own->stopRequested() && own->inLibraryCall() && breakOff_)
      breakOff_();
    a.serveUntil([] { return Thread::running() == 0; },
                 std::min(deadline, Clock::now() + kBreakOffInterval));
  }
  return !a.closing();
}

void WorkerSlot::start(std::shared_ptr<Thread> worker, std::int32_t timeoutMs) {
  cancelRepeat();
  // A close asked while the page's handler waited (a box before the start).
  if (app().closing()) return;
  worker_ = std::move(worker);
  timeoutMs_ = timeoutMs;
  worker_->start();
}

void WorkerSlot::stop(std::function<void()> breakOff) {
  cancelRepeat();
  if (worker_) worker_->requestStop();
  // Closing: the teardown that follows breaks the call off; nothing but
  // that goes into the library after the close was asked.
  if (!breakOff || app().closing()) return;
  breakOff();
  if (busy()) repeatBreakOff(std::move(breakOff), Clock::now() + kRepeatLimit);
}

void WorkerSlot::repeatBreakOff(std::function<void()> breakOff, Clock::time_point until) {
  const std::weak_ptr<Thread> worker = worker_;
  repeat_ = app().schedule(kBreakOffInterval, [this, worker, breakOff = std::move(breakOff), until] {
    repeat_ = 0;
    const std::shared_ptr<Thread> w = worker.lock();
    if (!w || w->finished()) return;
    if (w->inLibraryCall()) breakOff();
    if (Clock::now() < until) repeatBreakOff(breakOff, until);
  });
}

void WorkerSlot::cancelRepeat() {
  if (repeat_ != 0) app().cancelScheduled(std::exchange(repeat_, 0));
}

bool WorkerSlot::end() {
  cancelRepeat();
  if (!worker_) return true;
  const std::shared_ptr<Thread> worker = worker_;
  worker->abandon();
  Application& a = app();
  const auto deadline = Clock::now() + teardownBound(timeoutMs_);
  while (!worker->finished()) {
    // An abandoned worker checks its stop before each call, so only one
    // already inside a call needs breaking off.
    if (worker->inLibraryCall() && breakOff_) breakOff_();
    // Its own request is running below us: it can only end after that has
    // returned, and being abandoned it touches nothing then.
    if (Clock::now() >= deadline || (a.isUiThread() && a.isRunningRequestOf(worker.get()))) {
      worker_.reset();
      return false;
    }
    a.serveUntil([&] { return worker->finished(); },
                 std::min(deadline, Clock::now() + kBreakOffInterval));
  }
  worker_.reset();
  return true;
}

}  // namespace ui
