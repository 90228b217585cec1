// The six track radio buttons, as the read and the write page both have them.
#include <array>
#include <string>

#include "CardTestSupport.h"
#include "cards/Selections.h"
#include "pages/Readcardframe01.h"
#include "pages/TrackChoice.h"
#include "pages/Wirtecardframe01.h"

namespace {

using cardtest::EmulatorTest;
using cardtest::Hosted;

template <class Page>
std::array<ui::RadioButton*, 6> radios(Page& p) {
  return {p.RadioButton1, p.RadioButton2, p.RadioButton3,
          p.RadioButton4, p.RadioButton5, p.RadioButton6};
}

template <class Page>
std::string enabledRadios(Page& p) {
  std::string s;
  for (auto* r : radios(p)) s += r->enabled() ? '1' : '0';
  return s;
}

template <class Page>
int checkedRadio(Page& p) {
  int found = 0;
  auto all = radios(p);
  for (int i = 0; i < 6; ++i)
    if (all[static_cast<std::size_t>(i)]->checked()) found = found ? -1 : i + 1;
  return found;
}

// Memo i and its heading are enabled together; "?" when they differ.
template <class Page>
std::string enabledTracks(Page& p) {
  const std::array<std::pair<ui::Control*, ui::Control*>, 3> tracks = {
      {{p.Memo1, p.Label1}, {p.Memo2, p.Label2}, {p.Memo3, p.Label3}}};
  std::string s;
  for (auto [memo, label] : tracks)
    s += memo->enabled() != label->enabled() ? '?' : memo->enabled() ? '1' : '0';
  return s;
}

template <class Page>
class TrackSelectionTest : public EmulatorTest {};
using CardPages = ::testing::Types<TReadCardFrame1, TWirteCardFrame1>;
TYPED_TEST_SUITE(TrackSelectionTest, CardPages);

struct StartupRow {
  int deviceType;
  const char* enabledRadios;
  int checked;
  int selection;
  const char* enabledTracks;
};

const StartupRow kStartup[] = {
    {2, "010000", 2, 2, "010"}, {3, "001000", 3, 3, "001"}, {4, "110100", 1, 1, "100"},
    {5, "011010", 2, 2, "010"}, {6, "111111", 1, 1, "100"},
    // Unknown models leave the form state: everything on, nothing marked.
    {0, "111111", 0, 0, "111"}, {1, "111111", 0, 0, "111"}, {7, "111111", 0, 0, "111"},
    {-2, "111111", 0, 0, "111"},
};

TYPED_TEST(TrackSelectionTest, StartupSelectionFollowsTheModel) {
  for (const StartupRow& row : kStartup) {
    SCOPED_TRACE("DeviceType " + std::to_string(row.deviceType));
    device::DeviceType = row.deviceType;
    TypeParam page;
    EXPECT_EQ(enabledRadios(page), row.enabledRadios);
    EXPECT_EQ(checkedRadio(page), row.checked);
    EXPECT_EQ(page.TrackSelection, row.selection);
    EXPECT_EQ(enabledTracks(page), row.enabledTracks);
  }
}

TYPED_TEST(TrackSelectionTest, ChoosingTracksSwitchesMemosButKeepsTheirText) {
  device::DeviceType = 6;
  Hosted<TypeParam> h;
  auto& p = h.page;
  p.Memo1->setText("one");
  p.Memo2->setText("two");
  p.Memo3->setText("three");
  const char* expected[] = {"100", "010", "001", "110", "011", "111"};
  // From the widest choice back to single tracks, so that every memo is
  // switched off again at least once.
  for (int n : {6, 1, 5, 2, 4, 3, 6, 2}) {
    SCOPED_TRACE("RadioButton" + std::to_string(n));
    ASSERT_TRUE(radios(p)[static_cast<std::size_t>(n - 1)]->click());
    EXPECT_EQ(p.TrackSelection, n);
    EXPECT_EQ(checkedRadio(p), n);
    EXPECT_EQ(enabledTracks(p), expected[n - 1]);
  }
  EXPECT_EQ(p.Memo1->text(), "one");
  EXPECT_EQ(p.Memo2->text(), "two");
  EXPECT_EQ(p.Memo3->text(), "three");
  EXPECT_TRUE(this->errors().empty());
}

}  // namespace
