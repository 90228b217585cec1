// Workers that report to the user-interface thread and end with their page,
// with real threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ui/Application.h"
#include "ui/Thread.h"
#include "ui/WorkerSlot.h"
#include "ui/headless/HeadlessBackend.h"

namespace {

using namespace std::chrono_literals;

// Reports `count` times through synchronize, as a page's worker logs lines;
// with a gate, waits at it before each report.
class Reporter : public ui::Thread {
 public:
  explicit Reporter(int count, ui::Event* gate = nullptr) : count_(count), gate_(gate) {}
  std::vector<std::thread::id> ranOn;  // touched on the UI thread only
  std::atomic<int> dropped{0};
  std::atomic<int> reached{0};
  std::atomic<bool> stoppedAtGate{false};

 protected:
  void execute() override {
    for (int i = 0; i < count_; ++i) {
      if (gate_ && !wait(*gate_)) {
        stoppedAtGate = true;
        return;
      }
      reached = i + 1;
      if (!synchronize([this] { ranOn.push_back(std::this_thread::get_id()); })) {
        ++dropped;
        return;  // the owner is closing: end without touching it
      }
    }
  }

 private:
  int count_;
  ui::Event* gate_;
};

// A call that blocks until broken off, as a library call waits for a card.
struct BlockingCall {
  std::mutex mutex;
  std::condition_variable cv;
  int breakOffs = 0;
  std::atomic<int> inside{0};
  // Returns -100 when broken off.
  int call() {
    std::unique_lock lock(mutex);
    const int at = breakOffs;
    ++inside;
    cv.wait(lock, [&] { return breakOffs != at; });
    --inside;
    return -100;
  }
  void breakOff() {
    {
      std::lock_guard lock(mutex);
      ++breakOffs;
    }
    cv.notify_all();
  }
};

class Caller : public ui::Thread {
 public:
  explicit Caller(BlockingCall& device) : device_(device) {}
  std::atomic<int> result{0};
  std::atomic<bool> touchedPage{false};

 protected:
  void execute() override {
    result = call([this] { return device_.call(); }).value_or(0);
    // Whatever came back, a page that is gone is never touched.
    if (!synchronize([this] { touchedPage = true; })) return;
  }

 private:
  BlockingCall& device_;
};

bool runningDrainsTo0() {
  return ui::app().runUntil([] { return ui::Thread::running() == 0; }, 5s);
}

TEST(Worker, SynchronizeRunsOnTheUiThreadWhileItWaitsForTheWorker) {
  ui::headless::Session session;
  auto worker = std::make_shared<Reporter>(25);
  worker->start();
  worker->waitFor();  // would deadlock if waiting did not serve the requests
  EXPECT_TRUE(worker->finished());
  ASSERT_EQ(worker->ranOn.size(), 25u);
  for (auto id : worker->ranOn) EXPECT_EQ(id, std::this_thread::get_id());
  EXPECT_EQ(worker->dropped, 0);
  EXPECT_TRUE(ui::app().runUntil([] { return ui::Thread::running() == 0; }, 5s));
}

TEST(Worker, RequestsAreServedByTheMessageLoopToo) {
  ui::headless::Session session;
  auto worker = std::make_shared<Reporter>(5);
  worker->start();
  EXPECT_TRUE(ui::app().runUntil([&] { return worker->finished(); }, 5s));
  EXPECT_EQ(worker->ranOn.size(), 5u);
}

TEST(Worker, AClosingOwnersRequestsAreDroppedAndItsWorkerStillEnds) {
  ui::headless::Session session;
  auto worker = std::make_shared<Reporter>(1000);
  worker->start();
  // Let a few reports through, then close while one is waiting in the queue.
  ASSERT_TRUE(ui::app().runUntil([&] { return worker->ranOn.size() >= 3; }, 5s));
  for (int i = 0; i < 5000 && !ui::app().hasPending(); ++i) std::this_thread::sleep_for(1ms);
  ASSERT_TRUE(ui::app().hasPending());
  const std::size_t before = worker->ranOn.size();
  worker->abandon();
  worker->waitFor();
  EXPECT_TRUE(worker->finished());
  EXPECT_EQ(worker->ranOn.size(), before);  // nothing ran after the close
  EXPECT_EQ(worker->dropped, 1);
}

TEST(Worker, AnErrorInARequestEndsTheWorkerNotTheProgram) {
  class Failing : public ui::Thread {
   protected:
    void execute() override { (void)synchronize([] { throw std::runtime_error("bad field"); }); }
  };
  ui::headless::Session session;
  auto worker = std::make_shared<Failing>();
  worker->start();
  worker->waitFor();
  ASSERT_TRUE(worker->fatalError());
  EXPECT_THROW(std::rethrow_exception(worker->fatalError()), std::runtime_error);
  EXPECT_TRUE(session.dialogs().records().empty());
}

TEST(Worker, BoundedWaitReturnsWhileTheWorkerIsBlockedAndServesOtherWorkers) {
  ui::headless::Session session;
  ui::Event gate;
  auto blocked = std::make_shared<Reporter>(1, &gate);
  auto other = std::make_shared<Reporter>(50);
  blocked->start();
  other->start();
  const auto t0 = std::chrono::steady_clock::now();
  // The other worker's reports go on while the first one is waited for.
  while (!other->finished()) EXPECT_FALSE(blocked->waitFor(20ms));
  EXPECT_EQ(other->ranOn.size(), 50u);
  EXPECT_LT(std::chrono::steady_clock::now() - t0, 5s);
  gate.set();
  EXPECT_TRUE(blocked->waitFor(5s));
}

// --- hand-overs and library calls that know their run ---

// Reports through handOver; the test decides when it may go on.
class Handing : public ui::Thread {
 public:
  std::atomic<int> ran{0};
  std::atomic<int> refused{0};
  std::function<void()> inside;  // run inside the hand-over, UI thread

