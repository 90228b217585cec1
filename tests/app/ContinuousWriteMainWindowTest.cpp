// The continuous-write page in the main window: its page button, and leaving
// the page or closing the window while a batch runs, is paused or waits in
// the library.
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "../pages/CardTestSupport.h"
#include "app/MainForm.h"
#include "pages/Mwirtecardframe01.h"
#include "ui/Application.h"

namespace {

using namespace std::chrono_literals;

enum class Moment { Blocked, Paused, Fast };

const char* nameOf(Moment m) {
  return m == Moment::Blocked ? "blocked in writecard" : m == Moment::Paused ? "paused" : "fast";
}

class WritePageInWindow : public cardtest::EmulatorTest {
 protected:
  void SetUp() override {
    EmulatorTest::SetUp();
    cardtest::setConnection(0, 0, 0, 0);
    emu.setSwipeDelayMs(0);
    form = std::make_unique<TForm1>();
    form->showForm();
    ASSERT_TRUE(form->Button12->click());  // automatic: the three-track model
    ASSERT_TRUE(form->PageControl1->selectTab(form->TabSheet2));
    openWritePage();
    emu.clearLog();
    emu.resetMostConcurrentTransfers();
    session.dialogs().clear();
  }
  void TearDown() override {
    form.reset();
    EXPECT_TRUE(ui::app().runUntil([] { return ui::Thread::running() == 0; }, 5s));
    EXPECT_LE(emu.mostConcurrentTransfers(), 1);
    EmulatorTest::TearDown();
  }

  void openWritePage() {
    ASSERT_TRUE(form->Button5->click());
    page = dynamic_cast<TMWirteCardFrame1*>(form->OperationPage.get());
    ASSERT_NE(page, nullptr);
  }
  void startBatch(Moment moment) {
    emu.setBlocking("writecard", moment == Moment::Blocked ? 1 : 0);
    emu.setSwipeDelayMs(moment == Moment::Paused ? 5 : 0);
    page->Memo1->setText("CARD");
    page->Edit2->setText("1");
    page->Edit3->setText("1");
    page->Edit1->setText(moment == Moment::Fast ? "100000" : "50");
    ASSERT_TRUE(page->Button1->click());
    if (moment == Moment::Blocked) {
      ASSERT_TRUE(ui::app().runUntil([&] { return emu.pendingCalls() == 1; }, 5s));
    } else {
      ASSERT_TRUE(ui::app().runUntil([&] { return page->Memo4->lines().size() >= 8; }, 5s));
    }
    if (moment == Moment::Paused) {
      ASSERT_TRUE(page->Button2->click());
      ASSERT_TRUE(ui::app().runUntil([&] { return emu.pendingCalls() == 0; }, 5s));
    }
    session.dialogs().clear();
  }
  // The worker ended with the page, at once, and nothing is called or shown
  // for the old page afterwards.
  void expectWorkerGoneWithThePage(std::chrono::steady_clock::time_point left) {
    EXPECT_EQ(ui::Thread::running(), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - left, 2s);
    EXPECT_EQ(emu.pendingCalls(), 0);
    const std::size_t calls = emu.log().size();
    ui::app().runUntil([] { return false; }, 50ms);
    EXPECT_EQ(emu.log().size(), calls);
    EXPECT_TRUE(session.dialogs().records().empty());
  }
  void clickOnItsTab(ui::Button* button) {
    ASSERT_TRUE(form->PageControl1->selectTab(static_cast<ui::TabSheet*>(button->parent())));
    ASSERT_TRUE(button->click()) << button->name();
  }

