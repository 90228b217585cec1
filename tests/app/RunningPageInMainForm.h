#pragma once
// A continuous page (read, write, text file) in the main window, headless,
// with its worker running against the emulated reader: the fixture that
// opens it, the roads away from it, and what must hold once it went.
#include <chrono>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>

#include "../pages/CardTestSupport.h"
#include "app/MainForm.h"
#include "ui/Application.h"
#include "ui/Thread.h"

namespace cardtest {

class RunningPageInMainForm : public EmulatorTest {
 protected:
  using Clock = std::chrono::steady_clock;

  // Connects with `connect` (Button3 by hand, Button12 detected) and swipes
  // coming after `swipeDelayMs`, then goes to the operations tab.
  void openWindow(ui::Button* TForm1::*connect, int swipeDelayMs) {
    setConnection(0, 0, 0, 0);
    emu.setSwipeDelayMs(swipeDelayMs);
    form = std::make_unique<TForm1>();
    form->showForm();
    ASSERT_TRUE(((*form).*connect)->click());  // 联机成功！
    session.dialogs().clear();
    ASSERT_TRUE(form->PageControl1->selectTab(form->TabSheet2));
  }
  // Calls and the most concurrent transfers count from here.
  void startCounting() {
    emu.clearLog();
    emu.resetMostConcurrentTransfers();
  }
  void TearDown() override {
    form.reset();
    EXPECT_TRUE(
        ui::app().runUntil([] { return ui::Thread::running() == 0; }, std::chrono::seconds(5)));
    EXPECT_LE(emu.mostConcurrentTransfers(), 1);
    EmulatorTest::TearDown();
  }

  // The page that `button` opens.
  template <class Page>
  Page* openPage(ui::Button* TForm1::*button) {
    EXPECT_TRUE(((*form).*button)->enabled());
    EXPECT_TRUE(((*form).*button)->click());
    return dynamic_cast<Page*>(form->OperationPage.get());
  }

  // The worker has ended soon after the page went, and nothing of the old
  // page is called or shown afterwards.
  void expectWorkerGoneWithThePage(Clock::time_point left) {
    EXPECT_EQ(ui::Thread::running(), 0);
    EXPECT_LT(Clock::now() - left, std::chrono::seconds(2));
    EXPECT_EQ(emu.pendingCalls(), 0);
    const std::size_t calls = emu.log().size();
    ui::app().runUntil([] { return false; }, std::chrono::milliseconds(50));
    EXPECT_EQ(emu.log().size(), calls);
    EXPECT_TRUE(session.dialogs().records().empty());
  }

  void clickOnItsTab(ui::Button* button) {
    ASSERT_TRUE(form->PageControl1->selectTab(static_cast<ui::TabSheet*>(button->parent())));
    ASSERT_TRUE(button->click()) << button->name();
  }

  struct Road {
    const char* name;
    ui::Button* TForm1::*button;
  };
  // Every road away from the page at every moment of a run: `start` opens
  // the page and starts a run at that moment; the worker ends with the page.
  template <class Moment>
  void leaveByEveryRoad(std::initializer_list<Road> roads, std::initializer_list<Moment> moments,
                        const std::function<std::string(Moment)>& nameOf,
                        const std::function<void(Moment)>& start) {
    for (const Road& road : roads) {
      for (const Moment moment : moments) {
        SCOPED_TRACE(std::string(road.name) + ", " + nameOf(moment));
        start(moment);
        if (::testing::Test::HasFatalFailure()) return;
        session.dialogs().clear();
        const auto left = Clock::now();
        ((*form).*road.button)->click();
        expectWorkerGoneWithThePage(left);
        EXPECT_EQ(form->Panel1->children().size(), 1u);
      }
    }
  }

  // 退出 while a run goes on: the worker ends before the controls go.
  void closeTheWindowDuringTheRun() {
    session.dialogs().clear();
    const auto left = Clock::now();
    clickOnItsTab(form->Button11);  // 退出
    EXPECT_TRUE(form->closed());
    form.reset();
    expectWorkerGoneWithThePage(left);
    ui::app().resetTerminated();
  }

  // 手动连机, 自动连机 and 卡机复位 while the worker runs: refused, and
  // nothing but the worker's `function` reaches the device.
  void expectConnectionAndResetRefused(const char* function) {
    session.dialogs().clear();
    for (ui::Button* b : {form->Button3, form->Button12, form->Button7}) {
      const std::size_t before = emu.log().size();
      clickOnItsTab(b);
      const auto log = emu.log();
      for (std::size_t i = before; i < log.size(); ++i)
        EXPECT_EQ(log[i].rfind(std::string(function) + "(", 0), 0u) << log[i];
    }
    EXPECT_EQ(messages(), std::vector<std::string>(3, "连续读写卡正在进行，请先停止后再联机或复位！"));
  }
  // Once the run is stopped, 卡机复位 reaches the device again.
  void expectResetWorks() {
    session.dialogs().clear();
    clickOnItsTab(form->Button7);
    EXPECT_EQ(messages(), std::vector<std::string>{"复位成功！"});
    session.dialogs().clear();
  }

  std::unique_ptr<TForm1> form;
};

}  // namespace cardtest