 protected:
  void execute() override {
    for (int i = 0; i < 3; ++i) {
      if (!handOver([this] {
            ++ran;
            if (inside) inside();
          })) {
        ++refused;
        return;
      }
    }
  }
};

TEST(HandOver, DoesNotRunForARunStoppedWhileItWaitedInTheQueue) {
  ui::headless::Session session;
  auto worker = std::make_shared<Handing>();
  worker->start();
  for (int i = 0; i < 5000 && !ui::app().hasPending(); ++i) std::this_thread::sleep_for(1ms);
  ASSERT_TRUE(ui::app().hasPending());
  worker->requestStop();  // on the UI thread, as a Stop button does, before the queue is served
  ASSERT_TRUE(worker->waitFor(5s));
  EXPECT_EQ(worker->ran, 0);
  EXPECT_EQ(worker->refused, 1);
}

TEST(HandOver, SaysSoWhenTheRunIsStoppedWhileItRuns) {
  // A dialog inside the hand-over; the operator stops the run meanwhile.
  ui::headless::Session session;
  auto worker = std::make_shared<Handing>();
  worker->inside = [&] { worker->requestStop(); };
  worker->start();
  ASSERT_TRUE(worker->waitFor(5s));
  EXPECT_EQ(worker->ran, 1);
  EXPECT_EQ(worker->refused, 1);  // the worker ended after the first one
}

// Makes library calls through call(); each waits in `device`.
class Calling : public ui::Thread {
 public:
  explicit Calling(BlockingCall& device, int calls = 1) : device_(device), calls_(calls) {}
  std::atomic<int> made{0};
  std::atomic<int> refused{0};
  std::function<void()> beforeCall;  // worker thread, inside the announced call

 protected:
  void execute() override {
    for (int i = 0; i < calls_; ++i) {
      const auto result = call([this] {
        if (beforeCall) beforeCall();
        return device_.call();
      });
      if (!result) {
        ++refused;
        return;
      }
      ++made;
    }
  }

