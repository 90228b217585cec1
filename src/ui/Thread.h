#pragma once
// Worker threads and manual-reset events.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace ui {

class Thread {
 public:
  Thread() = default;
  // The owner waits for the worker (waitFor) before it destroys it; the
  // destructor only joins a worker that has ended or is about to.
  virtual ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Starts execute() on a new thread; called once, after construction.
  void start();
  bool started() const { return thread_.joinable() || finished_; }
  bool finished() const { return finished_.load(); }

  // User-interface thread: waits until execute() has ended, serving the
  // synchronize requests of every worker meanwhile (a worker that waits for
  // the user-interface thread cannot then deadlock with it).
  void waitFor();
  // As waitFor, at most for the given time; true when the worker has ended.
  bool waitFor(std::chrono::milliseconds limit);

  // The owner is closing: the worker's waiting and future requests are
  // dropped, not run; synchronize() then returns false.
  void abandon();
  bool abandoned() const { return abandoned_.load(); }

  // What ended execute() with an error, if anything did.
  std::exception_ptr fatalError() const;

 protected:
  virtual void execute() = 0;
  // Runs fn on the user-interface thread and waits for it. False when the
  // request was dropped: the worker must then end without touching its page.
  [[nodiscard]] bool synchronize(const std::function<void()>& fn);

 private:
  void body();
  std::thread thread_;
  std::atomic<bool> finished_{false};
  std::atomic<bool> abandoned_{false};
  mutable std::mutex errorMutex_;
  std::exception_ptr fatal_;
};

// A manual-reset event: stays set until reset.
class Event {
 public:
  explicit Event(bool initiallySet = false) : set_(initiallySet) {}
  void set();
  void reset();
  bool isSet() const;
  void wait() const;
  // True when the event was set within the time.
  bool wait(std::chrono::milliseconds limit) const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable cv_;
  bool set_;
};

}  // namespace ui
