#include "pages/Mwirtecardframe01.h"

#include <memory>

#include "cards/Selections.h"
#include "device/Connection.h"
#include "device/Reach.h"
#include "pages/DeviceGuard.h"
#include "pages/TrackChoice.h"
#include "ui/Application.h"
#include "ui/Convert.h"

namespace {

using ui::Kind;

// clang-format off
const ui::FormRow kRows[] = {
  // kind               name            parent       left top  w    h    caption                 props
  {Kind::Label,       "Label2",       "",          192,  8,  89,  13, "连续写卡测试",         ""},
  {Kind::CheckBox,    "CheckBox1",    "",          327,  8, 157,  14, "写卡失败重写该次数据", "alignment=left;checked;taborder=23"},
  {Kind::GroupBox,    "GroupBox1",    "",           14, 23, 115, 202, "请选择轨道",           "taborder=18"},
  {Kind::RadioButton, "RadioButton1", "GroupBox1",  16, 24,  41,  17, "1轨",                  "taborder=1"},
  {Kind::RadioButton, "RadioButton2", "GroupBox1",  16, 53,  41,  17, "2轨",                  "taborder=2"},
  {Kind::RadioButton, "RadioButton3", "GroupBox1",  16, 84,  41,  17, "3轨",                  "taborder=3"},
  {Kind::RadioButton, "RadioButton4", "GroupBox1",  16,115,  49,  17, "1,2轨",                "taborder=4"},
  {Kind::RadioButton, "RadioButton5", "GroupBox1",  16,148,  49,  13, "2,3轨",                "taborder=5"},
  {Kind::RadioButton, "RadioButton6", "GroupBox1",  16,176,  65,  18, "1,2,3轨",              "taborder=0"},
  {Kind::Label,       "Label3",       "",          144, 36,  65,  13, "一轨数据",             ""},
  {Kind::Label,       "Label6",       "",          232, 32,  41,  13, "起始数",               ""},
  {Kind::Edit,        "Edit2",        "",          280, 28,  50,  21, "0",                    "taborder=6"},
  {Kind::UpDown,      "UpDown2",      "",          330, 28,  16,  21, "",                     "associate=Edit2;min=0;max=100;position=0;taborder=7"},
  {Kind::Label,       "Label9",       "",          368, 32,  33,  13, "增量",                 ""},
  {Kind::Edit,        "Edit3",        "",          408, 28,  50,  21, "0",                    "taborder=8"},
  {Kind::UpDown,      "UpDown3",      "",          458, 28,  16,  21, "",                     "associate=Edit3;min=0;max=100;position=0;taborder=9"},
  {Kind::Memo,        "Memo1",        "",          144, 53, 330,  30, "",                     "vscroll;taborder=0"},
  {Kind::Label,       "Label4",       "",          144, 98,  65,  13, "二轨数据",             ""},
  {Kind::Label,       "Label7",       "",          232, 96,  41,  13, "起始数",               ""},
  {Kind::Edit,        "Edit4",        "",          280, 92,  50,  21, "0",                    "taborder=10"},
  {Kind::UpDown,      "UpDown4",      "",          330, 92,  16,  21, "",                     "associate=Edit4;min=0;max=100;position=0;taborder=11"},
  {Kind::Label,       "Label10",      "",          368, 96,  33,  13, "增量",                 ""},
  {Kind::Edit,        "Edit5",        "",          408, 92,  50,  21, "0",                    "taborder=12"},
  {Kind::UpDown,      "UpDown5",      "",          458, 92,  16,  21, "",                     "associate=Edit5;min=0;max=100;position=0;taborder=13"},
  {Kind::Memo,        "Memo2",        "",          144,116, 330,  36, "",                     "vscroll;taborder=4"},
  {Kind::Label,       "Label5",       "",          147,166,  65,  13, "三轨数据",             ""},
  {Kind::Label,       "Label8",       "",          232,165,  41,  13, "起始数",               ""},
  {Kind::Edit,        "Edit6",        "",          280,160,  50,  21, "0",                    "taborder=14"},
  {Kind::UpDown,      "UpDown6",      "",          330,160,  16,  21, "",                     "associate=Edit6;min=0;max=100;position=0;taborder=15"},
  {Kind::Label,       "Label11",      "",          368,165,  33,  13, "增量",                 ""},
  {Kind::Edit,        "Edit7",        "",          408,160,  50,  21, "0",                    "taborder=16"},
  {Kind::UpDown,      "UpDown7",      "",          458,160,  16,  21, "",                     "associate=Edit7;min=0;max=100;position=0;taborder=17"},
  {Kind::Memo,        "Memo3",        "",          144,184, 330,  40, "",                     "vscroll;taborder=5"},
  {Kind::Memo,        "Memo4",        "",            9, 24, 481, 211, "",                     "vscroll;log;hidden;taborder=20"},
  {Kind::Label,       "Label1",       "",            8,248,  60,  13, "写卡次数：",           ""},
  {Kind::Edit,        "Edit1",        "",           72,244,  49,  21, "0",                    "taborder=1"},
  {Kind::UpDown,      "UpDown1",      "",          121,244,  16,  21, "",                     "associate=Edit1;min=0;max=100;position=0;taborder=2"},
  {Kind::Button,      "Button1",      "",          148,243,  75,  25, "开始写卡",             "taborder=3"},
  {Kind::Button,      "Button2",      "",          235,242,  75,  26, "暂停写卡",             "disabled;taborder=21"},
  {Kind::Button,      "Button3",      "",          323,242,  75,  25, "停止写卡",             "disabled;taborder=19"},
  {Kind::Button,      "Button4",      "",          412,240,  65,  27, "返  回",               "taborder=22"},
};
// clang-format on

constexpr const char* kPauseCaption = "暂停写卡";
constexpr const char* kStartCaption = "暂停刷卡";
constexpr const char* kContinueCaption = "继续写卡";
constexpr const char* kStillEnding = "上一次连续写卡尚未结束，请稍后再开始！";

}  // namespace

