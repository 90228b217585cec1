#include "ui/Application.h"

#include <algorithm>
#include <utility>

#include "ui/Control.h"
#include "ui/Form.h"
#include "ui/Thread.h"

namespace ui {

namespace {

// Dialogs of an application without a backend: nothing to show them on, so
// they answer as a closed dialog does.
class SilentDialogs : public Dialogs {
 public:
  void message(const std::string&) override {}
  bool confirm(const std::string&) override { return false; }
  std::optional<std::string> openFile(const std::string&, const std::string&) override {
    return std::nullopt;
  }
  void error(const std::string&) override {}
};

}  // namespace

struct Application::Request {
  Thread* from;
  const std::function<void()>* fn;
  enum State { Waiting, Running, Done, Dropped } state = Waiting;
  std::exception_ptr error;
};

Application::Application()
    : fallbackDialogs_(std::make_unique<SilentDialogs>()), uiThread_(std::this_thread::get_id()) {}

Application& Application::instance() {
  // Never destroyed: a worker that is still ending when the program's static
  // objects go must find the application it reports to.
  static Application* const app = new Application;
  return *app;
}

void Application::setBackend(std::unique_ptr<Backend> backend) {
  std::unique_ptr<Backend> old;
  {
    std::lock_guard lock(mutex_);
    old = std::exchange(backend_, std::move(backend));
    uiThread_ = std::this_thread::get_id();
  }
  terminated_ = false;
  // The old one goes outside the lock: no worker can reach it any more.
  old.reset();
}

void Application::wakeLocked() {
  if (backend_) backend_->wake();
}

Dialogs& Application::dialogs() { return backend_ ? backend_->dialogs() : *fallbackDialogs_; }

void Application::run() {
  if (mainForm_) mainForm_->showForm();
  while (!terminated_) {
    if (backend_) backend_->pumpMessages(100, true);
    else waitForWork(std::chrono::milliseconds(100));
    runPending();
  }
}

void Application::terminate() {
  terminated_ = true;
  notifyWork();
}

void Application::processMessages() {
  if (backend_) backend_->pumpMessages(0, true);
  runPending();
}

bool Application::runUntil(const std::function<bool()>& condition,
                           std::chrono::milliseconds timeout) {
  return loopUntil(condition, std::chrono::steady_clock::now() + timeout, true);
}

bool Application::serveUntil(const std::function<bool()>& condition,
                             std::chrono::steady_clock::time_point deadline) {
  const Waiting waiting;
  return loopUntil(condition, deadline, false);
}

bool Application::loopUntil(const std::function<bool()>& condition,
                            std::chrono::steady_clock::time_point deadline, bool input) {
  const bool ui = isUiThread();
  for (;;) {
    if (ui) {
      if (backend_) backend_->pumpMessages(0, input);
      runPending();
    }
    if (condition()) return true;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return condition();
    // Short slices: the condition may change without a message (a worker's
    // flag), and a message flood must not hold off the deadline.
    const auto slice = std::min(std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now),
                                std::chrono::milliseconds(ui ? 10 : 20));
    if (ui && backend_) backend_->pumpMessages(static_cast<int>(slice.count()), input);
    else waitForWork(slice);
  }
}

void Application::showError(const std::exception_ptr& error) noexcept {
  const Waiting waiting;
  try {
    try {
      std::rethrow_exception(error);
    } catch (const std::exception& e) {
      dialogs().error(e.what());
    } catch (...) {
      dialogs().error("Unknown error");
    }
  } catch (...) {
    // The error box itself failed; nothing more can be shown.
  }
}

void Application::dispatch(const std::function<void()>& handler) noexcept {
  enterHandler();
  try {
    handler();
  } catch (...) {
    showError(std::current_exception());
  }
  leaveHandler();
}

void Application::leaveHandler() {
  if (--handlerDepth_ > 0 || afterHandlers_.empty()) return;
  // From the loop, not from here: the caller of the handler that just
  // returned may still be on the stack (a control's click, a peer).
  for (auto& fn : std::exchange(afterHandlers_, {})) schedule(std::chrono::milliseconds(0), std::move(fn));
}

void Application::whenNoHandler(std::function<void()> fn) {
  if (handlerDepth_ > 0) afterHandlers_.push_back(std::move(fn));
  else schedule(std::chrono::milliseconds(0), std::move(fn));
}

Application::Waiting::Waiting() {
  Application& a = app();
  if (a.isUiThread()) ++a.waitDepth_;
}

Application::Waiting::~Waiting() {
  Application& a = app();
  if (a.isUiThread()) --a.waitDepth_;
}