 private:
  BlockingCall& device_;
  int calls_;
};

TEST(LibraryCall, IsNotMadeForAStoppedRunAndIsAnnouncedWhileItRuns) {
  ui::headless::Session session;
  BlockingCall device;
  auto worker = std::make_shared<Calling>(device, 2);
  worker->start();
  ASSERT_TRUE(ui::app().runUntil([&] { return device.inside == 1; }, 5s));
  EXPECT_TRUE(worker->inLibraryCall());
  worker->requestStop();
  device.breakOff();
  ASSERT_TRUE(worker->waitFor(5s));
  EXPECT_EQ(worker->made, 1);     // the call that was broken off
  EXPECT_EQ(worker->refused, 1);  // the next one is never made
  EXPECT_FALSE(worker->inLibraryCall());
}

// --- a worker and the page that owns it ---

TEST(WorkerOfAPage, WaitingAtAClosedGateIsReleasedWhenThePageGoes) {
  ui::headless::Session session;
  ui::Event gate;  // never opened
  auto worker = std::make_shared<Reporter>(3, &gate);
  {
    ui::WorkerSlot slot;
    slot.start(worker, 60000);
    ASSERT_TRUE(ui::app().runUntil([&] { return worker->started(); }, 1s));
    std::this_thread::sleep_for(10ms);
    // The page's teardown: must come back at once, not at the limit.
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_TRUE(slot.end());
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 2s);
  }
  EXPECT_TRUE(worker->finished());
  EXPECT_TRUE(worker->stoppedAtGate);
  EXPECT_TRUE(worker->ranOn.empty());
}

TEST(WorkerOfAPage, WaitingForSynchronizeWhenThePageGoesEndsWithoutRunningIt) {
  ui::headless::Session session;
  auto worker = std::make_shared<Reporter>(1);
  ui::WorkerSlot slot;
  slot.start(worker, 5000);
  // The request is queued; nobody serves it before the page goes.
  for (int i = 0; i < 5000 && !ui::app().hasPending(); ++i) std::this_thread::sleep_for(1ms);
  ASSERT_TRUE(ui::app().hasPending());
  EXPECT_TRUE(slot.end());
  EXPECT_TRUE(worker->finished());
  EXPECT_TRUE(worker->ranOn.empty());
  EXPECT_EQ(worker->dropped, 1);
}

TEST(WorkerOfAPage, BlockedInALibraryCallIsBrokenOffAndNeverTouchesTheGonePage) {
  ui::headless::Session session;
  BlockingCall device;
  auto worker = std::make_shared<Caller>(device);
  {
    ui::WorkerSlot slot([&] { device.breakOff(); });
    slot.start(worker, 5000);
    ASSERT_TRUE(ui::app().runUntil([&] { return device.inside == 1; }, 5s));
  }  // the page's teardown
  EXPECT_TRUE(worker->finished());
  EXPECT_EQ(worker->result, -100);
  EXPECT_FALSE(worker->touchedPage);
}

TEST(WorkerOfAPage, ATeardownBreakOffThatComesJustBeforeTheCallIsRepeated) {
  // The worker has announced its call but enters the library only after the
  // first break-off: teardown must not wait for a call that nobody breaks
  // off any more.
  ui::headless::Session session;
  BlockingCall device;
  ui::Event late;
  auto worker = std::make_shared<Calling>(device);
  worker->beforeCall = [&] { (void)late.wait(5000ms); };
  ui::WorkerSlot slot([&] {
    device.breakOff();
    late.set();  // the worker goes into its call right after this break-off
  });
  slot.start(worker, 0);  // no time-out: only a break-off ends the call
  ASSERT_TRUE(ui::app().runUntil([&] { return worker->inLibraryCall(); }, 5s));
  EXPECT_TRUE(slot.end());
  EXPECT_TRUE(worker->finished());
  EXPECT_EQ(worker->made, 1);
}