TMWirteCardFrame1::TMWirteCardFrame1()
    : ui::Frame("MWirteCardFrame1"), run_([this] { breakOff(); }, kStillEnding) {
  setBounds({0, 0, 494, 289});
  build(kRows);
  Label2 = find<ui::Label>("Label2");
  CheckBox1 = find<ui::CheckBox>("CheckBox1");
  GroupBox1 = find<ui::GroupBox>("GroupBox1");
  RadioButton1 = find<ui::RadioButton>("RadioButton1");
  RadioButton2 = find<ui::RadioButton>("RadioButton2");
  RadioButton3 = find<ui::RadioButton>("RadioButton3");
  RadioButton4 = find<ui::RadioButton>("RadioButton4");
  RadioButton5 = find<ui::RadioButton>("RadioButton5");
  RadioButton6 = find<ui::RadioButton>("RadioButton6");
  Label3 = find<ui::Label>("Label3");
  Label6 = find<ui::Label>("Label6");
  Edit2 = find<ui::Edit>("Edit2");
  UpDown2 = find<ui::UpDown>("UpDown2");
  Label9 = find<ui::Label>("Label9");
  Edit3 = find<ui::Edit>("Edit3");
  UpDown3 = find<ui::UpDown>("UpDown3");
  Memo1 = find<ui::Memo>("Memo1");
  Label4 = find<ui::Label>("Label4");
  Label7 = find<ui::Label>("Label7");
  Edit4 = find<ui::Edit>("Edit4");
  UpDown4 = find<ui::UpDown>("UpDown4");
  Label10 = find<ui::Label>("Label10");
  Edit5 = find<ui::Edit>("Edit5");
  UpDown5 = find<ui::UpDown>("UpDown5");
  Memo2 = find<ui::Memo>("Memo2");
  Label5 = find<ui::Label>("Label5");
  Label8 = find<ui::Label>("Label8");
  Edit6 = find<ui::Edit>("Edit6");
  UpDown6 = find<ui::UpDown>("UpDown6");
  Label11 = find<ui::Label>("Label11");
  Edit7 = find<ui::Edit>("Edit7");
  UpDown7 = find<ui::UpDown>("UpDown7");
  Memo3 = find<ui::Memo>("Memo3");
  Memo4 = find<ui::Memo>("Memo4");
  Label1 = find<ui::Label>("Label1");
  Edit1 = find<ui::Edit>("Edit1");
  UpDown1 = find<ui::UpDown>("UpDown1");
  Button1 = find<ui::Button>("Button1");
  Button2 = find<ui::Button>("Button2");
  Button3 = find<ui::Button>("Button3");
  Button4 = find<ui::Button>("Button4");

  RadioButton1->onClick = [this] { RadioButton1Click(); };
  RadioButton2->onClick = [this] { RadioButton2Click(); };
  RadioButton3->onClick = [this] { RadioButton3Click(); };
  RadioButton4->onClick = [this] { RadioButton4Click(); };
  RadioButton5->onClick = [this] { RadioButton5Click(); };
  RadioButton6->onClick = [this] { RadioButton6Click(); };
  Button1->onClick = [this] { Button1Click(); };
  Button2->onClick = [this] { Button2Click(); };
  Button3->onClick = [this] { Button3Click(); };
  Button4->onClick = [this] { Button4Click(); };
  Memo4->onKeyPress = [this](char32_t& key) { Memo4KeyPress(key); };

  TrackSelection = 0;
  Paused = false;
  WriteRunning = 1;

  showInput();
  Button2->setCaption(kPauseCaption);

  if (const char* problem = device::reachLibrary(library_, device::entryPoint("reset", reset_),
                                                 device::entryPoint("endcard", endcard_))) {
    ui::showMessage(problem);
    library_.release();
    return;
  }
  pages::applyStartupSelection(
      {RadioButton1, RadioButton2, RadioButton3, RadioButton4, RadioButton5, RadioButton6},
      device::DeviceType);
}

