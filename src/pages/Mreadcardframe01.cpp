#include "pages/Mreadcardframe01.h"

#include <memory>

#include "device/Connection.h"
#include "pages/BreakOff.h"
#include "pages/DeviceGuard.h"
#include "pages/TrackChoice.h"
#include "ui/Application.h"
#include "ui/Convert.h"

namespace {

using ui::Kind;

// clang-format off
const ui::FormRow kRows[] = {
  // kind               name            parent       left top  w    h    caption         props
  {Kind::Label,       "Label2",       "",          192,  8,  89,  13, "连续读卡测试", ""},
  {Kind::GroupBox,    "GroupBox1",    "",           14, 23, 115, 202, "请选择轨道",   "taborder=4"},
  {Kind::RadioButton, "RadioButton1", "GroupBox1",  16, 24,  41,  17, "1轨",          "taborder=1"},
  {Kind::RadioButton, "RadioButton2", "GroupBox1",  16, 53,  41,  17, "2轨",          "taborder=2"},
  {Kind::RadioButton, "RadioButton3", "GroupBox1",  16, 82,  41,  17, "3轨",          "taborder=3"},
  {Kind::RadioButton, "RadioButton4", "GroupBox1",  16,116,  49,  17, "1,2轨",        "taborder=4"},
  {Kind::RadioButton, "RadioButton5", "GroupBox1",  16,148,  49,  10, "2,3轨",        "taborder=5"},
  {Kind::RadioButton, "RadioButton6", "GroupBox1",  16,174,  65,  17, "1,2,3轨",      "taborder=0"},
  {Kind::Memo,        "Memo1",        "",          133, 29, 354, 195, "",             "vscroll;log;taborder=0"},
  {Kind::Label,       "Label1",       "",           48,248,  60,  13, "读卡次数：",   ""},
  {Kind::Edit,        "Edit1",        "",          112,244,  73,  21, "0",            "taborder=2"},
  {Kind::UpDown,      "UpDown1",      "",          185,244,  16,  21, "",             "associate=Edit1;min=0;max=100;position=0;taborder=1"},
  {Kind::Button,      "Button1",      "",          221,242,  75,  25, "开始读卡",     "taborder=3"},
  {Kind::Button,      "Button3",      "",          318,240,  75,  25, "停止读卡",     "taborder=6"},
  {Kind::Button,      "Button2",      "",          408,240,  73,  25, "清空显示",     "taborder=5"},
};
// clang-format on

constexpr const char* kStillEnding = "上一次连续读卡尚未结束，请稍后再开始！";
}  // namespace

TMReadCardFrame1::TMReadCardFrame1()
    : ui::Frame("MReadCardFrame1"),
      run_([] { pages::breakOffThrough(ReaderLibraryHandle); }, kStillEnding) {
  setBounds({0, 0, 500, 273});
  build(kRows);
  Label2 = find<ui::Label>("Label2");
  GroupBox1 = find<ui::GroupBox>("GroupBox1");
  RadioButton1 = find<ui::RadioButton>("RadioButton1");
  RadioButton2 = find<ui::RadioButton>("RadioButton2");
  RadioButton3 = find<ui::RadioButton>("RadioButton3");
  RadioButton4 = find<ui::RadioButton>("RadioButton4");
  RadioButton5 = find<ui::RadioButton>("RadioButton5");
  RadioButton6 = find<ui::RadioButton>("RadioButton6");
  Memo1 = find<ui::Memo>("Memo1");
  Label1 = find<ui::Label>("Label1");
  Edit1 = find<ui::Edit>("Edit1");
  UpDown1 = find<ui::UpDown>("UpDown1");
  Button1 = find<ui::Button>("Button1");
  Button3 = find<ui::Button>("Button3");
  Button2 = find<ui::Button>("Button2");

  RadioButton1->onClick = [this] { RadioButton1Click(); };
  RadioButton2->onClick = [this] { RadioButton2Click(); };
  RadioButton3->onClick = [this] { RadioButton3Click(); };
  RadioButton4->onClick = [this] { RadioButton4Click(); };
  RadioButton5->onClick = [this] { RadioButton5Click(); };
  RadioButton6->onClick = [this] { RadioButton6Click(); };
  Button1->onClick = [this] { Button1Click(); };
  Button3->onClick = [this] { Button3Click(); };
  Button2->onClick = [this] { Button2Click(); };

  TrackSelection = 0;
  showIdle();
  pages::applyStartupSelection(
      {RadioButton1, RadioButton2, RadioButton3, RadioButton4, RadioButton5, RadioButton6},
      device::DeviceType);
}

void TMReadCardFrame1::showIdle() { Button1->setEnabled(true); }

void TMReadCardFrame1::showRunning() { Button1->setEnabled(false); }

void TMReadCardFrame1::appendEntry(const std::string& entry) { Memo1->addLine(entry); }

void TMReadCardFrame1::showProblem(const std::string& text) { ui::showMessage(text); }

void TMReadCardFrame1::runFinished() { showIdle(); }

void TMReadCardFrame1::Button1Click() {
  if (TrackSelection == 0) {
    ui::showMessage(pages::kChooseTrack);
    return;
  }
  const int count = ui::strToInt(Edit1->text());
  if (count <= 0) {
    ui::showMessage("请选择读卡次数!");
    return;
  }
  // Two workers never call the library together.
  if (!pages::mayStart(run_)) return;
  showRunning();
  run_.start(std::make_shared<ReadCard>(count, device::PortNumber, TrackSelection,
                                        device::CommandMode, device::TimeoutMs, static_cast<ReadPort&>(*this)),
             device::TimeoutMs);
}

void TMReadCardFrame1::Button3Click() {
  const auto endcard = pages::endcardThrough(ReaderLibraryHandle);
  if (!endcard) return;
  ReadRunning = 0;
  run_.stop([endcard] { endcard.call(device::CommandMode); });
  showIdle();
}

void TMReadCardFrame1::Button2Click() { Memo1->clear(); }
