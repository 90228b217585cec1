#include "pages/Readcardframe01.h"

#include <cstdint>

#include "cards/Buffers.h"
#include "cards/Selections.h"
#include "device/TrackBuffer.h"
#include "pages/TrackChoice.h"
#include "ui/Application.h"

namespace {

using ui::Kind;

// clang-format off
const ui::FormRow kRows[] = {
  // kind               name            parent       left top  w    h    caption      props
  {Kind::Label,       "Label4",       "",          216,  8,  65,  13, "读卡测试",   ""},
  {Kind::Label,       "Label1",       "",           16, 21,  65,  13, "1轨数据",    ""},
  {Kind::Memo,        "Memo1",        "",           16, 35, 465,  33, "",           "taborder=1"},
  {Kind::Label,       "Label2",       "",           16, 70,  57,  13, "2轨数据",    ""},
  {Kind::Memo,        "Memo2",        "",           16, 84, 465,  33, "",           "taborder=2"},
  {Kind::Label,       "Label3",       "",           16,119,  65,  13, "3轨数据",    ""},
  {Kind::Memo,        "Memo3",        "",           16,134, 465,  33, "",           "taborder=3"},
  {Kind::GroupBox,    "GroupBox1",    "",           16,177, 465,  57, "请选择轨道", "taborder=4"},
  {Kind::RadioButton, "RadioButton1", "GroupBox1",  16, 24,  41,  17, "1轨",        "taborder=0"},
  {Kind::RadioButton, "RadioButton2", "GroupBox1",  84, 24,  41,  17, "2轨",        "taborder=1"},
  {Kind::RadioButton, "RadioButton3", "GroupBox1", 153, 24,  41,  17, "3轨",        "taborder=2"},
  {Kind::RadioButton, "RadioButton4", "GroupBox1", 233, 24,  49,  17, "1,2轨",      "taborder=3"},
  {Kind::RadioButton, "RadioButton5", "GroupBox1", 315, 24,  49,  17, "2,3轨",      "taborder=4"},
  {Kind::RadioButton, "RadioButton6", "GroupBox1", 394, 24,  58,  17, "1,2,3轨",    "taborder=5"},
  {Kind::Button,      "Button1",      "",          208,248,  75,  25, "读卡",       "taborder=0"},
};
// clang-format on

}  // namespace

TReadCardFrame1::TReadCardFrame1() : SingleCardFrame("ReadCardFrame1", 500, 280, kRows) {}

void TReadCardFrame1::Button1Click() {
  if (TrackSelection == 0) {
    ui::showMessage(pages::kChooseTrack);
    return;
  }
  device::TrackBuffer bufferA;
  device::TrackBuffer bufferB;

  const auto called = callDevice("readcard", TrackSelection, bufferA, bufferB);
  if (!called) return;
  const std::int32_t result = *called;

  if (result != 0) {
    ui::showMessage(std::to_string(result) + ":读卡失败！");
    return;
  }
  const auto texts = cards::readTexts(TrackSelection, bufferA, bufferB);
  for (std::size_t i = 0; i < texts.size(); ++i)
    if (texts[i]) memoOf(static_cast<int>(i) + 1)->setText(*texts[i]);
  if (TrackSelection == 6) ui::showMessage(cards::kSelection6ReadNote);
}
