#include "pages/Wirtecardframe01.h"

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
  // kind               name            parent       left top  w    h    caption       props
  {Kind::Label,       "Label4",       "",          216,  8,  73,  13, "写卡测试",    ""},
  {Kind::Label,       "Label1",       "",           16, 21,  65,  13, "1轨数据",     ""},
  {Kind::CheckBox,    "selectuplw",   "",           71, 19,  97,  17, "小写转大写",  "taborder=5;font=宋体/12px"},
  {Kind::Memo,        "Memo1",        "",           16, 35, 465,  33, "",            "taborder=3"},
  {Kind::Label,       "Label2",       "",           16, 70,  65,  13, "2轨数据",     ""},
  {Kind::Memo,        "Memo2",        "",           16, 84, 465,  33, "",            "taborder=2"},
  {Kind::Label,       "Label3",       "",           16,119,  65,  13, "3轨数据",     ""},
  {Kind::Memo,        "Memo3",        "",           16,134, 465,  33, "",            "taborder=1"},
  {Kind::GroupBox,    "GroupBox1",    "",           16,177, 465,  57, "请选择轨道",  "taborder=4"},
  {Kind::RadioButton, "RadioButton1", "GroupBox1",  16, 24,  41,  17, "1轨",         "taborder=0"},
  {Kind::RadioButton, "RadioButton2", "GroupBox1",  86, 24,  41,  17, "2轨",         "taborder=1"},
  {Kind::RadioButton, "RadioButton3", "GroupBox1", 161, 24,  41,  17, "3轨",         "taborder=2"},
  {Kind::RadioButton, "RadioButton4", "GroupBox1", 238, 24,  49,  17, "1,2轨",       "taborder=3"},
  {Kind::RadioButton, "RadioButton5", "GroupBox1", 323, 24,  49,  17, "2,3轨",       "taborder=4"},
  {Kind::RadioButton, "RadioButton6", "GroupBox1", 400, 25,  61,  17, "1,2,3轨",     "taborder=5"},
  {Kind::Button,      "Button1",      "",          208,248,  75,  25, "写卡",        "taborder=0"},
};
// clang-format on

}  // namespace

TWirteCardFrame1::TWirteCardFrame1() : SingleCardFrame("WirteCardFrame1", 501, 280, kRows) {
  selectuplw = find<ui::CheckBox>("selectuplw");
}

void TWirteCardFrame1::Button1Click() {
  if (TrackSelection == 0) {
    ui::showMessage(pages::kChooseTrack);
    return;
  }
  // The texts are checked before any library work: a text that does not fit
  // its buffer, or has no device form, is not written at all.
  device::TrackBuffer bufferA;
  device::TrackBuffer bufferB;
  const auto refusal = cards::fillWriteBuffers(
      TrackSelection, [&](int track) { return memoOf(track)->text(); }, selectuplw->checked(),
      bufferA, bufferB);
  if (refusal) {
    ui::showMessage(*refusal);
    return;
  }

  const auto called = callDevice("writecard", TrackSelection, bufferA, bufferB);
  if (!called) return;
  const std::int32_t result = *called;

  if (result != 0) {
    ui::showMessage(std::to_string(result) + ":写卡失败！");
    return;
  }
  ui::showMessage("写卡成功！");
  if (TrackSelection == 6) ui::showMessage(cards::kSelection6WriteNote);
}
