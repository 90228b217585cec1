// The read-card test page against the emulated reader.
#include <string>
#include <vector>

#include "CardTestSupport.h"
#include "cards/Buffers.h"
#include "cards/Selections.h"
#include "pages/Readcardframe01.h"
#include "pages/TrackChoice.h"

namespace {

using cardtest::EmulatorTest;
using cardtest::Hosted;
using cardtest::transferLine;

class ReadCardPage : public EmulatorTest {
 protected:
  void SetUp() override {
    EmulatorTest::SetUp();
    emu.setTrack(1, "TRACK ONE");
    emu.setTrack(2, "2222");
    emu.setTrack(3, "3333");
    device::DeviceType = 6;
  }

  // Chooses the tracks, fills the memos with old text and presses "读卡".
  void read(Hosted<TReadCardFrame1>& h, int selection) {
    ui::RadioButton* buttons[] = {h.page.RadioButton1, h.page.RadioButton2, h.page.RadioButton3,
                                  h.page.RadioButton4, h.page.RadioButton5, h.page.RadioButton6};
    ASSERT_TRUE(buttons[selection - 1]->click());
    h.page.Memo1->setText("old1");
    h.page.Memo2->setText("old2");
    h.page.Memo3->setText("old3");
    ASSERT_TRUE(h.page.Button1->click());
  }

  std::vector<std::string> memos(Hosted<TReadCardFrame1>& h) {
    return {h.page.Memo1->text(), h.page.Memo2->text(), h.page.Memo3->text()};
  }
};

TEST_F(ReadCardPage, SuccessfulReadFillsTheMemosOfTheSelectedTracks) {
  struct Row {
    int selection;
    std::string a, b;
    std::vector<std::string> memos;
  };
  const Row rows[] = {
      {1, "", "TRACK ONE", {"TRACK ONE", "old2", "old3"}},
      {2, "2222", "", {"old1", "2222", "old3"}},
      {3, "", "3333", {"old1", "old2", "3333"}},
      {4, "2222", "TRACK ONE", {"TRACK ONE", "2222", "old3"}},
      {5, "2222", "3333", {"old1", "2222", "3333"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("selection " + std::to_string(row.selection));
    Hosted<TReadCardFrame1> h;
    emu.clearLog();
    session.dialogs().clear();
    // The connection values count as they are at the press.
    cardtest::setConnection(4, 1, 10000, 6);
    read(h, row.selection);
    EXPECT_EQ(emu.log(), std::vector<std::string>{transferLine("readcard", 4, row.selection, row.a,
                                                               row.b, 1, 10000, 0)});
    EXPECT_EQ(memos(h), row.memos);
    EXPECT_TRUE(session.dialogs().records().empty());
  }
}

TEST_F(ReadCardPage, AllThreeTracksShowTracksOneAndTwoAndSayWhyTrackThreeIsEmpty) {
  Hosted<TReadCardFrame1> h;
  read(h, 6);
  EXPECT_EQ(emu.log(), std::vector<std::string>{
                           transferLine("readcard", 1, 6, "2222", "TRACK ONE", 2, 5000, 0)});
  EXPECT_EQ(memos(h), (std::vector<std::string>{"TRACK ONE", "2222", ""}));
  EXPECT_EQ(messages(), std::vector<std::string>{cards::kSelection6ReadNote});
}

TEST_F(ReadCardPage, FailedReadShowsTheNumberAndKeepsTheMemos) {
  for (int selection : {1, 5, 6}) {
    SCOPED_TRACE("selection " + std::to_string(selection));
    Hosted<TReadCardFrame1> h;
    session.dialogs().clear();
    emu.script("readcard", {-1});
    read(h, selection);
    EXPECT_EQ(memos(h), (std::vector<std::string>{"old1", "old2", "old3"}));
    EXPECT_EQ(messages(), std::vector<std::string>{"-1:读卡失败！"});
  }
  // Time-out without a card: the device's own number, whatever it is.
  Hosted<TReadCardFrame1> h;
  session.dialogs().clear();
  emu.setSwipeDelayMs(-1);
  device::TimeoutMs = 20;
  read(h, 2);
  const auto log = emu.log();
  ASSERT_FALSE(log.empty());
  const std::string result = log.back().substr(log.back().rfind('=') + 1);
  EXPECT_EQ(messages(), std::vector<std::string>{result + ":读卡失败！"});
  EXPECT_EQ(memos(h), (std::vector<std::string>{"old1", "old2", "old3"}));
}

TEST_F(ReadCardPage, EmptyAndUnterminatedBuffersAndForeignBytes) {
  Hosted<TReadCardFrame1> h;
  emu.setTrack(2, nullptr);
  read(h, 2);
  EXPECT_EQ(h.page.Memo2->text(), "");

  // A buffer without a zero is taken up to its 300th byte and no further.
  emu.setUnterminatedBuffers(1);
  emu.setTrack(2, "12345");
  read(h, 2);
  const std::string shown = h.page.Memo2->text();
  EXPECT_EQ(shown.size(), 300u);
  EXPECT_EQ(shown.substr(0, 5), "12345");
  emu.setUnterminatedBuffers(0);

  // Bytes that are no text reach the memo as replacement characters, not raw.
  emu.setTrack(1, "A\xFF" "B");
  read(h, 1);
  EXPECT_EQ(h.page.Memo1->text(), "A\xEF\xBF\xBD" "B");
  EXPECT_TRUE(messages().empty());
}

TEST_F(ReadCardPage, NoTrackChosenAsksForOneWithoutTouchingTheLibrary) {
  device::DeviceType = 0;
  Hosted<TReadCardFrame1> h;
  ASSERT_TRUE(h.page.Button1->click());
  EXPECT_EQ(messages(), std::vector<std::string>{pages::kChooseTrack});
  EXPECT_TRUE(emu.log().empty());
}

TEST_F(ReadCardPage, EveryPressGivesItsLoadBack) {
  Hosted<TReadCardFrame1> h;
  const int before = device::DynamicLibrary::liveLoads();
  emu.script("readcard", {-3, 0, -3, 0, 0, -3, 0, 0, -3, 0});
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(h.page.Button1->click());
  EXPECT_EQ(device::DynamicLibrary::liveLoads(), before);
  EXPECT_EQ(emu.log().size(), 10u);
}

TEST_F(ReadCardPage, LibraryProblemsAreReportedAndNothingIsCalled) {
  Hosted<TReadCardFrame1> h;
  const int before = device::DynamicLibrary::liveLoads();

  device::DynamicLibrary::setSearchFolderForTests(cardtest::variantFolder("not_a_library"));
  ASSERT_TRUE(h.page.Button1->click());
  EXPECT_EQ(messages(), std::vector<std::string>{pages::kLibraryLoadFailed});

  session.dialogs().clear();
  const std::string variant = cardtest::variantFolder("no_readcard");
  emu::Client withoutReadcard(variant + "/40x.dll");
  ASSERT_TRUE(withoutReadcard.controllable());
  const int withVariant = device::DynamicLibrary::liveLoads();
  device::DynamicLibrary::setSearchFolderForTests(variant);
  ASSERT_TRUE(h.page.Button1->click());
  EXPECT_EQ(messages(), std::vector<std::string>{pages::kEntryPointMissing});
  EXPECT_EQ(device::DynamicLibrary::liveLoads(), withVariant);
  EXPECT_TRUE(withoutReadcard.log().empty());
  EXPECT_EQ(withVariant, before + 1);
  EXPECT_TRUE(emu.log().empty());
}

}  // namespace
