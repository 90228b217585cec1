// The write-card test page against the emulated reader.
#include <string>
#include <vector>

#include "CardTestSupport.h"
#include "cards/Buffers.h"
#include "cards/Selections.h"
#include "device/DeviceText.h"
#include "pages/TrackChoice.h"
#include "pages/Wirtecardframe01.h"

namespace {

using cardtest::EmulatorTest;
using cardtest::Hosted;
using cardtest::transferLine;

class WriteCardPage : public EmulatorTest {
 protected:
  void SetUp() override {
    EmulatorTest::SetUp();
    device::DeviceType = 6;
  }

  void choose(int selection) {
    ui::RadioButton* buttons[] = {h.page.RadioButton1, h.page.RadioButton2, h.page.RadioButton3,
                                  h.page.RadioButton4, h.page.RadioButton5, h.page.RadioButton6};
    ASSERT_TRUE(buttons[selection - 1]->click());
  }

  void write(int selection, const std::string& t1, const std::string& t2, const std::string& t3) {
    choose(selection);
    h.page.Memo1->setText(t1);
    h.page.Memo2->setText(t2);
    h.page.Memo3->setText(t3);
    emu.clearLog();
    session.dialogs().clear();
    ASSERT_TRUE(h.page.Button1->click());
  }

  std::string bytes(const std::string& utf8) { return device::toDeviceBytes(utf8).value(); }

