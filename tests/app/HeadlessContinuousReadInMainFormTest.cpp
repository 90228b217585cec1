// Headless: the continuous-read page's worker and the main window: leaving
// the page by every road, a new connection, reset and closing the window
// while it runs.
#include <chrono>
#include <string>
#include <vector>

#include "RunningPageInMainForm.h"
#include "pages/Mreadcardframe01.h"
#include "pages/Readcardframe01.h"

namespace {

using namespace std::chrono_literals;

class ContinuousReadInMainForm : public cardtest::RunningPageInMainForm {
 protected:
  void SetUp() override {
    RunningPageInMainForm::SetUp();
    // A millisecond a card: the fast run outlasts every test step.
    openWindow(&TForm1::Button3, 1);
    page = openPage<TMReadCardFrame1>(&TForm1::Button4);
    ASSERT_NE(page, nullptr);
    startCounting();
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

  TMReadCardFrame1* page = nullptr;
};

TEST_F(ContinuousReadInMainForm, ItsButtonSwitchesLikeTheOtherPagesOfItsKind) {
  // Variant B: endcard first, then the old page goes.
  emu.clearLog();
  ASSERT_TRUE(form->Button4->click());
  EXPECT_EQ(emu.log(), std::vector<std::string>{"endcard(2)=0"});
  EXPECT_NE(dynamic_cast<TMReadCardFrame1*>(form->OperationPage.get()), nullptr);
  EXPECT_EQ(form->Panel1->children().size(), 1u);
}

TEST_F(ContinuousReadInMainForm, LeavingThePageByEveryRoadEndsTheWorkerFirst) {
  leaveByEveryRoad<bool>(
      {{"读卡测试 (page first, endcard after)", &TForm1::Button1},
       {"写卡测试 (endcard first)", &TForm1::Button2},
       {"连续读卡 again", &TForm1::Button4}},
      {true, false}, [](bool blocked) { return blocked ? "blocked read" : "fast run"; },
      [&](bool blocked) {
        page = openPage<TMReadCardFrame1>(&TForm1::Button4);
        ASSERT_NE(page, nullptr);
        startRun(blocked);
      });
}

TEST_F(ContinuousReadInMainForm, ANewConnectionIsRefusedWhileTheWorkerRunsAndWorksAfterStop) {
  for (bool blocked : {true, false}) {
    SCOPED_TRACE(blocked ? "blocked read" : "fast run");
    startRun(blocked);
    expectConnectionAndResetRefused("readcard");
    EXPECT_EQ(form->OperationPage.get(), page);
    ASSERT_TRUE(page->Button3->click());  // Stop
    expectResetWorks();
  }
  // A connection replaces the page (without endcard) once the run is stopped.
  clickOnItsTab(form->Button3);
  EXPECT_NE(dynamic_cast<TReadCardFrame1*>(form->OperationPage.get()), nullptr);
}

class ClosingTheMainFormDuringARead : public ContinuousReadInMainForm,
                                      public ::testing::WithParamInterface<bool> {};

TEST_P(ClosingTheMainFormDuringARead, StopsTheWorkerBeforeTheControlsGo) {
  startRun(GetParam());
  closeTheWindowDuringTheRun();
}

INSTANTIATE_TEST_SUITE_P(BlockedReadOrFastRun, ClosingTheMainFormDuringARead, ::testing::Bool());

}  // namespace
