#pragma once
// Worker threads and manual-reset events.
//
// A worker is always owned through a shared_ptr (make it with
// std::make_shared): the running thread holds a reference of its own until
// execute() has returned and the thread touches the object no more, so an
// owner may let go of a worker at any moment without a join, a dangling
// object or a pure virtual call.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>
#include <type_traits>

namespace ui {

class Event;

class Thread : public std::enable_shared_from_this<Thread> {
 public:
  Thread() = default;
  virtual ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  // Starts execute() on a new thread; called once, on an object that a
  // shared_ptr owns.
  void start();
  bool started() const { return started_.load(); }
  bool finished() const { return finished_.load(); }

  // Asks the worker to end. Waits at an Event return at once; hand-overs
  // and library calls through handOver() and call() are no longer made.
  void requestStop();
  bool stopRequested() const { return stopped_.load(); }
  std::stop_token stopToken() const { return stop_.get_token(); }

  // Whether the worker is inside a library call made through call(), or
  // about to make one. Whoever stops the run and sees this true after the
  // stop must break the call off: the worker has not seen the stop in time.
  bool inLibraryCall() const { return inCall_.load(); }

  // The owner is closing: a stop, and the worker's waiting and future
  // requests are dropped, not run; synchronize() then returns false.
  void abandon();
  bool abandoned() const { return abandoned_.load(); }

  // Waits until execute() has ended, at most for the given time; true when
  // it has. On the user-interface thread the window keeps painting and the
  // synchronize requests of every worker are served meanwhile (the
  // operator's input waits in the queue). Returns false at once when this
  // worker's own request is running further down the user-interface
  // thread's stack (a dialog it asked for is open): it cannot end before
  // that request returns.
  bool waitFor(std::chrono::milliseconds limit);
  // Without a limit.
  void waitFor();

  // What ended execute() with an error, if anything did.
  std::exception_ptr fatalError() const;

  // Workers of the process whose execute() has not returned yet.
  static int running();
  // Of those, the ones whose owner gave them up (abandoned before they
  // ended): typically inside a library call that ignored its break-offs.
  static int givenUp();

 protected:
  virtual void execute() = 0;
  // The run goes on: neither stopped nor abandoned. On the user-interface
  // thread, where stops are made, the answer holds until the next message.
  bool live() const { return !stopRequested() && !abandoned(); }

  // Runs fn on the user-interface thread and waits for it, only for a live
  // run: the check is made there, right before fn. False when fn did not
  // run, or the run was stopped or its page closed while fn ran (a dialog
  // it opened): the worker then ends without touching its page again.
  [[nodiscard]] bool handOver(const std::function<void()>& fn);

  // A library call of the worker, made only for a run that has not been
  // stopped; nothing when it was stopped. The call is announced (see
  // inLibraryCall()) before the stop is checked, so a stop either keeps the
  // call from being made or finds it announced and breaks it off.
  template <class Call>
  [[nodiscard]] std::optional<std::invoke_result_t<Call&>> call(Call&& libraryCall) {
    inCall_.store(true);
    if (stopRequested() || callsBarred()) {
      inCall_.store(false);
      return std::nullopt;
    }
    std::optional<std::invoke_result_t<Call&>> result(libraryCall());
    inCall_.store(false);
    return result;
  }

  // Runs fn on the user-interface thread and waits for it, whatever the
  // run's stop. False when the request was dropped because the worker was
  // abandoned. Workers use handOver().
  [[nodiscard]] bool synchronize(const std::function<void()>& fn);
  // Waits until the event is set; false when a stop was requested, whether
  // before or while waiting, also when the event is set.
  [[nodiscard]] bool wait(const Event& event) const;

 private:
  void body();
  // The program is closing: no call goes into the library any more.
  static bool callsBarred();

  std::mutex startMutex_;  // held while start() hands the thread over
  std::thread thread_;
  std::atomic<bool> started_{false};
  std::atomic<bool> finished_{false};
  std::atomic<bool> abandoned_{false};
  // The run's stop, sequentially consistent with inCall_: stop then look at
  // inCall_ on one side, announce then look at the stop on the other.
  std::atomic<bool> stopped_{false};
  std::atomic<bool> inCall_{false};
  bool countedGivenUp_ = false;  // under the process-wide count's mutex
  std::stop_source stop_;
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
  // Waits until the event is set; false when the stop came first.
  bool wait(std::stop_token stop) const;
  // True when the event was set within the time.
  bool wait(std::chrono::milliseconds limit) const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable_any cv_;
  bool set_;
};

}  // namespace ui
