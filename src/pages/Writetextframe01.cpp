#include "pages/Writetextframe01.h"

#include <optional>
#include <utility>

#include "cards/TextLines.h"
#include "device/Connection.h"
#include "pages/BreakOff.h"
#include "pages/DeviceGuard.h"
#include "pages/TrackChoice.h"
#include "ui/Application.h"

namespace {

using ui::Kind;

// clang-format off
const ui::FormRow kRows[] = {
  // kind               name           parent  left top  w    h    caption                 props
  {Kind::Label,       "Label1",      "",      191,  8,  81,  13, "写文本文件",           ""},
  {Kind::Button,      "Button1",     "",       12, 25,  75,  25, "选择文件",             "taborder=0"},
  {Kind::Edit,        "Edit1",       "",       95, 29, 247,  21, "",                     "taborder=1"},
  {Kind::Button,      "Button3",     "",      352, 27,  69,  28, "开始写卡",             "taborder=2"},
  {Kind::Button,      "Button5",     "",      429, 27,  65,  27, "停止写卡",             "disabled;taborder=7"},
  {Kind::RadioGroup,  "RadioGroup1", "",        7, 53, 336,  42, "请选择轨道",           "items=1轨|2股|3轨|1,2轨|2,3轨|1,2,3轨;columns=6;index=0;taborder=4"},
  {Kind::CheckBox,    "CheckBox1",   "",      348, 61, 147,  18, "写卡失败重写该次数据", "checked;alignment=left;taborder=5"},
  {Kind::CheckBox,    "CheckBox2",   "",      363, 79, 130,  17, "取消写卡超时限制",     "alignment=left;taborder=8"},
  {Kind::Memo,        "Memo1",       "",       10,112, 483, 153, "",                     "vscroll;log;taborder=6"},
  // After Memo1, so that it lies over the memo's lower right corner.
  {Kind::Button,      "Button4",     "",      412,242,  53,  23, "清  空",               "taborder=3"},
};
// clang-format on

constexpr const char* kChooseFile = "请选择文本文件！";
constexpr const char* kChooseTracks = "请选择要写卡的磁道！";
constexpr const char* kStillEnding = "上一次写卡尚未结束，请稍后再开始！";
}  // namespace

bool TWriteTextFrame1::OpenDialog::Execute() {
  const std::optional<std::string> chosen = ui::openFileDialog(Filter, DefaultExt);
  if (!chosen) return false;
  FileName = *chosen;
  return true;
}

TWriteTextFrame1::TWriteTextFrame1()
    : ui::Frame("WriteTextFrame1"),
      run_([] { pages::breakOffThrough(TextWriteLibrary); }, kStillEnding) {
  setBounds({0, 0, 501, 278});
  build(kRows);
  Label1 = find<ui::Label>("Label1");
  Button1 = find<ui::Button>("Button1");
  Edit1 = find<ui::Edit>("Edit1");
  Button3 = find<ui::Button>("Button3");
  Button5 = find<ui::Button>("Button5");
  RadioGroup1 = find<ui::RadioGroup>("RadioGroup1");
  CheckBox1 = find<ui::CheckBox>("CheckBox1");
  CheckBox2 = find<ui::CheckBox>("CheckBox2");
  Memo1 = find<ui::Memo>("Memo1");
  Button4 = find<ui::Button>("Button4");

  Button1->onClick = [this] { Button1Click(); };
  Button3->onClick = [this] { Button3Click(); };
  Button5->onClick = [this] { Button5Click(); };
  Button4->onClick = [this] { Button4Click(); };
}

void TWriteTextFrame1::showIdle() {
  Button3->setEnabled(true);
  Button5->setEnabled(false);
}

void TWriteTextFrame1::showRunning() {
  Button3->setEnabled(false);
  Button5->setEnabled(true);
}

void TWriteTextFrame1::showEnded() {
  Button3->setEnabled(true);
  Button5->setEnabled(true);
}

bool TWriteTextFrame1::rewriteFailedCard() { return CheckBox1->checked(); }

void TWriteTextFrame1::appendEntry(const std::string& entry) { Memo1->addLine(entry); }

void TWriteTextFrame1::showProblem(const std::string& text) { ui::showMessage(text); }

bool TWriteTextFrame1::askGoOn(const std::string& question) { return ui::confirm(question); }

void TWriteTextFrame1::runFinished() { showEnded(); }

void TWriteTextFrame1::Button1Click() {
  if (OpenDialog1.Execute()) Edit1->setText(OpenDialog1.FileName);
}

void TWriteTextFrame1::Button3Click() {
  const std::string path = Edit1->text();
  if (path.empty()) {
    ui::showMessage(kChooseFile);
    return;
  }
  // Throws when the file cannot be read: the error box shows why, and
  // nothing has changed.
  cards::TextLines lines = cards::readTextLines(path);
  const int index = RadioGroup1->itemIndex();
  if (index < 0 || index > 5) {
    ui::showMessage(kChooseTracks);
    return;
  }
  const int selection = index + 1;
  // Never cut, never half a batch: a line that does not fit, or a selection
  // that a file cannot carry, refuses the run.
  if (const std::optional<std::string> refusal = cards::runRefusal(lines, selection)) {
    ui::showMessage(*refusal);
    return;
  }
  // Two workers never call the library together.
  if (!pages::mayStart(run_)) return;

  TrackSelection = selection;
  TextWriteStop = 0;
  showRunning();
  // Read here only: a change during the run is for the next one.
  const std::int32_t timeout = CheckBox2->checked() ? 0 : device::TimeoutMs;
  run_.start(std::make_shared<WriteTextCard>(timeout, device::CommandMode, std::move(lines),
                                             TrackSelection, device::PortNumber,
                                             static_cast<WriteTextPort&>(*this)),
             timeout);
}

void TWriteTextFrame1::Button5Click() {
  const auto endcard = pages::endcardThrough(TextWriteLibrary);
  if (!endcard) return;
  TextWriteStop = 1;
  run_.stop([endcard] { endcard.call(device::CommandMode); });
  showIdle();
}

void TWriteTextFrame1::Button4Click() { Memo1->clear(); }