  std::unique_ptr<TForm1> form;
  TMWirteCardFrame1* page = nullptr;
};

TEST_F(WritePageInWindow, ItsButtonCallsEndcardBeforeTheOldPageGoes) {
  EXPECT_TRUE(form->Button5->enabled());
  EXPECT_EQ(page->TrackSelection, 1);  // the detected three-track model
  ASSERT_TRUE(form->Button5->click());
  EXPECT_EQ(emu.log(), std::vector<std::string>{"endcard(2)=0"});
  EXPECT_NE(form->OperationPage.get(), nullptr);
  EXPECT_EQ(form->Panel1->children().size(), 1u);
}

TEST_F(WritePageInWindow, LeavingThePageByEveryRoadEndsTheWorkerFirst) {
  struct Road {
    const char* name;
    std::function<void(TForm1&)> leave;
  };
  const Road roads[] = {
      {"读卡测试 (page first, endcard after)", [](TForm1& f) { f.Button1->click(); }},
      {"写卡测试", [](TForm1& f) { f.Button2->click(); }},
      {"连续读卡", [](TForm1& f) { f.Button4->click(); }},
      {"连续写卡 again", [](TForm1& f) { f.Button5->click(); }},
      {"写文本文件", [](TForm1& f) { f.Button6->click(); }},
  };
  for (const Road& road : roads) {
    for (Moment moment : {Moment::Blocked, Moment::Paused, Moment::Fast}) {
      SCOPED_TRACE(std::string(road.name) + ", " + nameOf(moment));
      openWritePage();
      startBatch(moment);
      const auto left = std::chrono::steady_clock::now();
      road.leave(*form);
      expectWorkerGoneWithThePage(left);
      EXPECT_EQ(form->Panel1->children().size(), 1u);
    }
  }
}

TEST_F(WritePageInWindow, ConnectionAndResetWaitUntilTheBatchIsStopped) {
  startBatch(Moment::Blocked);
  for (ui::Button* b : {form->Button3, form->Button12, form->Button7}) clickOnItsTab(b);
  EXPECT_EQ(messages(), std::vector<std::string>(3, "连续读写卡正在进行，请先停止后再联机或复位！"));
  for (const std::string& line : emu.log()) EXPECT_EQ(line.rfind("writecard(", 0), 0u) << line;
  EXPECT_EQ(form->OperationPage.get(), page);

  ASSERT_TRUE(form->PageControl1->selectTab(form->TabSheet2));
  session.dialogs().answerConfirm(true);
  ASSERT_TRUE(page->Button3->click());
  session.dialogs().clear();
  clickOnItsTab(form->Button7);
  EXPECT_EQ(messages(), std::vector<std::string>{"复位成功！"});
}

class ClosingTheWindowDuringABatch : public WritePageInWindow,
                                     public ::testing::WithParamInterface<Moment> {};

TEST_P(ClosingTheWindowDuringABatch, StopsTheWorkerBeforeTheControlsGo) {
  startBatch(GetParam());
  const auto left = std::chrono::steady_clock::now();
  clickOnItsTab(form->Button11);  // 退出
  EXPECT_TRUE(form->closed());
  form.reset();
  expectWorkerGoneWithThePage(left);
  ui::app().resetTerminated();
}

// Found by the randomized window sessions: the program's loop goes on
// serving the window for a moment after the close, until it sees the end, and
// the worker went on through it. A card that failed then asked its question
// in a box without a window, for a page about to go.
TEST_P(ClosingTheWindowDuringABatch, NothingOfTheBatchRunsAfterTheClose) {
  startBatch(GetParam());
  emu.script("writecard", {-6, -6});
  clickOnItsTab(form->Button11);  // 退出
  EXPECT_TRUE(form->closed());
  EXPECT_EQ(ui::Thread::running(), 0) << "the worker outlived the closed window";
  const std::size_t calls = emu.log().size();
  // What the program's loop still serves before it ends.
  ui::app().runUntil([] { return false; }, 200ms);
  EXPECT_TRUE(session.dialogs().records().empty()) << session.dialogs().records().front().text;
  EXPECT_EQ(emu.log().size(), calls);
  form.reset();
  ui::app().resetTerminated();
}

INSTANTIATE_TEST_SUITE_P(Moments, ClosingTheWindowDuringABatch,
                         ::testing::Values(Moment::Blocked, Moment::Paused, Moment::Fast));

}  // namespace
