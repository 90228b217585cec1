// The text-file page's worker and the main window: leaving the page by every
// road, a new connection and closing the window while a run goes on.
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "../pages/CardTestSupport.h"
#include "../pages/TextFileSupport.h"
#include "app/MainForm.h"
#include "device/LibraryTexts.h"
#include "pages/Mreadcardframe01.h"
#include "pages/Readcardframe01.h"
#include "pages/Wirtecardframe01.h"
#include "pages/Writetextframe01.h"
#include "ui/Application.h"

namespace {

using namespace std::chrono_literals;

class RunningTextPage : public cardtest::EmulatorTest {
 protected:
  void SetUp() override {
    EmulatorTest::SetUp();
    cardtest::setConnection(0, 0, 0, 0);
    // A millisecond a card: the fast run outlasts every test step.
    emu.setSwipeDelayMs(1);
    std::string many;
    for (int i = 0; i < 100000; ++i) many += "1234\r\n";
    bigFile = files.write("many.txt", many);
    form = std::make_unique<TForm1>();
    form->showForm();
    ASSERT_TRUE(form->Button3->click());  // 联机成功！
    session.dialogs().clear();
    ASSERT_TRUE(form->PageControl1->selectTab(form->TabSheet2));
    openTextPage();
    emu.clearLog();
    emu.resetMostConcurrentTransfers();
  }
  void TearDown() override {
    form.reset();
    EXPECT_TRUE(ui::app().runUntil([] { return ui::Thread::running() == 0; }, 5s));
    EXPECT_LE(emu.mostConcurrentTransfers(), 1);
    EmulatorTest::TearDown();
  }

  void openTextPage() {
    ASSERT_TRUE(form->Button6->enabled());
    ASSERT_TRUE(form->Button6->click());
    page = dynamic_cast<TWriteTextFrame1*>(form->OperationPage.get());
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
  // The worker has ended soon after the page went, and nothing of the old
  // page is touched afterwards.
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

  cardtest::TempFolder files;
  std::string bigFile;
  std::unique_ptr<TForm1> form;
  TWriteTextFrame1* page = nullptr;
};

TEST_F(RunningTextPage, TheButtonSwitchesLikeTheOtherPagesOfItsKind) {
  // Variant B: endcard first, then the old page goes; a fresh page each time.
  page->Edit1->setText("x.txt");
  ASSERT_TRUE(form->Button6->click());
  EXPECT_EQ(emu.log(), std::vector<std::string>{"endcard(2)=0"});
  auto* fresh = dynamic_cast<TWriteTextFrame1*>(form->OperationPage.get());
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(fresh->Edit1->text(), "");
  EXPECT_EQ(form->Panel1->children().size(), 1u);
}

TEST_F(RunningTextPage, LeavingThePageByEveryRoadEndsTheWorkerFirst) {
  struct Road {
    const char* name;
    std::function<void(TForm1&)> leave;
  };
  const Road roads[] = {
      {"读卡测试 (page first, endcard after)", [](TForm1& f) { f.Button1->click(); }},
      {"写卡测试 (endcard first)", [](TForm1& f) { f.Button2->click(); }},
      {"连续读卡", [](TForm1& f) { f.Button4->click(); }},
      {"写文本文件 again", [](TForm1& f) { f.Button6->click(); }},
  };
  for (const Road& road : roads) {
    for (bool blocked : {true, false}) {
      SCOPED_TRACE(std::string(road.name) + (blocked ? ", blocked write" : ", fast run"));
      openTextPage();
      startRun(blocked);
      session.dialogs().clear();
      const auto left = std::chrono::steady_clock::now();
      road.leave(*form);
      expectWorkerGoneWithThePage(left);
      EXPECT_EQ(form->Panel1->children().size(), 1u);
    }
  }
}

TEST_F(RunningTextPage, AWriteWithoutTimeLimitIsBrokenOffWhenThePageGoes) {
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

TEST_F(RunningTextPage, ANewConnectionIsRefusedWhileTheWorkerRunsAndWorksAfterStop) {
  for (bool blocked : {true, false}) {
    SCOPED_TRACE(blocked ? "blocked write" : "fast run");
    startRun(blocked);
    session.dialogs().clear();
    for (ui::Button* b : {form->Button3, form->Button12, form->Button7}) {
      const std::size_t before = emu.log().size();
      clickOnItsTab(b);
      const auto log = emu.log();
      for (std::size_t i = before; i < log.size(); ++i)
        EXPECT_EQ(log[i].rfind("writecard(", 0), 0u) << log[i];
    }
    EXPECT_EQ(messages(), std::vector<std::string>(3, "连续读写卡正在进行，请先停止后再联机或复位！"));
    EXPECT_EQ(form->OperationPage.get(), page);
    ASSERT_TRUE(form->PageControl1->selectTab(form->TabSheet2));
    ASSERT_TRUE(page->Button5->click());  // Stop
    ASSERT_TRUE(ui::app().runUntil([&] { return !page->running(); }, 5s));
    session.dialogs().clear();
    clickOnItsTab(form->Button7);
    EXPECT_EQ(messages(), std::vector<std::string>{"复位成功！"});
    session.dialogs().clear();
    ASSERT_TRUE(form->PageControl1->selectTab(form->TabSheet2));
  }
  // A connection replaces the page (without endcard) once the run is stopped.
  clickOnItsTab(form->Button3);
  EXPECT_NE(dynamic_cast<TReadCardFrame1*>(form->OperationPage.get()), nullptr);
}

TEST_F(RunningTextPage, AWorkerGivenUpInItsCallKeepsEveryOtherDeviceCallOutUntilItReturns) {
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

class ClosingTheWindowDuringATextRun : public RunningTextPage,
                                       public ::testing::WithParamInterface<bool> {};

TEST_P(ClosingTheWindowDuringATextRun, StopsTheWorkerBeforeTheControlsGo) {
  startRun(GetParam());
  session.dialogs().clear();
  const auto left = std::chrono::steady_clock::now();
  clickOnItsTab(form->Button11);  // 退出
  EXPECT_TRUE(form->closed());
  form.reset();
  expectWorkerGoneWithThePage(left);
  ui::app().resetTerminated();
}

INSTANTIATE_TEST_SUITE_P(BlockedWriteOrFastRun, ClosingTheWindowDuringATextRun, ::testing::Bool());

}  // namespace
