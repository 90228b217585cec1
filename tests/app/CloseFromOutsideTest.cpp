// Another program closes the main window (WM_CLOSE, "End task") while a
// handler of a page or of the window waits in a box or in the start guard's
// wait. The close follows once no handler runs: nothing is freed under the
// waiting handler (AddressSanitizer watches), no card call is made after the
// close was asked, and the program ends.
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "../pages/TextFileSupport.h"
#include "RunningPageInMainForm.h"
#include "app/MainForm.h"
#include "pages/Mreadcardframe01.h"
#include "pages/Mwirtecardframe01.h"
#include "pages/Readcardframe01.h"
#include "pages/Wirtecardframe01.h"
#include "pages/Writetextframe01.h"
#include "ui/Application.h"

namespace {

using namespace std::chrono_literals;
using ui::DialogKind;

class CloseFromOutside : public cardtest::RunningPageInMainForm {
 protected:
  void SetUp() override {
    RunningPageInMainForm::SetUp();
    openWindow(&TForm1::Button3, 1);
    // The close of the main form is the one that ends the program.
    ui::app().setMainForm(form.get());
    startCounting();
  }
  void TearDown() override {
    session.dialogs().whileOpen = nullptr;
    RunningPageInMainForm::TearDown();
    ui::app().resetTerminated();
  }

  // The window is closed from outside as soon as a box of this kind (and
  // text, when given) opens.
  void closeWhenOpen(DialogKind kind, std::optional<std::string> text) {
    session.dialogs().whileOpen = [this, kind, text](const ui::headless::DialogRecord& r) {
      if (closedAt_ || r.kind != kind || (text && r.text != *text)) return;
      closedAt_ = emu.log().size();
      inFlight_ = emu.pendingCalls();
      boxesAtClose_ = session.dialogs().records().size();
      form->close();
    };
  }
  // The close from another program while the start guard serves the window.
  void closeAfter(std::chrono::milliseconds delay) {
    ui::app().schedule(delay, [this] {
      closedAt_ = emu.log().size();
      inFlight_ = emu.pendingCalls();
      boxesAtClose_ = session.dialogs().records().size();
      form->close();
    });
  }

  void expectClosedWithoutCardCallsAfterTheClose() {
    ASSERT_TRUE(ui::app().runUntil([&] { return closedAt_.has_value() && form->closed(); }, 5s))
        << "the close never took effect";
    EXPECT_TRUE(ui::app().terminated());
    EXPECT_EQ(form->OperationPage, nullptr);
    EXPECT_TRUE(ui::app().runUntil([] { return ui::Thread::running() == 0; }, 5s));
    // The log has a call when it returns: only those already inside may end later.
    const auto log = emu.log();
    std::vector<std::string> cardCalls;
    for (std::size_t i = *closedAt_; i < log.size(); ++i)
      for (const char* card : {"readcard(", "writecard(", "opencomm(", "detect(", "reset("})
        if (log[i].rfind(card, 0) == 0) cardCalls.push_back(log[i]);
    EXPECT_LE(cardCalls.size(), static_cast<std::size_t>(inFlight_))
        << "after the close: " << ::testing::PrintToString(cardCalls);
    EXPECT_EQ(session.dialogs().records().size(), boxesAtClose_) << "a box after the close";
  }

