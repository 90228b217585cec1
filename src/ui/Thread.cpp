#include "ui/Thread.h"

#include "ui/Application.h"

namespace ui {

Thread::~Thread() {
  if (thread_.joinable()) {
    if (thread_.get_id() == std::this_thread::get_id()) thread_.detach();
    else thread_.join();
  }
}

void Thread::start() {
  if (thread_.joinable() || finished_) return;
  thread_ = std::thread([this] { body(); });
}

void Thread::body() {
  try {
    execute();
  } catch (...) {
    std::lock_guard lock(errorMutex_);
    fatal_ = std::current_exception();
  }
  finished_ = true;
  app().notifyWork();
}

void Thread::waitFor() {
  while (!waitFor(std::chrono::milliseconds(1000))) {
  }
}

bool Thread::waitFor(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  Application& a = app();
  for (;;) {
    if (a.isUiThread()) a.runPending();
    if (finished_) break;
    auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return false;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
    a.waitForWork(std::min(left, std::chrono::milliseconds(50)));
  }
  if (thread_.joinable()) thread_.join();
  return true;
}

void Thread::abandon() {
  abandoned_ = true;
  app().dropRequestsOf(this);
}

std::exception_ptr Thread::fatalError() const {
  std::lock_guard lock(errorMutex_);
  return fatal_;
}

bool Thread::synchronize(const std::function<void()>& fn) { return app().synchronize(this, fn); }

void Event::set() {
  {
    std::lock_guard lock(mutex_);
    set_ = true;
  }
  cv_.notify_all();
}

void Event::reset() {
  std::lock_guard lock(mutex_);
  set_ = false;
}

bool Event::isSet() const {
  std::lock_guard lock(mutex_);
  return set_;
}

void Event::wait() const {
  std::unique_lock lock(mutex_);
  cv_.wait(lock, [&] { return set_; });
}

bool Event::wait(std::chrono::milliseconds limit) const {
  std::unique_lock lock(mutex_);
  return cv_.wait_for(lock, limit, [&] { return set_; });
}

}  // namespace ui
