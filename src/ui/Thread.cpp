#include "ui/Thread.h"

#include "ui/Application.h"

namespace ui {

namespace {
std::atomic<int> g_running{0};
// Abandoned workers that had not ended when they were abandoned; one mutex
// so that an abandon and the worker's end never both miss the count.
std::mutex g_givenUpMutex;
int g_givenUp = 0;
}  // namespace

Thread::~Thread() {
  // Either the last reference went with the thread itself (its final step),
  // or the thread has let go of the object and is only leaving: no join can
  // wait for execute() here.
  if (thread_.joinable()) {
    if (thread_.get_id() == std::this_thread::get_id()) thread_.detach();
    else thread_.join();
  }
}

void Thread::start() {
  std::lock_guard lock(startMutex_);
  if (started_) return;
  std::shared_ptr<Thread> self = shared_from_this();
  started_ = true;
  ++g_running;
  try {
    thread_ = std::thread([self = std::move(self)]() mutable {
      // Until start() has stored the thread: the object may go with the last
      // reference below, and its destructor looks at thread_.
      { std::lock_guard wait(self->startMutex_); }
      self->body();
      self.reset();
    });
  } catch (...) {
    started_ = false;
    --g_running;
    throw;
  }
}

void Thread::body() {
  try {
    execute();
  } catch (...) {
    std::lock_guard lock(errorMutex_);
    fatal_ = std::current_exception();
  }
  {
    // Off the count before finished() says so: whoever waited for this
    // worker finds the process-wide count already without it.
    std::lock_guard lock(g_givenUpMutex);
    --g_running;
    if (countedGivenUp_) --g_givenUp;
    finished_ = true;
  }
  app().notifyWork();
}

int Thread::running() { return g_running.load(); }

int Thread::givenUp() {
  std::lock_guard lock(g_givenUpMutex);
  return g_givenUp;
}

bool Thread::callsBarred() { return app().closing(); }

void Thread::requestStop() {
  stopped_.store(true);
  stop_.request_stop();
}

void Thread::abandon() {
  {
    std::lock_guard lock(g_givenUpMutex);
    if (started_ && !finished_ && !countedGivenUp_) {
      countedGivenUp_ = true;
      ++g_givenUp;
    }
  }
  abandoned_ = true;
  requestStop();
  app().dropRequestsOf(this);
}

void Thread::waitFor() {
  while (!waitFor(std::chrono::milliseconds(1000))) {
    if (app().isUiThread() && app().isRunningRequestOf(this)) return;
  }
}

bool Thread::waitFor(std::chrono::milliseconds limit) {
  Application& a = app();
  const bool ui = a.isUiThread();
  a.serveUntil([&] { return finished_ || (ui && a.isRunningRequestOf(this)); },
               std::chrono::steady_clock::now() + limit);
  return finished_;
}

std::exception_ptr Thread::fatalError() const {
  std::lock_guard lock(errorMutex_);
  return fatal_;
}

bool Thread::synchronize(const std::function<void()>& fn) { return app().synchronize(this, fn); }

bool Thread::handOver(const std::function<void()>& fn) {
  if (!live()) return false;
  bool ran = false;
  const bool served = synchronize([&] {
    if (!live()) return;
    fn();
    ran = true;
  });
  return served && ran && live();
}

bool Thread::wait(const Event& event) const {
  // A stop wins over an event that is (or stays) set: a worker looping on an
  // open gate must still end.
  return event.wait(stop_.get_token()) && !stop_.stop_requested();
}

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

bool Event::wait(std::stop_token stop) const {
  std::unique_lock lock(mutex_);
  // An open event answers at once, without registering a stop callback for
  // a wait that does not happen (a batch passes its open gate every card).
  if (set_) return true;
  return cv_.wait(lock, stop, [&] { return set_; });
}

bool Event::wait(std::chrono::milliseconds limit) const {
  std::unique_lock lock(mutex_);
  return cv_.wait_for(lock, limit, [&] { return set_; });
}

}  // namespace ui