void TMWirteCardFrame1::breakOff() {
  if (endcard_) endcard_(device::CommandMode);
  else if (reset_) reset_(device::PortNumber, device::CommandMode);
}

void TMWirteCardFrame1::chooseTracks(int selection) {
  TrackSelection = selection;
  const auto tracks = cards::tracksOf(selection);
  struct Group {
    ui::Control* controls[6];
  };
  const Group groups[3] = {{{Memo1, Edit2, Edit3, Label3, Label6, Label9}},
                           {{Memo2, Edit4, Edit5, Label4, Label7, Label10}},
                           {{Memo3, Edit6, Edit7, Label5, Label8, Label11}}};
  // The up-down buttons are no part of a group and stay enabled.
  for (std::size_t t = 0; t < 3; ++t)
    for (ui::Control* c : groups[t].controls) c->setEnabled(tracks[t]);
}

void TMWirteCardFrame1::showInputLayout(bool input) {
  ui::Control* const fields[] = {GroupBox1, Label3, Label6, Edit2,  UpDown2, Label9,  Edit3,
                                 UpDown3,   Memo1,  Label4, Label7, Edit4,   UpDown4, Label10,
                                 Edit5,     UpDown5, Memo2, Label5, Label8,  Edit6,   UpDown6,
                                 Label11,   Edit7,  UpDown7, Memo3};
  for (ui::Control* c : fields) c->setVisible(input);
  Memo4->setVisible(!input);
}

void TMWirteCardFrame1::showInput() {
  showInputLayout(true);
  Button1->setEnabled(true);
  Button2->setEnabled(false);
  Button3->setEnabled(false);
}

void TMWirteCardFrame1::showRunning(const char* pauseCaption) {
  showInputLayout(false);
  Button1->setEnabled(false);
  Button2->setEnabled(true);
  Button2->setCaption(pauseCaption);
  Button3->setEnabled(true);
}

