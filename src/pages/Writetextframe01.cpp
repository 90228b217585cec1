#include "pages/Writetextframe01.h"

#include <algorithm>
#include <memory>
#include <utility>
#include <vector>

#include "device/CardDevice.h"
#include "device/Connection.h"
#include "device/TrackBuffer.h"
#include "pages/TrackChoice.h"
#include "ui/Application.h"
#include "workers/TextFile.h"
#include "workers/Wirtetextcard.h"

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

// A stopped worker may still be returning from its write when Start is
// pressed again; it is given this long to end.
constexpr std::chrono::milliseconds kStartPatience{2000};
}  // namespace

bool TWriteTextFrame1::OpenDialog::Execute() {
  const std::optional<std::string> chosen = ui::openFileDialog(Filter, DefaultExt);
  if (!chosen) return false;
  FileName = *chosen;
  return true;
}

TWriteTextFrame1::TWriteTextFrame1()
    : ui::Frame("WriteTextFrame1"),
      run_([] { pages::breakOffThrough(TextWriteLibrary); }) {
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

TWriteTextFrame1::~TWriteTextFrame1() {
  // The break-off ends the write at once; the device's time-out at the latest.
  run_.end(std::chrono::milliseconds(std::max(runTimeoutMs_, 0) + 2000));
}

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
  workers::TextLines lines = workers::readTextLines(path);
  const int index = RadioGroup1->itemIndex();
  if (index < 0 || index > 5) {
    ui::showMessage(kChooseTracks);
    return;
  }
  const int selection = index + 1;
  if (selection == 6) {
    ui::showMessage(kSelection6Refused);
    return;
  }
  // Never cut, never half a batch: a line that does not fit refuses the run.
  if (const auto overlong =
          workers::firstOverlongLine(lines, selection, device::TrackBuffer::kMaxText)) {
    ui::showMessage(workers::overlongLineMessage(*overlong + 1));
    return;
  }
  // Two workers never call the library together.
  run_.finishStopped(kStartPatience);
  if (!ui::WorkerSlot::idle(kStartPatience)) {
    ui::showMessage(kStillEnding);
    return;
  }

  TrackSelection = selection;
  Button3->setEnabled(false);
  TextWriteStop = 0;
  Button5->setEnabled(true);
  // Read here only: a change during the run is for the next one.
  const std::int32_t timeout = CheckBox2->checked() ? 0 : device::TimeoutMs;
  runTimeoutMs_ = timeout;
  run_.start(std::make_shared<WriteTextCard>(timeout, device::CommandMode, CheckBox1, Button3,
                                             std::move(lines), Memo1, TrackSelection,
                                             device::PortNumber));
}

void TWriteTextFrame1::Button5Click() {
  const auto endcard = pages::endcardThrough(TextWriteLibrary);
  if (!endcard) return;
  TextWriteStop = 1;
  run_.stop();
  endcard.call(device::CommandMode);
  Button5->setEnabled(false);
  Button3->setEnabled(true);
}

void TWriteTextFrame1::Button4Click() { Memo1->clear(); }
