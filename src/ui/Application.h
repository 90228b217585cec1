#pragma once
// The application: its backend (windows or none), dialogs, the message loop
// and the hand-over of work from worker threads to the user-interface thread.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace ui {

class Control;
class Form;
class Peer;
class Thread;

enum class DialogKind { Message, Confirm, OpenFile, Error };

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // One OK button; the caption is the application title (empty).
  virtual void message(const std::string& text) = 0;
  // Question icon, OK and Cancel; true for OK, closing counts as Cancel.
  virtual bool confirm(const std::string& text) = 0;
  // The chosen file's path (UTF-8), or nothing when cancelled. The filter is
  // "description|pattern" pairs separated by '|'.
  virtual std::optional<std::string> openFile(const std::string& filter,
                                              const std::string& defaultExtension) = 0;
  // The application's error box for an error that escaped a handler.
  virtual void error(const std::string& text) = 0;
};

class Backend {
 public:
  virtual ~Backend() = default;
  // The real control of a component, or nullptr when the backend shows none.
  virtual std::unique_ptr<Peer> createPeer(Control& control) = 0;
  virtual Dialogs& dialogs() = 0;
  // A synchronize request was queued (any thread): make the user-interface
  // thread call Application::runPending() soon.
  virtual void wake() = 0;
  // A scheduled call falls due after this time (any thread): make the
  // user-interface thread call Application::runPending() by then, also
  // while a modal dialog runs its own loop.
  virtual void wakeAfter(std::chrono::milliseconds) {}
  // User-interface thread: process the waiting messages, waiting up to
  // waitMs for one when there is none. Without input, the operator's keys
  // and clicks stay in the queue while painting, timers and posted work go
  // on (a handler waiting for a worker must not run another handler).
  virtual void pumpMessages(int waitMs, bool input) = 0;
};

class Application {
 public:
  static Application& instance();

  // Installs a backend; the calling thread becomes the user-interface thread.
  void setBackend(std::unique_ptr<Backend> backend);
  Backend* backend() const { return backend_.get(); }
  Dialogs& dialogs();

  const std::string& title() const { return title_; }
  void setTitle(const std::string& title) { title_ = title; }

  Form* mainForm() const { return mainForm_; }
  // A new main form has not been asked to close.
  void setMainForm(Form* form) {
    mainForm_ = form;
    closing_ = false;
  }

  // Shows the main form and runs the loop until the main form closes.
  void run();
  void terminate();
  bool terminated() const { return terminated_; }
  // Also takes back a close (see closing()), for the next main form.
  void resetTerminated() {
    terminated_ = false;
    closing_ = false;
  }

  // --- closing ---
  // The main form was asked to close: from now on no call goes into the
  // library (Thread::call() and the window's device guard refuse) and no
  // run starts.
  bool closing() const { return closing_.load(); }
  void setClosing() { closing_ = true; }
  // A handler (dispatch()) or a worker's request is running on the
  // user-interface thread, and one of them waits further up the stack in a
  // dialog or a serving wait: a close that arrives now through that loop
  // must not free what the waiting handler still uses.
  bool handlerWaiting() const { return handlerDepth_ > 0 && waitDepth_ > 0; }
  // Runs fn from the loop once no handler and no request is running.
  void whenNoHandler(std::function<void()> fn);
  // Brackets a dialog or a serving wait (see handlerWaiting()).
  struct Waiting {
    Waiting();
    ~Waiting();
    Waiting(const Waiting&) = delete;
    Waiting& operator=(const Waiting&) = delete;
  };