bool Application::synchronize(Thread* from, const std::function<void()>& fn) {
  if (isUiThread()) {
    fn();
    return true;
  }
  Request request{from, &fn, Request::Waiting, nullptr};
  std::unique_lock lock(mutex_);
  if (from && from->abandoned()) return false;
  queue_.push_back(&request);
  ++workSerial_;
  wakeLocked();
  cv_.notify_all();
  cv_.wait(lock, [&] { return request.state == Request::Done || request.state == Request::Dropped; });
  if (request.state == Request::Dropped) return false;
  if (request.error) std::rethrow_exception(request.error);
  return true;
}

void Application::runPending() {
  runDue();
  for (;;) {
    Request* request = nullptr;
    {
      std::lock_guard lock(mutex_);
      if (queue_.empty()) return;
      request = queue_.front();
      queue_.pop_front();
      if (request->from && request->from->abandoned()) {
        request->state = Request::Dropped;
        request = nullptr;
      } else {
        request->state = Request::Running;
        runningFrom_.push_back(request->from);
      }
    }
    if (request) {
      std::exception_ptr error;
      enterHandler();
      try {
        (*request->fn)();
      } catch (...) {
        error = std::current_exception();
      }
      {
        std::lock_guard lock(mutex_);
        runningFrom_.pop_back();
        request->error = error;
        request->state = Request::Done;
      }
      leaveHandler();
    }
    cv_.notify_all();
  }
}

bool Application::hasPending() const {
  std::lock_guard lock(mutex_);
  return !queue_.empty();
}

void Application::dropRequestsOf(Thread* thread) {
  {
    std::lock_guard lock(mutex_);
    for (auto it = queue_.begin(); it != queue_.end();) {
      if ((*it)->from == thread) {
        (*it)->state = Request::Dropped;
        it = queue_.erase(it);
      } else {
        ++it;
      }
    }
  }
  cv_.notify_all();
}

void Application::waitForWork(std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  const unsigned long serial = workSerial_;
  // A scheduled call that falls due ends the wait too, so that the loop
  // that waits here runs it in time.
  if (isUiThread()) limit = untilNextLocked(limit);
  cv_.wait_for(lock, limit, [&] { return !queue_.empty() || workSerial_ != serial; });
}

Application::ScheduleId Application::schedule(std::chrono::milliseconds delay,
                                              std::function<void()> fn) {
  std::chrono::milliseconds wait;
  ScheduleId id;
  {
    std::lock_guard lock(mutex_);
    id = nextScheduleId_++;
    if (nextScheduleId_ == 0) nextScheduleId_ = 1;
    scheduled_.push_back({id, std::chrono::steady_clock::now() + delay, std::move(fn)});
    wait = untilNextLocked(delay);
    if (backend_) backend_->wakeAfter(wait);
  }
  cv_.notify_all();
  return id;
}

void Application::cancelScheduled(ScheduleId id) {
  std::lock_guard lock(mutex_);
  std::erase_if(scheduled_, [&](const Scheduled& s) { return s.id == id; });
}

std::chrono::milliseconds Application::untilNextLocked(std::chrono::milliseconds limit) const {
  const auto now = std::chrono::steady_clock::now();
  for (const Scheduled& s : scheduled_) {
    if (s.due <= now) return std::chrono::milliseconds(0);
    // Rounded up, so that a wake never comes a moment too early.
    limit = std::min(limit, std::chrono::ceil<std::chrono::milliseconds>(s.due - now));
  }
  return limit;
}

void Application::runDue() {
  for (;;) {
    std::function<void()> fn;
    {
      std::lock_guard lock(mutex_);
      const auto now = std::chrono::steady_clock::now();
      auto due = std::find_if(scheduled_.begin(), scheduled_.end(),
                              [&](const Scheduled& s) { return s.due <= now; });
      if (due == scheduled_.end()) {
        if (!scheduled_.empty() && backend_)
          backend_->wakeAfter(untilNextLocked(std::chrono::milliseconds(60000)));
        return;
      }
      fn = std::move(due->fn);
      scheduled_.erase(due);
    }
    try {
      fn();
    } catch (...) {
      showError(std::current_exception());
    }
  }
}

void Application::notifyWork() {
  {
    std::lock_guard lock(mutex_);
    ++workSerial_;
    wakeLocked();
  }
  cv_.notify_all();
}

bool Application::isRunningRequestOf(const Thread* thread) const {
  std::lock_guard lock(mutex_);
  return std::find(runningFrom_.begin(), runningFrom_.end(), thread) != runningFrom_.end();
}

void showMessage(const std::string& text) {
  const Application::Waiting waiting;
  app().dialogs().message(text);
}

bool confirm(const std::string& text) {
  const Application::Waiting waiting;
  return app().dialogs().confirm(text);
}

std::optional<std::string> openFileDialog(const std::string& filter,
                                          const std::string& defaultExtension) {
  const Application::Waiting waiting;
  return app().dialogs().openFile(filter, defaultExtension);
}

}  // namespace ui