TEST(WorkerOfAPage, AStopWhoseBreakOffCameTooEarlyIsRepeatedWithoutHoldingUpTheWindow) {
  // Stop lands after the worker announced its call and before the call
  // waits: the stop's own break-off is missed. The slot repeats it while the
  // worker is still inside, from the loop, so Stop itself returns at once.
  ui::headless::Session session;
  BlockingCall device;
  ui::Event late;
  auto worker = std::make_shared<Calling>(device);
  worker->beforeCall = [&] { (void)late.wait(5000ms); };
  ui::WorkerSlot slot;
  slot.start(worker, 0);
  ASSERT_TRUE(ui::app().runUntil([&] { return worker->inLibraryCall(); }, 5s));
  std::atomic<int> breakOffs{0};
  slot.stop([&] {
    ++breakOffs;
    device.breakOff();
    late.set();
  });
  EXPECT_EQ(breakOffs, 1);
  EXPECT_FALSE(worker->finished());  // Stop did not wait
  ASSERT_TRUE(ui::app().runUntil([&] { return worker->finished(); }, 5s));
  EXPECT_GE(breakOffs, 2);
  EXPECT_EQ(worker->made, 1);
  // Nothing more once the worker has ended.
  const int after = breakOffs;
  ui::app().runUntil([] { return false; }, 200ms);
  EXPECT_EQ(breakOffs, after);
}

TEST(WorkerOfAPage, RepeatedBreakOffsOfAStopAreBounded) {
  // A library that ignores every break-off: the repeats end after their
  // limit, and teardown still ends within its bound.
  ui::headless::Session session;
  BlockingCall device;
  auto worker = std::make_shared<Calling>(device);
  auto slot = std::make_unique<ui::WorkerSlot>();
  slot->start(worker, 0);
  ASSERT_TRUE(ui::app().runUntil([&] { return device.inside == 1; }, 5s));
  std::atomic<int> breakOffs{0};
  slot->stop([&] { ++breakOffs; });
  ui::app().runUntil([] { return false; }, ui::WorkerSlot::kRepeatLimit + 500ms);
  const int repeated = breakOffs;
  EXPECT_GE(repeated, 5);
  EXPECT_LE(repeated, ui::WorkerSlot::kRepeatLimit / ui::WorkerSlot::kBreakOffInterval + 2);
  ui::app().runUntil([] { return false; }, 300ms);
  EXPECT_EQ(breakOffs, repeated);
  // Teardown gives up at its bound, once: the destructor does not wait again.
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(slot->end());
  slot.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - t0, 2 * ui::WorkerSlot::teardownBound(0));
  device.breakOff();  // let the abandoned worker go
  EXPECT_TRUE(runningDrainsTo0());
  EXPECT_EQ(worker->made, 1);
}

TEST(WorkerOfAPage, TeardownWaitsAtMostTheRunsTimeOutAndAMargin) {
  EXPECT_EQ(ui::WorkerSlot::teardownBound(5000), 7000ms);
  EXPECT_EQ(ui::WorkerSlot::teardownBound(0), 2000ms);
  EXPECT_EQ(ui::WorkerSlot::teardownBound(-3), 2000ms);
}