  Hosted<TWirteCardFrame1> h;
};

TEST_F(WriteCardPage, BuffersCarryTheTracksOfTheSelection) {
  struct Row {
    int selection;
    std::string a, b;
  };
  const Row rows[] = {
      {1, "", "TRACK ONE"}, {2, "2222", ""}, {3, "", "3333"}, {4, "2222", "TRACK ONE"},
      {5, "2222", "3333"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE("selection " + std::to_string(row.selection));
    emu.resetState();
    emu.setSwipeDelayMs(5);
    cardtest::setConnection(5, 1, 30000, 6);
    write(row.selection, "TRACK ONE", "2222", "3333");
    EXPECT_EQ(emu.log(), std::vector<std::string>{transferLine("writecard", 5, row.selection,
                                                               row.a, row.b, 1, 30000, 0)});
    EXPECT_EQ(messages(), std::vector<std::string>{"写卡成功！"});
    EXPECT_EQ(h.page.Memo1->text(), "TRACK ONE");
  }
}

TEST_F(WriteCardPage, AllThreeTracksWriteTracksOneAndTwoAndSaySo) {
  const std::string track3Before = emu.track(3);
  write(6, "TRACK ONE", "2222", "3333");
  EXPECT_EQ(emu.log(), std::vector<std::string>{
                           transferLine("writecard", 1, 6, "2222", "TRACK ONE", 2, 5000, 0)});
  EXPECT_EQ(messages(), (std::vector<std::string>{"写卡成功！", cards::kSelection6WriteNote}));
  EXPECT_EQ(emu.track(1), "TRACK ONE");
  EXPECT_EQ(emu.track(2), "2222");
  EXPECT_EQ(emu.track(3), track3Before);

  emu.script("writecard", {-5});
  write(6, "TRACK ONE", "2222", "3333");
  EXPECT_EQ(messages(), std::vector<std::string>{"-5:写卡失败！"});
}

TEST_F(WriteCardPage, UpperCaseOptionAppliesToTrackOneWheneverItIsSent) {
  ASSERT_TRUE(h.page.selectuplw->click());
  // Traditional characters whose double-byte forms end in 'x' and 'a' in
  // code page 936: upper-casing device bytes would change them.
  const std::string mixed = "ab讀碼cd";
  for (int selection : {1, 4, 6}) {
    SCOPED_TRACE("selection " + std::to_string(selection));
    write(selection, mixed, "2222", "3333");
    ASSERT_EQ(emu.log().size(), 1u);
    EXPECT_NE(emu.log()[0].find(cardtest::logged(bytes("AB讀碼CD"))), std::string::npos)
        << emu.log()[0];
    EXPECT_EQ(h.page.Memo1->text(), mixed);
  }
  // Only track 1 is upper-cased.
  write(3, "abc", "2222", "abc");
  EXPECT_EQ(emu.log(), std::vector<std::string>{
                           transferLine("writecard", 1, 3, "", "abc", 2, 5000, -14)});

  // Without the option the text goes as typed; the encoder refuses lower case.
  ASSERT_TRUE(h.page.selectuplw->click());
  write(1, "abc123", "", "");
  EXPECT_EQ(emu.log(), std::vector<std::string>{
                           transferLine("writecard", 1, 1, "", "abc123", 2, 5000, -14)});
  EXPECT_EQ(messages(), std::vector<std::string>{"-14:写卡失败！"});
  EXPECT_TRUE(h.page.selectuplw->enabled());
}

TEST_F(WriteCardPage, TextsGoWholeAndEmptyTextsStillWrite) {
  write(2, "", "12\r\n34", "");
  EXPECT_EQ(emu.log(), std::vector<std::string>{
                           transferLine("writecard", 1, 2, "12\r\n34", "", 2, 5000, -14)});
  write(5, "", "", "");
  EXPECT_EQ(emu.log(), std::vector<std::string>{transferLine("writecard", 1, 5, "", "", 2, 5000, 0)});
  EXPECT_EQ(messages(), std::vector<std::string>{"写卡成功！"});
  EXPECT_EQ(emu.track(2), "");
  EXPECT_EQ(emu.track(3), "");
}

TEST_F(WriteCardPage, TextThatDoesNotFitItsBufferIsRefusedBeforeAnyLibraryWork) {
  const std::string fits(299, 'A');
  const std::string tooLong(300, 'A');
  write(1, fits, "", "");
  ASSERT_EQ(emu.log().size(), 1u);
  EXPECT_NE(emu.log()[0].find(cardtest::logged(fits)), std::string::npos);

  // Refusals must come without a load: with an unloadable file in place, a
  // load would show its own message.
  device::DynamicLibrary::setSearchFolderForTests(cardtest::variantFolder("not_a_library"));
  const int loads = device::DynamicLibrary::liveLoads();
  write(1, tooLong, "", "");
  EXPECT_EQ(messages(), std::vector<std::string>{"1轨数据超过299字节，未写卡！"});
  write(3, "", "", tooLong);
  EXPECT_EQ(messages(), std::vector<std::string>{"3轨数据超过299字节，未写卡！"});
  write(2, "", "\xFF", "");
  EXPECT_EQ(messages(), std::vector<std::string>{"2轨数据含有无法转换为设备字符的字符，未写卡！"});
  // First failure in track order.
  write(5, "", tooLong, "\xFF");
  EXPECT_EQ(messages(), std::vector<std::string>{"2轨数据超过299字节，未写卡！"});
  write(4, "\xFF", tooLong, "");
  EXPECT_EQ(messages(), std::vector<std::string>{"1轨数据含有无法转换为设备字符的字符，未写卡！"});
  write(5, "", "2222", "\xFF");
  EXPECT_EQ(messages(), std::vector<std::string>{"3轨数据含有无法转换为设备字符的字符，未写卡！"});
  // Texts of tracks that are not sent are not looked at.
  write(2, tooLong, "2222", "\xFF");
  EXPECT_EQ(messages(), std::vector<std::string>{pages::kLibraryLoadFailed});
  EXPECT_EQ(device::DynamicLibrary::liveLoads(), loads);
  EXPECT_TRUE(emu.log().empty());
}

TEST_F(WriteCardPage, ResultsAndLibraryProblems) {
  emu.script("writecard", {-1, 0});
  write(2, "", "2222", "");
  EXPECT_EQ(messages(), std::vector<std::string>{"-1:写卡失败！"});
  write(2, "", "2222", "");
  EXPECT_EQ(messages(), std::vector<std::string>{"写卡成功！"});

  const int before = device::DynamicLibrary::liveLoads();
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(h.page.Button1->click());
  EXPECT_EQ(device::DynamicLibrary::liveLoads(), before);

  const std::string variant = cardtest::variantFolder("no_writecard");
  emu::Client withoutWritecard(variant + "/40x.dll");
  ASSERT_TRUE(withoutWritecard.controllable());
  const int withVariant = device::DynamicLibrary::liveLoads();
  device::DynamicLibrary::setSearchFolderForTests(variant);
  write(2, "", "2222", "");
  EXPECT_EQ(messages(), std::vector<std::string>{pages::kEntryPointMissing});
  EXPECT_EQ(device::DynamicLibrary::liveLoads(), withVariant);
  EXPECT_TRUE(withoutWritecard.log().empty());
  EXPECT_TRUE(emu.log().empty());
}

TEST_F(WriteCardPage, UnknownModelAsksForATrackUntilOneIsChosen) {
  device::DeviceType = 0;
  Hosted<TWirteCardFrame1> fresh;
  fresh.page.Memo2->setText("2222");
  ASSERT_TRUE(fresh.page.Button1->click());
  EXPECT_EQ(messages(), std::vector<std::string>{pages::kChooseTrack});
  EXPECT_TRUE(emu.log().empty());
  ASSERT_TRUE(fresh.page.RadioButton2->click());
  ASSERT_TRUE(fresh.page.Button1->click());
  EXPECT_EQ(emu.log(), std::vector<std::string>{transferLine("writecard", 1, 2, "2222", "", 2, 5000, 0)});
}

}  // namespace
