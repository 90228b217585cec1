// Workers that report to the user-interface thread, for real threads.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "ui/Application.h"
#include "ui/Thread.h"
#include "ui/headless/HeadlessBackend.h"

namespace {

using namespace std::chrono_literals;

// Reports `count` times through synchronize, as a page's worker logs lines.
class Reporter : public ui::Thread {
 public:
  explicit Reporter(int count, ui::Event* gate = nullptr) : count_(count), gate_(gate) {}
  ~Reporter() override { waitFor(); }
  std::vector<std::thread::id> ranOn;  // touched on the UI thread only
  std::atomic<int> dropped{0};
  std::atomic<int> reached{0};

 protected:
  void execute() override {
    for (int i = 0; i < count_; ++i) {
      if (gate_) gate_->wait();
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

TEST(Worker, SynchronizeRunsOnTheUiThreadWhileItWaitsForTheWorker) {
  ui::headless::Session session;
  Reporter worker(25);
  worker.start();
  worker.waitFor();  // would deadlock if waiting did not serve the requests
  EXPECT_TRUE(worker.finished());
  ASSERT_EQ(worker.ranOn.size(), 25u);
  for (auto id : worker.ranOn) EXPECT_EQ(id, std::this_thread::get_id());
  EXPECT_EQ(worker.dropped, 0);
}

TEST(Worker, RequestsAreServedByTheMessageLoopToo) {
  ui::headless::Session session;
  Reporter worker(5);
  worker.start();
  EXPECT_TRUE(ui::app().runUntil([&] { return worker.finished(); }, 5s));
  EXPECT_EQ(worker.ranOn.size(), 5u);
}

TEST(Worker, AClosingOwnersRequestsAreDroppedAndItsWorkerStillEnds) {
  ui::headless::Session session;
  Reporter worker(1000);
  worker.start();
  // Let a few reports through, then close while one is waiting in the queue.
  ASSERT_TRUE(ui::app().runUntil([&] { return worker.ranOn.size() >= 3; }, 5s));
  // The worker now waits inside synchronize until its request is served.
  for (int i = 0; i < 5000 && !ui::app().hasPending(); ++i) std::this_thread::sleep_for(1ms);
  ASSERT_TRUE(ui::app().hasPending());
  const std::size_t before = worker.ranOn.size();
  worker.abandon();
  worker.waitFor();
  EXPECT_TRUE(worker.finished());
  EXPECT_EQ(worker.ranOn.size(), before);  // nothing ran after the close
  EXPECT_EQ(worker.dropped, 1);
}

TEST(Worker, AbandonBeforeAnyRequestMakesTheFirstOneFail) {
  ui::headless::Session session;
  ui::Event gate;
  Reporter worker(3, &gate);
  worker.start();
  worker.abandon();
  gate.set();
  worker.waitFor();
  EXPECT_TRUE(worker.ranOn.empty());
  EXPECT_EQ(worker.reached, 1);
}

class Failing : public ui::Thread {
 public:
  ~Failing() override { waitFor(); }

 protected:
  void execute() override {
    // An error thrown on the UI thread comes back to the worker.
    (void)synchronize([] { throw std::runtime_error("bad field"); });
  }
};

TEST(Worker, AnErrorInARequestEndsTheWorkerNotTheProgram) {
  ui::headless::Session session;
  Failing worker;
  worker.start();
  worker.waitFor();
  ASSERT_TRUE(worker.fatalError());
  EXPECT_THROW(std::rethrow_exception(worker.fatalError()), std::runtime_error);
  EXPECT_TRUE(session.dialogs().records().empty());
}

TEST(Worker, BoundedWaitReturnsWhileTheWorkerIsBlocked) {
  ui::headless::Session session;
  ui::Event gate;
  Reporter worker(1, &gate);
  worker.start();
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(worker.waitFor(50ms));
  EXPECT_LT(std::chrono::steady_clock::now() - t0, 2s);
  gate.set();
  EXPECT_TRUE(worker.waitFor(5s));
}

TEST(ManualResetEvent, StaysOpenUntilResetAndReleasesEveryWaiter) {
  ui::Event event;
  EXPECT_FALSE(event.isSet());
  EXPECT_FALSE(event.wait(10ms));
  std::atomic<int> passed{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 4; ++i) waiters.emplace_back([&] {
      event.wait();
      ++passed;
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

}  // namespace
