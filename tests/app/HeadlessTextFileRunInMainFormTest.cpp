// Headless: the text-file page's worker and the main window: leaving the
// page by every road, a new connection and closing the window while a run
// goes on.
#include <chrono>
#include <string>
#include <vector>

#include "../pages/TextFileSupport.h"
#include "RunningPageInMainForm.h"
#include "device/LibraryTexts.h"
#include "pages/Readcardframe01.h"
#include "pages/Writetextframe01.h"

namespace {

using namespace std::chrono_literals;

class TextFileRunInMainForm : public cardtest::RunningPageInMainForm {
 protected:
  void SetUp() override {
    RunningPageInMainForm::SetUp();
    std::string many;
    for (int i = 0; i < 100000; ++i) many += "1234\r\n";
    bigFile = files.write("many.txt", many);
    // A millisecond a card: the fast run outlasts every test step.
    openWindow(&TForm1::Button3, 1);
    openTextPage();
    startCounting();
  }

  void openTextPage() {
    page = openPage<TWriteTextFrame1>(&TForm1::Button6);
    ASSERT_NE(page, nullptr);
  }
  // A run that blocks in writecard, or a fast one that writes on and on.
  void startRun(bool blocked) {
    emu.setBlocking("writecard", blocked ? 1 : 0);
    page->Edit1->setText(bigFile);
    page->RadioGroup1->setItemIndex(1);
    ASSERT_TRUE(page->Button3->click());
    if (blocked) {
      ASSERT_TRUE(ui::app().runUntil([&] { return emu.pendingCalls() == 1; }, 5s));
    } else {
      ASSERT_TRUE(ui::app().runUntil([&] { return page->Memo1->lines().size() > 40; }, 5s));
    }
  }

  cardtest::TempFolder files;
  std::string bigFile;
  TWriteTextFrame1* page = nullptr;
};

TEST_F(TextFileRunInMainForm, ItsButtonSwitchesLikeTheOtherPagesOfItsKind) {
  // Variant B: endcard first, then the old page goes; a fresh page each time.
  page->Edit1->setText("x.txt");
  ASSERT_TRUE(form->Button6->click());
  EXPECT_EQ(emu.log(), std::vector<std::string>{"endcard(2)=0"});
  auto* fresh = dynamic_cast<TWriteTextFrame1*>(form->OperationPage.get());
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(fresh->Edit1->text(), "");
  EXPECT_EQ(form->Panel1->children().size(), 1u);
}

TEST_F(TextFileRunInMainForm, LeavingThePageByEveryRoadEndsTheWorkerFirst) {
  leaveByEveryRoad<bool>(
      {{"读卡测试 (page first, endcard after)", &TForm1::Button1},
       {"写卡测试 (endcard first)", &TForm1::Button2},
       {"连续读卡", &TForm1::Button4},
       {"写文本文件 again", &TForm1::Button6}},
      {true, false}, [](bool blocked) { return blocked ? "blocked write" : "fast run"; },
      [&](bool blocked) {
        openTextPage();
        startRun(blocked);
      });
}

TEST_F(TextFileRunInMainForm, AWriteWithoutTimeLimitIsBrokenOffWhenThePageGoes) {
  // Time-out 0: only the page's own break-off can end the write.
  page->CheckBox2->setChecked(true);
  emu.setBlocking("writecard", 0);
  emu.setSwipeDelayMs(-1);  // no card ever comes
  page->Edit1->setText(bigFile);
  page->RadioGroup1->setItemIndex(1);
  ASSERT_TRUE(page->Button3->click());
  ASSERT_TRUE(ui::app().runUntil([&] { return emu.pendingCalls() == 1; }, 5s));
  const auto left = std::chrono::steady_clock::now();
  ASSERT_TRUE(form->Button1->click());  // the page goes before the window's endcard
  expectWorkerGoneWithThePage(left);
}

TEST_F(TextFileRunInMainForm, ANewConnectionIsRefusedWhileTheWorkerRunsAndWorksAfterStop) {
  for (bool blocked : {true, false}) {
    SCOPED_TRACE(blocked ? "blocked write" : "fast run");
    startRun(blocked);
    expectConnectionAndResetRefused("writecard");
    EXPECT_EQ(form->OperationPage.get(), page);
    ASSERT_TRUE(form->PageControl1->selectTab(form->TabSheet2));
    ASSERT_TRUE(page->Button5->click());  // Stop
    ASSERT_TRUE(ui::app().runUntil([&] { return !page->running(); }, 5s));
    expectResetWorks();
    ASSERT_TRUE(form->PageControl1->selectTab(form->TabSheet2));
  }
  // A connection replaces the page (without endcard) once the run is stopped.
  clickOnItsTab(form->Button3);
  EXPECT_NE(dynamic_cast<TReadCardFrame1*>(form->OperationPage.get()), nullptr);
}

TEST_F(TextFileRunInMainForm, AWorkerGivenUpInItsCallKeepsEveryOtherDeviceCallOutUntilItReturns) {
  // The library ignores every break-off and the write has no time limit:
  // the page switch gives up after its bound and leaves the worker inside.
  emu.missBreakOffs(1000000);
  emu.setManualSwipe(1);
  page->CheckBox2->setChecked(true);
  page->Edit1->setText(files.write("one.txt", "1234\r\n"));
  page->RadioGroup1->setItemIndex(1);
  ASSERT_TRUE(page->Button3->click());
  ASSERT_TRUE(ui::app().runUntil([&] { return emu.pendingCalls() == 1; }, 5s));
  ASSERT_TRUE(form->Button1->click());  // 读卡测试
  ASSERT_EQ(ui::Thread::running(), 1);
  auto* read = dynamic_cast<TReadCardFrame1*>(form->OperationPage.get());
  ASSERT_NE(read, nullptr);
  session.dialogs().clear();
  emu.clearLog();
  read->Button1Click();              // 读卡
  clickOnItsTab(form->Button3);      // 手动连机
  clickOnItsTab(form->Button7);      // 卡机复位
  EXPECT_EQ(messages(), std::vector<std::string>(3, device::kLastCallPending));
  EXPECT_TRUE(emu.log().empty());
  EXPECT_EQ(emu.pendingCalls(), 1);

  // The call returns with the next card; then the device is the window's again.
  emu.setManualSwipe(0);
  emu.swipe();
  ASSERT_TRUE(ui::app().runUntil([] { return ui::Thread::running() == 0; }, 5s));
  session.dialogs().clear();
  emu.clearLog();
  read->Button1Click();
  EXPECT_TRUE(messages().empty());
  ASSERT_EQ(emu.log().size(), 1u);
  EXPECT_EQ(emu.log()[0].rfind("readcard(", 0), 0u);
  EXPECT_EQ(read->Memo2->text(), "1234");
}

class ClosingTheMainFormDuringATextRun : public TextFileRunInMainForm,
                                         public ::testing::WithParamInterface<bool> {};

TEST_P(ClosingTheMainFormDuringATextRun, StopsTheWorkerBeforeTheControlsGo) {
  startRun(GetParam());
  closeTheWindowDuringTheRun();
}

INSTANTIATE_TEST_SUITE_P(BlockedWriteOrFastRun, ClosingTheMainFormDuringATextRun, ::testing::Bool());

}  // namespace
