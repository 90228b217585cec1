// Headless: the continuous-write page in the main window: its page button,
// and leaving the page or closing the window while a batch runs, is paused
// or waits in the library.
#include <chrono>
#include <string>
#include <vector>

#include "RunningPageInMainForm.h"
#include "pages/Mwirtecardframe01.h"

namespace {

using namespace std::chrono_literals;

enum class Moment { Blocked, Paused, Fast };

std::string nameOf(Moment m) {
  return m == Moment::Blocked ? "blocked in writecard" : m == Moment::Paused ? "paused" : "fast";
}

class ContinuousWriteInMainForm : public cardtest::RunningPageInMainForm {
 protected:
  void SetUp() override {
    RunningPageInMainForm::SetUp();
    openWindow(&TForm1::Button12, 0);  // automatic: the three-track model
    openWritePage();
    startCounting();
    session.dialogs().clear();
  }

  void openWritePage() {
    page = openPage<TMWirteCardFrame1>(&TForm1::Button5);
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

  TMWirteCardFrame1* page = nullptr;
};

TEST_F(ContinuousWriteInMainForm, ItsButtonCallsEndcardBeforeTheOldPageGoes) {
  EXPECT_TRUE(form->Button5->enabled());
  EXPECT_EQ(page->TrackSelection, 1);  // the detected three-track model
  ASSERT_TRUE(form->Button5->click());
  EXPECT_EQ(emu.log(), std::vector<std::string>{"endcard(2)=0"});
  EXPECT_NE(form->OperationPage.get(), nullptr);
  EXPECT_EQ(form->Panel1->children().size(), 1u);
}

TEST_F(ContinuousWriteInMainForm, LeavingThePageByEveryRoadEndsTheWorkerFirst) {
  leaveByEveryRoad<Moment>(
      {{"读卡测试 (page first, endcard after)", &TForm1::Button1},
       {"写卡测试", &TForm1::Button2},
       {"连续读卡", &TForm1::Button4},
       {"连续写卡 again", &TForm1::Button5},
       {"写文本文件", &TForm1::Button6}},
      {Moment::Blocked, Moment::Paused, Moment::Fast}, nameOf, [&](Moment moment) {
        openWritePage();
        startBatch(moment);
      });
}

TEST_F(ContinuousWriteInMainForm, ConnectionAndResetWaitUntilTheBatchIsStopped) {
  startBatch(Moment::Blocked);
  expectConnectionAndResetRefused("writecard");
  EXPECT_EQ(form->OperationPage.get(), page);

  ASSERT_TRUE(form->PageControl1->selectTab(form->TabSheet2));
  session.dialogs().answerConfirm(true);
  ASSERT_TRUE(page->Button3->click());
  expectResetWorks();
}

class ClosingTheMainFormDuringABatch : public ContinuousWriteInMainForm,
                                       public ::testing::WithParamInterface<Moment> {};

TEST_P(ClosingTheMainFormDuringABatch, StopsTheWorkerBeforeTheControlsGo) {
  startBatch(GetParam());
  closeTheWindowDuringTheRun();
}

// Found by the randomized window sessions: the program's loop goes on
// serving the window for a moment after the close, until it sees the end, and
// the worker went on through it. A card that failed then asked its question
// in a box without a window, for a page about to go.
TEST_P(ClosingTheMainFormDuringABatch, NothingOfTheBatchRunsAfterTheClose) {
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

INSTANTIATE_TEST_SUITE_P(Moments, ClosingTheMainFormDuringABatch,
                         ::testing::Values(Moment::Blocked, Moment::Paused, Moment::Fast));

}  // namespace
