#include "ui/WorkerSlot.h"

#include <algorithm>

#include "ui/Application.h"

namespace ui {

namespace {
constexpr std::chrono::milliseconds kBreakOffInterval{50};
}  // namespace

WorkerSlot::WorkerSlot(std::function<void()> breakOff) : breakOff_(std::move(breakOff)) {}

WorkerSlot::~WorkerSlot() { end(kTeardownLimit); }

bool WorkerSlot::idle(std::chrono::milliseconds patience) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + patience;
  Application& a = app();
  while (Thread::running() > 0) {
    const auto now = Clock::now();
    if (now >= deadline) return false;
    const auto slice = std::min(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now),
                                std::chrono::milliseconds(20));
    if (a.isUiThread()) a.serveWhileWaiting(slice);
    else a.waitForWork(slice);
  }
  return true;
}

void WorkerSlot::start(std::shared_ptr<Thread> worker) {
  worker_ = std::move(worker);
  worker_->start();
}

void WorkerSlot::stop() {
  if (worker_) worker_->requestStop();
}

void WorkerSlot::finishStopped(std::chrono::milliseconds patience) {
  const std::shared_ptr<Thread> worker = worker_;
  if (!worker || worker->finished() || !worker->stopRequested()) return;
  const auto deadline = std::chrono::steady_clock::now() + patience;
  while (!worker->finished() && std::chrono::steady_clock::now() < deadline) {
    if (breakOff_) breakOff_();
    if (!worker->waitFor(kBreakOffInterval) && app().isUiThread() && app().isRunningRequestOf(worker.get()))
      return;
  }
}

bool WorkerSlot::end(std::chrono::milliseconds limit) {
  if (!worker_) return true;
  std::shared_ptr<Thread> worker = worker_;
  worker->abandon();
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + limit;
  while (!worker->finished()) {
    if (breakOff_) breakOff_();
    const auto now = Clock::now();
    if (now >= deadline) return false;
    const auto slice = std::min(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now),
                                kBreakOffInterval);
    // False at once when the worker's own request is running below us: it
    // can only end after that request has returned, and it is abandoned.
    if (!worker->waitFor(slice) && !worker->finished() && app().isUiThread() &&
        app().isRunningRequestOf(worker.get()))
      return false;
  }
  worker_.reset();
  return true;
}

}  // namespace ui