TEST(WorkerOfAPage, AStoppedWorkerLoopingOnAnOpenGateEnds) {
  // A worker that waits at an open gate again and again (its page's flag says
  // "not now") must still see its stop.
  class Looping : public ui::Thread {
   public:
    explicit Looping(ui::Event& gate) : gate_(gate) {}
    std::atomic<int> rounds{0};

   protected:
    void execute() override {
      while (wait(gate_)) {
        ++rounds;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    }

   private:
    ui::Event& gate_;
  };
  ui::headless::Session session;
  ui::Event gate(true);
  auto worker = std::make_shared<Looping>(gate);
  ui::WorkerSlot slot;
  slot.start(worker, 5000);
  ASSERT_TRUE(ui::app().runUntil([&] { return worker->rounds > 3; }, 5s));
  slot.stop();
  EXPECT_TRUE(worker->waitFor(2s));
}

TEST(WorkerOfAPage, AStopBelongsToItsRunAndIsNotUndoneByANewStart) {
  ui::headless::Session session;
  ui::Event gate;
  auto first = std::make_shared<Reporter>(5, &gate);
  auto second = std::make_shared<Reporter>(5, &gate);
  ui::WorkerSlot slot;
  slot.start(first, 5000);
  slot.stop();
  ASSERT_TRUE(slot.mayStart());  // the stopped worker ended at its gate
  slot.start(second, 5000);
  gate.set();
  ASSERT_TRUE(second->waitFor(5s));
  EXPECT_TRUE(first->stoppedAtGate);
  EXPECT_TRUE(first->ranOn.empty());
  EXPECT_EQ(second->ranOn.size(), 5u);
}

TEST(WorkerOfAPage, StartBreaksItsStoppedWorkerOffOrRefusesWithThePagesText) {
  ui::headless::Session session;
  BlockingCall device;
  ui::Event late;
  // Stopped while it was about to call: the stop's break-off came too early,
  // and this page repeats nothing (no break-off of its own at stop).
  auto worker = std::make_shared<Calling>(device);
  worker->beforeCall = [&] { (void)late.wait(5000ms); };
  std::atomic<int> breakOffs{0};
  ui::WorkerSlot slot([&] { ++breakOffs, device.breakOff(); }, "still ending");
  slot.start(worker, 0);
  ASSERT_TRUE(ui::app().runUntil([&] { return worker->inLibraryCall(); }, 5s));
  slot.stop();
  late.set();
  ASSERT_TRUE(ui::app().runUntil([&] { return device.inside == 1; }, 5s));
  EXPECT_TRUE(slot.mayStart());  // broke it off and waited
  EXPECT_GE(breakOffs, 1);
  EXPECT_TRUE(worker->finished());
  EXPECT_TRUE(session.dialogs().records().empty());

  // Another worker of the process that does not end: refused, with the text.
  ui::Event never;
  auto other = std::make_shared<Reporter>(1, &never);
  other->start();
  EXPECT_FALSE(slot.mayStart());
  EXPECT_EQ(session.dialogs().texts(ui::DialogKind::Message),
            std::vector<std::string>{"still ending"});
  other->requestStop();
  EXPECT_TRUE(runningDrainsTo0());
}

TEST(WorkerOfAPage, IdleWaitsForAWorkerThatIsStillEndingAndGivesUpAtItsLimit) {
  ui::headless::Session session;
  ui::Event gate;
  auto worker = std::make_shared<Reporter>(1, &gate);
  worker->start();
  EXPECT_FALSE(ui::WorkerSlot::idle(30ms));
  gate.set();
  EXPECT_TRUE(ui::WorkerSlot::idle(5s));
}

TEST(WorkerOfAPage, TeardownDuringItsOwnDialogDoesNotDeadlock) {
  // The worker's request shows a dialog; while it is open the page goes
  // (re-entered from the dialog's loop). Teardown must not wait for a worker
  // that waits for this very request, and the request touches nothing after
  // its dialog once the worker is abandoned.
  ui::headless::Session session;
  class Asking : public ui::Thread {
   public:
    std::atomic<bool> touchedAfterDialog{false};

   protected:
    void execute() override {
      (void)handOver([this] {
        (void)ui::confirm("go on?");
        if (!live()) return;
        touchedAfterDialog = true;
      });
    }
  };
  auto worker = std::make_shared<Asking>();
  auto slot = std::make_unique<ui::WorkerSlot>();
  bool endedInside = true;
  session.dialogs().whileOpen = [&](const ui::headless::DialogRecord&) {
    endedInside = slot->end();
    slot.reset();
  };
  slot = std::make_unique<ui::WorkerSlot>();
  slot->start(worker, 5000);
  ASSERT_TRUE(ui::app().runUntil([&] { return worker->finished(); }, 5s));
  session.dialogs().whileOpen = nullptr;
  EXPECT_FALSE(endedInside);
  EXPECT_FALSE(worker->touchedAfterDialog);
}

// --- calls scheduled on the user-interface thread ---

TEST(Scheduled, RunsOnceWhenDueFromAServingWaitAndNotWhenCancelled) {
  ui::headless::Session session;
  std::vector<int> ran;
  const auto t0 = std::chrono::steady_clock::now();
  ui::app().schedule(200ms, [&] { ran.push_back(2); });
  ui::app().schedule(10ms, [&] { ran.push_back(1); });
  // A thread held up between the two calls for longer than their distance
  // makes the order of their due times the other one.
  const bool inOrder = std::chrono::steady_clock::now() - t0 < 150ms;
  const auto cancelled = ui::app().schedule(20ms, [&] { ran.push_back(99); });
  ui::app().cancelScheduled(cancelled);
  EXPECT_TRUE(ui::app().serveUntil([&] { return ran.size() == 2; }, t0 + 5s));
  EXPECT_GE(std::chrono::steady_clock::now() - t0, 200ms);
  ui::app().runUntil([] { return false; }, 50ms);
  if (!inOrder) std::sort(ran.begin(), ran.end());
  EXPECT_EQ(ran, (std::vector<int>{1, 2}));
}

TEST(Scheduled, ACallMayScheduleAnotherAndAnErrorInOneGoesToTheErrorBox) {
  ui::headless::Session session;
  int rounds = 0;
  std::function<void()> again = [&] {
    if (++rounds < 3) ui::app().schedule(1ms, again);
  };
  ui::app().schedule(1ms, again);
  ui::app().schedule(1ms, [] { throw std::runtime_error("late"); });
  EXPECT_TRUE(ui::app().runUntil([&] { return rounds == 3; }, 5s));
  EXPECT_EQ(session.dialogs().texts(ui::DialogKind::Error), std::vector<std::string>{"late"});
}

TEST(WorkerLifetime, AStartedWorkerLetGoAtOnceIsReclaimedSafely) {
  // Destroying a started worker at once, over and over: no join on a
  // running execute(), no pure virtual call, no use after free.
  ui::headless::Session session;
  std::atomic<int> ran{0};
  class Quick : public ui::Thread {
   public:
    explicit Quick(std::atomic<int>& ran) : ran_(ran) {}

   protected:
    void execute() override { ++ran_; }

   private:
    std::atomic<int>& ran_;
  };
  for (int i = 0; i < 300; ++i) {
    auto worker = std::make_shared<Quick>(ran);
    worker->start();
  }
  EXPECT_TRUE(runningDrainsTo0());
  EXPECT_EQ(ran, 300);
}

TEST(WorkerLifetime, AWorkerWhoseLastOwnerIsItsOwnThreadEndsCleanly) {
  ui::headless::Session session;
  std::weak_ptr<Reporter> watch;
  {
    auto worker = std::make_shared<Reporter>(0);
    watch = worker;
    worker->start();
  }
  EXPECT_TRUE(runningDrainsTo0());
  EXPECT_TRUE(ui::app().runUntil([&] { return watch.expired(); }, 5s));
}

TEST(WorkerLifetime, StartingAWorkerThatNoSharedPointerOwnsIsRefused) {
  Reporter loose(1);
  EXPECT_THROW(loose.start(), std::bad_weak_ptr);
  EXPECT_FALSE(loose.started());
}

TEST(Shutdown, TheBackendMayGoWhileAWorkerReports) {
  // Workers read the backend to wake the loop; the user-interface thread
  // replaces it at the end of the program.
  ui::headless::Session session;
  auto worker = std::make_shared<Reporter>(400);
  worker->start();
  for (int i = 0; i < 40 && !worker->finished(); ++i) {
    ui::app().setBackend(std::make_unique<ui::headless::HeadlessBackend>());
    ui::app().runUntil([] { return false; }, 2ms);
  }
  worker->waitFor();
  EXPECT_TRUE(worker->finished());
}

TEST(ManualResetEvent, StaysOpenUntilResetAndReleasesEveryWaiter) {
  ui::Event event;
  EXPECT_FALSE(event.isSet());
  EXPECT_FALSE(event.wait(10ms));
  std::atomic<int> passed{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 4; ++i) waiters.emplace_back([&] {
      if (event.wait(std::stop_token{})) ++passed;
    });
  event.set();
  for (auto& t : waiters) t.join();
  EXPECT_EQ(passed, 4);
  EXPECT_TRUE(event.wait(0ms));  // still open
  event.reset();
  EXPECT_FALSE(event.wait(10ms));
  ui::Event open(true);
  EXPECT_TRUE(open.isSet());
}

TEST(ManualResetEvent, AStopReleasesAWaiterOfAClosedEvent) {
  ui::Event closed;
  std::stop_source stop;
  std::atomic<int> result{-1};
  std::thread waiter([&] { result = closed.wait(stop.get_token()) ? 1 : 0; });
  std::this_thread::sleep_for(10ms);
  stop.request_stop();
  waiter.join();
  EXPECT_EQ(result, 0);
}

}  // namespace