  // Processes what is waiting (messages and synchronize requests), returns.
  void processMessages();
  // Processes messages, the operator's input included, until the condition
  // holds or the time is up; returns the condition's last value. For tests
  // and demonstrations that act as the operator.
  bool runUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout);

  // Waits until the condition holds or the deadline has passed; returns the
  // condition's last value. On the user-interface thread the window keeps
  // painting and synchronize requests and scheduled calls are served
  // meanwhile, while the operator's input waits in the queue; on any other
  // thread it sleeps until work is done or a worker ends. The one waiting
  // loop of the program: whatever waits for a worker or the library waits
  // here.
  bool serveUntil(const std::function<bool()>& condition,
                  std::chrono::steady_clock::time_point deadline);

  // --- scheduled calls ---
  using ScheduleId = unsigned long;
  // Runs fn once on the user-interface thread when `delay` has passed: from
  // the message loop, a serving wait or a dialog's loop. Returns an id for
  // cancelScheduled(); never 0.
  ScheduleId schedule(std::chrono::milliseconds delay, std::function<void()> fn);
  // A call that has not run yet never runs. Safe with an id that ran.
  void cancelScheduled(ScheduleId id);

  // Runs an event handler: an error that escapes it is shown in the error box
  // and the program goes on.
  void dispatch(const std::function<void()>& handler) noexcept;
  // Shows an error as the error box does.
  void showError(const std::exception_ptr& error) noexcept;

  bool isUiThread() const { return std::this_thread::get_id() == uiThread_.load(); }

  // --- hand-over from workers ---
  // Runs fn on the user-interface thread and waits until it has run. Returns
  // false when the request was dropped because its worker was abandoned.
  // An error thrown by fn is thrown again in the caller.
  bool synchronize(Thread* from, const std::function<void()>& fn);
  // User-interface thread: runs the queued requests and the scheduled calls
  // that are due.
  void runPending();
  bool hasPending() const;
  // Drops the queued requests of this worker (its owner is closing).
  void dropRequestsOf(Thread* thread);
  // Waits until a request is queued, a worker ends, or the time is up.
  void waitForWork(std::chrono::milliseconds limit);
  // A worker ended: wakes a waitForWork() and the message loop.
  void notifyWork();
  // Whether a request of this worker is running on the user-interface
  // thread right now (further down its stack, when asked from there).
  bool isRunningRequestOf(const Thread* thread) const;

 private:
  Application();
  struct Request;

  // Wakes the user-interface thread's loop; any thread, under mutex_.
  void wakeLocked();
  // Around a handler or a request; the last one out hands what waited for
  // it to the loop.
  void enterHandler() { ++handlerDepth_; }
  void leaveHandler();
  // The loop behind runUntil() and serveUntil().
  bool loopUntil(const std::function<bool()>& condition,
                 std::chrono::steady_clock::time_point deadline, bool input);
  // Runs the scheduled calls that are due; tells the backend when the next
  // one falls due.
  void runDue();
  // The time until the next scheduled call, at most `limit`; under mutex_.
  std::chrono::milliseconds untilNextLocked(std::chrono::milliseconds limit) const;

  // Written on the user-interface thread under mutex_; workers read it only
  // under mutex_.
  std::unique_ptr<Backend> backend_;
  std::unique_ptr<Dialogs> fallbackDialogs_;
  std::string title_;
  Form* mainForm_ = nullptr;
  bool terminated_ = false;
  std::atomic<bool> closing_{false};
  // User-interface thread only.
  int handlerDepth_ = 0;
  int waitDepth_ = 0;
  std::vector<std::function<void()>> afterHandlers_;
  std::atomic<std::thread::id> uiThread_;

  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<Request*> queue_;
  std::vector<const Thread*> runningFrom_;  // requests running now, innermost last
  unsigned long workSerial_ = 0;
  struct Scheduled {
    ScheduleId id;
    std::chrono::steady_clock::time_point due;
    std::function<void()> fn;
  };
  std::vector<Scheduled> scheduled_;  // under mutex_; run on the user-interface thread
  ScheduleId nextScheduleId_ = 1;
};

inline Application& app() { return Application::instance(); }

// Short forms of the dialogs, as the pages use them.
void showMessage(const std::string& text);
bool confirm(const std::string& text);
std::optional<std::string> openFileDialog(const std::string& filter,
                                          const std::string& defaultExtension);

}  // namespace ui
