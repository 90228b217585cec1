// Faults the randomized sessions found, each shown on its own.
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "../pages/CardTestSupport.h"
#include "pages/Mwirtecardframe01.h"
#include "ui/Application.h"
#include "ui/Thread.h"

namespace {

using namespace std::chrono_literals;

class ContinuousWriteFinding : public cardtest::EmulatorTest {
 protected:
  void SetUp() override {
    EmulatorTest::SetUp();
    emu.setSwipeDelayMs(0);
    device::DeviceType = 6;
    page = std::make_unique<cardtest::Hosted<TMWirteCardFrame1>>();
    emu.clearLog();
  }
  void TearDown() override {
    page.reset();
    EXPECT_TRUE(ui::app().runUntil([] { return ui::Thread::running() == 0; }, 5s));
    EmulatorTest::TearDown();
  }
  TMWirteCardFrame1& p() { return page->page; }
  std::vector<std::string> writes() {
    std::vector<std::string> out;
    for (const std::string& line : emu.log())
      if (line.rfind("writecard(", 0) == 0) out.push_back(line);
    return out;
  }

  std::unique_ptr<cardtest::Hosted<TMWirteCardFrame1>> page;
};

// Cancel in the failure question ends the batch by setting the counter to
// the card count; with the largest count the next increment wrapped round to
// -2147483648 and the batch went on writing cards with negative numbers.
TEST_F(ContinuousWriteFinding, CancelEndsABatchOfTheLargestCount) {
  ASSERT_TRUE(p().RadioButton2->click());
  p().Memo2->setText("12");
  p().Edit4->setText("0");
  p().Edit5->setText("1");
  emu.script("writecard", {-6});
  session.dialogs().answerConfirm(false);
  p().Edit1->setText("2147483647");
  ASSERT_TRUE(p().Button1->click());

  EXPECT_TRUE(ui::app().runUntil([&] { return !p().running(); }, 2s))
      << "the batch went on after Cancel";
  p().Button4->click();  // Back ends a batch that is still going
  ASSERT_FALSE(writes().empty());
  EXPECT_EQ(writes().front(), cardtest::transferLine("writecard", 1, 2, "120", "", 2, 5000, -6));
  EXPECT_EQ(writes().size(), 1u) << writes()[1];
  EXPECT_TRUE(p().Button1->enabled());
  EXPECT_FALSE(p().Button2->enabled());
}

}  // namespace