  cardtest::TempFolder files;
  std::optional<std::size_t> closedAt_;
  std::size_t boxesAtClose_ = 0;
  std::int32_t inFlight_ = 0;
};

class EveryBoxAndWait;
struct Case {
  const char* name;
  std::function<void(EveryBoxAndWait&)> act;
};

class EveryBoxAndWait : public CloseFromOutside, public ::testing::WithParamInterface<Case> {
 public:
  // The fixture's parts, for the table below.
  using CloseFromOutside::closeAfter;
  using CloseFromOutside::closeWhenOpen;
  using CloseFromOutside::emu;
  using CloseFromOutside::files;
  using CloseFromOutside::form;
  using CloseFromOutside::openPage;
  using CloseFromOutside::session;
};

TEST_P(EveryBoxAndWait, TheCloseFollowsTheHandlerAndNoCardCallComesAfterIt) {
  GetParam().act(*this);
  expectClosedWithoutCardCallsAfterTheClose();
}

// A run of the continuous write whose first write waits.
TMWirteCardFrame1& runningBatch(EveryBoxAndWait& t) {
  auto& page = *t.openPage<TMWirteCardFrame1>(&TForm1::Button5);
  page.Edit1->setText("5");
  t.emu.setBlocking("writecard", 1);
  EXPECT_TRUE(page.Button1->click());  // 请刷卡！
  EXPECT_TRUE(ui::app().runUntil([&] { return t.emu.pendingCalls() == 1; }, 5s));
  return page;
}

// A text-file run whose writes fail, so that the worker asks.
TWriteTextFrame1& failingTextRun(EveryBoxAndWait& t) {
  auto& page = *t.openPage<TWriteTextFrame1>(&TForm1::Button6);
  const std::int32_t failures[] = {-1, -1, -1};
  t.emu.scriptResults("writecard", failures, 3);
  page.Edit1->setText(t.files.write("cards.txt", "11\r\n22\r\n33\r\n"));
  page.RadioGroup1->setItemIndex(1);
  return page;
}

const Case kCases[] = {
    {"联机成功 of a new connection",
     [](EveryBoxAndWait& t) {
       t.closeWhenOpen(DialogKind::Message, "联机成功！");
       ASSERT_TRUE(t.form->PageControl1->selectTab(t.form->TabSheet1));
       ASSERT_TRUE(t.form->Button3->click());
     }},
    {"请刷卡 before a batch starts",
     [](EveryBoxAndWait& t) {
       auto& page = *t.openPage<TMWirteCardFrame1>(&TForm1::Button5);
       page.Edit1->setText("5");
       t.closeWhenOpen(DialogKind::Message, "请刷卡！");
       ASSERT_TRUE(page.Button1->click());
     }},
    {"the batch's stop question",
     [](EveryBoxAndWait& t) {
       auto& page = runningBatch(t);
       t.session.dialogs().answerConfirm(true);
       t.closeWhenOpen(DialogKind::Confirm, "确定退出连续写卡？");
       ASSERT_TRUE(page.Button3->click());
     }},
    {"the batch worker's failure question, answered OK",
     [](EveryBoxAndWait& t) {
       auto& page = *t.openPage<TMWirteCardFrame1>(&TForm1::Button5);
       page.Edit1->setText("5");
       const std::int32_t failures[] = {-1, -1, -1};
       t.emu.scriptResults("writecard", failures, 3);
       t.session.dialogs().answerConfirm(true);
       t.closeWhenOpen(DialogKind::Confirm, std::nullopt);
       ASSERT_TRUE(page.Button1->click());
     }},
    {"the text file's missing-file message",
     [](EveryBoxAndWait& t) {
       auto& page = *t.openPage<TWriteTextFrame1>(&TForm1::Button6);
       t.closeWhenOpen(DialogKind::Message, std::nullopt);
       ASSERT_TRUE(page.Button3->click());
     }},
    {"the file dialog",
     [](EveryBoxAndWait& t) {
       auto& page = *t.openPage<TWriteTextFrame1>(&TForm1::Button6);
       t.session.dialogs().answerFile(t.files.write("cards.txt", "11\r\n"));
       t.closeWhenOpen(DialogKind::OpenFile, std::nullopt);
       ASSERT_TRUE(page.Button1->click());
     }},
    {"the text worker's failure question, answered OK",
     [](EveryBoxAndWait& t) {
       auto& page = failingTextRun(t);
       t.session.dialogs().answerConfirm(true);
       t.closeWhenOpen(DialogKind::Confirm, std::nullopt);
       ASSERT_TRUE(page.Button3->click());
     }},
    {"the start guard's wait for a stopped write that missed its break-off",
     [](EveryBoxAndWait& t) {
       auto& page = *t.openPage<TWriteTextFrame1>(&TForm1::Button6);
       t.emu.setBlocking("writecard", 1);
       page.Edit1->setText(t.files.write("cards.txt", "11\r\n22\r\n"));
       page.RadioGroup1->setItemIndex(1);
       ASSERT_TRUE(page.Button3->click());
       ASSERT_TRUE(ui::app().runUntil([&] { return t.emu.pendingCalls() == 1; }, 5s));
       t.emu.missBreakOffs(1000000);
       ASSERT_TRUE(page.Button5->click());  // Stop: its break-offs all miss
       t.closeAfter(300ms);
       ASSERT_TRUE(page.Button3->click());  // Start waits for the stopped worker
       t.emu.missBreakOffs(0);              // the teardown's break-off gets through
     }},
    {"a single read's failure message",
     [](EveryBoxAndWait& t) {
       auto& page = *t.openPage<TReadCardFrame1>(&TForm1::Button1);
       const std::int32_t failure[] = {-3};
       t.emu.scriptResults("readcard", failure, 1);
       t.closeWhenOpen(DialogKind::Message, "-3:读卡失败！");
       ASSERT_TRUE(page.Button1->click());
     }},
    {"a single write's success message",
     [](EveryBoxAndWait& t) {
       auto& page = *t.openPage<TWirteCardFrame1>(&TForm1::Button2);
       page.Memo2->setText("1234");
       t.closeWhenOpen(DialogKind::Message, "写卡成功！");
       ASSERT_TRUE(page.Button1->click());
     }},
    {"the continuous read's count message",
     [](EveryBoxAndWait& t) {
       auto& page = *t.openPage<TMReadCardFrame1>(&TForm1::Button4);
       t.closeWhenOpen(DialogKind::Message, "请选择读卡次数!");
       ASSERT_TRUE(page.Button1->click());
     }},
};

INSTANTIATE_TEST_SUITE_P(Boxes, EveryBoxAndWait, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                           return "Case" + std::to_string(info.index);
                         });

}  // namespace