void TMWirteCardFrame1::showPaused() {
  showRunning(kContinueCaption);
}

void TMWirteCardFrame1::showFinished() {
  Button1->setEnabled(true);
  Button2->setEnabled(false);
  Button2->setCaption(kPauseCaption);
  Button3->setEnabled(false);
}

std::array<cards::TrackFields, 3> TMWirteCardFrame1::cardFields(const std::array<bool, 3>& tracks) {
  std::array<cards::TrackFields, 3> fields;
  if (tracks[0]) fields[0] = {Memo1->text(), Edit2->text(), Edit3->text()};
  if (tracks[1]) fields[1] = {Memo2->text(), Edit4->text(), Edit5->text()};
  if (tracks[2]) fields[2] = {Memo3->text(), Edit6->text(), Edit7->text()};
  return fields;
}

bool TMWirteCardFrame1::rewriteFailedCard() { return CheckBox1->checked(); }

void TMWirteCardFrame1::appendEntry(const std::string& entry) { Memo4->addLine(entry); }

void TMWirteCardFrame1::showProblem(const std::string& text) { ui::showMessage(text); }

bool TMWirteCardFrame1::askGoOn(const std::string& question) { return ui::confirm(question); }

void TMWirteCardFrame1::batchFinished() { showFinished(); }

void TMWirteCardFrame1::Button1Click() {
  if (TrackSelection == 0) {
    ui::showMessage(pages::kChooseTrack);
    return;
  }
  const std::int32_t count = ui::strToInt(Edit1->text());
  if (count <= 0) {
    ui::showMessage("请选择读卡次数!");
    return;
  }
  // Two workers never call the library together: a stopped batch may still
  // be returning from its write.
  if (!pages::mayStart(run_)) return;
  WriteRunning = 1;
  runCount_ = count;
  runPort_ = device::PortNumber;
  runSelection_ = TrackSelection;
  runMode_ = device::CommandMode;
  runTimeoutMs_ = device::TimeoutMs;
  // A batch starts unpaused: the first click of "暂停刷卡" pauses it, whatever
  // the last batch left behind.
  Paused = false;
  showRunning(kStartCaption);
  Memo4->setFocus();
  ui::showMessage("请刷卡！");
  // The box took the focus; the log keeps it, so that Esc reaches it.
  Memo4->setFocus();

  run_.start(std::make_shared<WriteCard>(runPort_, runCount_, runSelection_, runMode_,
                                         runTimeoutMs_, static_cast<WritePort&>(*this), WriteGate,
                                         PauseClicks),
             runTimeoutMs_);
  WriteGate->set();
}

void TMWirteCardFrame1::Button2Click() {
  ++*PauseClicks;
  if (!Paused) {
    showPaused();
    Paused = true;
    // Closed before the flag is cleared, so the worker never finds the gate
    // open and the flag at 0.
    WriteGate->reset();
    WriteRunning = 0;
  } else {
    showRunning(kPauseCaption);
    Paused = false;
    WriteRunning = 1;
    WriteGate->set();
  }
}

void TMWirteCardFrame1::Button3Click() {
  if (!ui::confirm("确定退出连续写卡？")) return;
  // This run's stop first: a worker at the closed gate ends now, and no
  // later start can wake it. The reset breaks off a pending write.
  if (reset_) run_.stop([this] { reset_(device::PortNumber, device::CommandMode); });
  else run_.stop();
  WriteCounter = 1;
  WriteRunning = 0;
  Memo4->clear();
  showInput();
}

void TMWirteCardFrame1::Button4Click() {
  Memo4->clear();
  // Back ends the batch: no worker goes on writing behind an emptied log.
  if (endcard_) run_.stop([this] { endcard_(device::CommandMode); });
  else run_.stop();
  showInput();
}

void TMWirteCardFrame1::Memo4KeyPress(char32_t& key) {
  const bool esc = key == 27;
  key = 0;  // nothing is typed into the log
  if (esc) Button3Click();
}
