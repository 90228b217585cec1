// A continuous page's worker and the main window: leaving the page by every
// road, a new connection, reset and closing the window while it runs.
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "../pages/CardTestSupport.h"
#include "app/MainForm.h"
#include "pages/Mreadcardframe01.h"
#include "pages/Readcardframe01.h"
#include "pages/Wirtecardframe01.h"
#include "ui/Application.h"

namespace {

using namespace std::chrono_literals;

class RunningPage : public cardtest::EmulatorTest {
 protected:
  void SetUp() override {
    EmulatorTest::SetUp();
    cardtest::setConnection(0, 0, 0, 0);
    // A millisecond a card: the fast run outlasts every test step.
    emu.setSwipeDelayMs(1);
    form = std::make_unique<TForm1>();
    form->showForm();
    ASSERT_TRUE(form->Button3->click());  // 联机成功！
    session.dialogs().clear();
    ASSERT_TRUE(form->PageControl1->selectTab(form->TabSheet2));
    ASSERT_TRUE(form->Button4->click());
    page = dynamic_cast<TMReadCardFrame1*>(form->OperationPage.get());
    ASSERT_NE(page, nullptr);
    emu.clearLog();
    emu.resetMostConcurrentTransfers();
  }
  void TearDown() override {
    form.reset();
    EXPECT_TRUE(ui::app().runUntil([] { return ui::Thread::running() == 0; }, 5s));
    EXPECT_LE(emu.mostConcurrentTransfers(), 1);
    EmulatorTest::TearDown();
  }

  // Starts a run that blocks in readcard, or a fast one that reads on and on.
  void startRun(bool blocked) {
    emu.setBlocking("readcard", blocked ? 1 : 0);
    page->Edit1->setText(blocked ? "5" : "100000");
    ASSERT_TRUE(page->Button1->click());
    if (blocked) {
      ASSERT_TRUE(ui::app().runUntil([&] { return emu.pendingCalls() == 1; }, 5s));
    } else {
      ASSERT_TRUE(ui::app().runUntil([&] { return page->Memo1->lines().size() > 20; }, 5s));
    }
  }

  // The worker has ended, no longer than the device's time-out after the
  // page went, and nothing of the old page is touched afterwards.
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
  TMReadCardFrame1* page = nullptr;
};

TEST_F(RunningPage, ContinuousReadIsOfferedAndSwitchesLikeTheOtherPagesOfItsKind) {
  // Variant B: endcard first, then the old page goes.
  emu.clearLog();
  ASSERT_TRUE(form->Button4->click());
  EXPECT_EQ(emu.log(), std::vector<std::string>{"endcard(2)=0"});
  EXPECT_NE(dynamic_cast<TMReadCardFrame1*>(form->OperationPage.get()), nullptr);
  EXPECT_EQ(form->Panel1->children().size(), 1u);
}

TEST_F(RunningPage, LeavingThePageByEveryRoadEndsTheWorkerFirst) {
  struct Road {
    const char* name;
    std::function<void(TForm1&)> leave;
  };
  const Road roads[] = {
      {"读卡测试 (page first, endcard after)", [](TForm1& f) { f.Button1->click(); }},
      {"写卡测试 (endcard first)", [](TForm1& f) { f.Button2->click(); }},
      {"连续读卡 again", [](TForm1& f) { f.Button4->click(); }},
  };
  for (const Road& road : roads) {
    for (bool blocked : {true, false}) {
      SCOPED_TRACE(std::string(road.name) + (blocked ? ", blocked read" : ", fast run"));
      ASSERT_TRUE(form->Button4->click());
      page = dynamic_cast<TMReadCardFrame1*>(form->OperationPage.get());
      ASSERT_NE(page, nullptr);
      startRun(blocked);
      session.dialogs().clear();
      const auto left = std::chrono::steady_clock::now();
      road.leave(*form);
      expectWorkerGoneWithThePage(left);
      EXPECT_EQ(form->Panel1->children().size(), 1u);
    }
  }
}

TEST_F(RunningPage, ANewConnectionIsRefusedWhileTheWorkerRunsAndWorksAfterStop) {
  for (bool blocked : {true, false}) {
    SCOPED_TRACE(blocked ? "blocked read" : "fast run");
    startRun(blocked);
    session.dialogs().clear();
    for (ui::Button* b : {form->Button3, form->Button12, form->Button7}) {
      const std::size_t before = emu.log().size();
      clickOnItsTab(b);
      // Nothing of the device is called beside the worker.
      const auto log = emu.log();
      for (std::size_t i = before; i < log.size(); ++i)
        EXPECT_EQ(log[i].rfind("readcard(", 0), 0u) << log[i];
    }
    EXPECT_EQ(messages(), std::vector<std::string>(3, "连续读写卡正在进行，请先停止后再联机或复位！"));
    EXPECT_EQ(form->OperationPage.get(), page);
    ASSERT_TRUE(page->Button3->click());  // Stop
    session.dialogs().clear();
    clickOnItsTab(form->Button7);
    EXPECT_EQ(messages(), std::vector<std::string>{"复位成功！"});
    session.dialogs().clear();
  }
  // A connection replaces the page (without endcard) once the run is stopped.
  clickOnItsTab(form->Button3);
  EXPECT_NE(dynamic_cast<TReadCardFrame1*>(form->OperationPage.get()), nullptr);
}

class ClosingTheWindow : public RunningPage, public ::testing::WithParamInterface<bool> {};

TEST_P(ClosingTheWindow, DuringARunStopsTheWorkerBeforeTheControlsGo) {
  startRun(GetParam());
  session.dialogs().clear();
  const auto left = std::chrono::steady_clock::now();
  clickOnItsTab(form->Button11);  // 退出
  EXPECT_TRUE(form->closed());
  form.reset();
  expectWorkerGoneWithThePage(left);
  ui::app().resetTerminated();
}

INSTANTIATE_TEST_SUITE_P(BlockedReadOrFastRun, ClosingTheWindow, ::testing::Bool());

}  // namespace
