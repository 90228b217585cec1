#include "pages/Readcardframe01.h"

#include <cstdint>

#include "device/CardDevice.h"
#include "device/Connection.h"
#include "device/DynamicLibrary.h"
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

TReadCardFrame1::TReadCardFrame1() : ui::Frame("ReadCardFrame1") {
  setBounds({0, 0, 500, 280});
  build(kRows);
  Label4 = find<ui::Label>("Label4");
  Label1 = find<ui::Label>("Label1");
  Memo1 = find<ui::Memo>("Memo1");
  Label2 = find<ui::Label>("Label2");
  Memo2 = find<ui::Memo>("Memo2");
  Label3 = find<ui::Label>("Label3");
  Memo3 = find<ui::Memo>("Memo3");
  GroupBox1 = find<ui::GroupBox>("GroupBox1");
  RadioButton1 = find<ui::RadioButton>("RadioButton1");
  RadioButton2 = find<ui::RadioButton>("RadioButton2");
  RadioButton3 = find<ui::RadioButton>("RadioButton3");
  RadioButton4 = find<ui::RadioButton>("RadioButton4");
  RadioButton5 = find<ui::RadioButton>("RadioButton5");
  RadioButton6 = find<ui::RadioButton>("RadioButton6");
  Button1 = find<ui::Button>("Button1");

  RadioButton1->onClick = [this] { RadioButton1Click(); };
  RadioButton2->onClick = [this] { RadioButton2Click(); };
  RadioButton3->onClick = [this] { RadioButton3Click(); };
  RadioButton4->onClick = [this] { RadioButton4Click(); };
  RadioButton5->onClick = [this] { RadioButton5Click(); };
  RadioButton6->onClick = [this] { RadioButton6Click(); };
  Button1->onClick = [this] { Button1Click(); };

  TrackSelection = 0;
  pages::applyStartupSelection(
      {RadioButton1, RadioButton2, RadioButton3, RadioButton4, RadioButton5, RadioButton6},
      device::DeviceType);
}

void TReadCardFrame1::selectTracks(int selection) {
  TrackSelection = selection;
  const auto on = pages::tracksOf(selection);
  Memo1->setEnabled(on[0]);
  Label1->setEnabled(on[0]);
  Memo2->setEnabled(on[1]);
  Label2->setEnabled(on[1]);
  Memo3->setEnabled(on[2]);
  Label3->setEnabled(on[2]);
}

void TReadCardFrame1::Button1Click() {
  if (TrackSelection == 0) {
    ui::showMessage(pages::kChooseTrack);
    return;
  }
  device::TrackBuffer bufferA;
  device::TrackBuffer bufferB;

  // The page's own load, held only for this one call.
  device::DynamicLibrary library(device::kLibraryFileName);
  if (!library) {
    ui::showMessage(pages::kLibraryLoadFailed);
    return;
  }
  const auto readcard = library.function<device::ReadcardFn>("readcard");
  if (!readcard) {
    ui::showMessage(pages::kEntryPointMissing);
    return;  // the load goes with `library`
  }
  const std::int32_t result = readcard(device::PortNumber, TrackSelection, bufferA.data(),
                                       bufferB.data(), device::CommandMode, device::TimeoutMs);
  library.release();

  if (result != 0) {
    ui::showMessage(std::to_string(result) + ":读卡失败！");
    return;
  }
  const auto texts = pages::readTexts(TrackSelection, bufferA, bufferB);
  ui::Memo* memos[] = {Memo1, Memo2, Memo3};
  for (std::size_t i = 0; i < texts.size(); ++i)
    if (texts[i]) memos[i]->setText(*texts[i]);
  if (TrackSelection == 6) ui::showMessage(pages::kSelection6ReadNote);
}
