#include "app/MainForm.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>

#include "cardtest_version.h"

#include "device/Connection.h"
#include "device/Reach.h"
#include "pages/Aboutframe01.h"
#include "pages/DeviceGuard.h"
#include "pages/Directframe01.h"
#include "pages/Directframe02.h"
#include "pages/Mreadcardframe01.h"
#include "pages/Mwirtecardframe01.h"
#include "pages/Readcardframe01.h"
#include "pages/TrackChoice.h"
#include "pages/Wirtecardframe01.h"
#include "pages/Writetextframe01.h"
#include "ui/Application.h"
#include "ui/WorkerSlot.h"

namespace {

using ui::Kind;

// The load failed: when the file beside the program is a library of the
// other bitness, a second line says which program fits it.
std::string loadFailedText() {
  std::string text = device::kLibraryLoadFailed;
  const int bits = device::DynamicLibrary::libraryBitness(device::kLibraryFileName);
  if (bits != 0 && bits != device::DynamicLibrary::kProgramBitness) {
    const std::string b = std::to_string(bits);
    text += "\n这个40x.dll是" + b + "位的动态库，本程序是" +
            std::to_string(device::DynamicLibrary::kProgramBitness) + "位的。请改用" + b +
            "位的程序：cardtest-" CARDTEST_VERSION "-win" + b + " 里的 cardtest.exe。";
  }
  return text;
}

// clang-format off
const ui::FormRow kRows[] = {
  // kind              name           parent         left top  w    h    caption                 props
  {Kind::Image,      "Image1",      "",              0,  0, 682,  75, "",                    "picture=banner"},
  {Kind::TabControl, "PageControl1","",              0, 75, 681, 361, "",                    ""},
  {Kind::TabSheet,   "TabSheet1",   "PageControl1",  4, 24, 673, 333, "系统初始化",          "active"},
  {Kind::TabSheet,   "TabSheet2",   "PageControl1",  4, 24, 673, 333, "操作",                "notab"},
  {Kind::TabSheet,   "TabSheet3",   "PageControl1",  4, 24, 673, 333, "说明",                ""},

  {Kind::RadioGroup, "RadioGroup1", "TabSheet1",    25,  4, 438,  73, "卡机型号",            "items=402|412 |423 |427 |523|623;columns=6;index=0"},
  {Kind::RadioGroup, "RadioGroup3", "TabSheet1",   452,  4, 187,  73, "命令方式",            "items=模式一|模式二;columns=2;index=1"},
  {Kind::RadioGroup, "RadioGroup2", "TabSheet1",    25, 89, 616,  73, "请选择端口",          "items=COM1|COM2|COM3|COM4|COM5|COM6;columns=6;index=0"},
  {Kind::RadioGroup, "RadioGroup4", "TabSheet1",    25,177, 616,  64, "请选择超时时间(ms)",  "items=5000|10000|30000|60000;columns=4;index=0"},
  {Kind::Label,      "Label1",      "TabSheet1",    25,259,  56,  13, "联机信息：",          ""},
  {Kind::Memo,       "Memo1",       "TabSheet1",    84,254, 556,  22, "",                    "readonly"},
  {Kind::Button,     "Button12",    "TabSheet1",   184,280,  75,  25, "自动连机",            ""},
  {Kind::Button,     "Button3",     "TabSheet1",   292,281,  75,  25, "手动连机",            ""},
  {Kind::Button,     "Button11",    "TabSheet1",   400,280,  75,  25, "退出",                ""},

  {Kind::Panel,      "Panel1",      "TabSheet2",   153, 23, 500, 280, "",                    "border;flat;color=menubar"},
  {Kind::Button,     "Button1",     "TabSheet2",    32, 32,  85,  25, "读卡测试",            ""},
  {Kind::Button,     "Button2",     "TabSheet2",    32, 78,  85,  25, "写卡测试",            ""},
  {Kind::Button,     "Button4",     "TabSheet2",    32,124,  85,  25, "连续读卡",            ""},
  {Kind::Button,     "Button5",     "TabSheet2",    32,171,  85,  25, "连续写卡",            ""},
  {Kind::Button,     "Button6",     "TabSheet2",    32,217,  85,  25, "写文本文件",          ""},
  {Kind::Button,     "Button7",     "TabSheet2",    32,264,  85,  25, "卡机复位",            ""},

  {Kind::Panel,      "Panel2",      "TabSheet3",   153, 23, 500, 280, "",                    "border;flat;color=menubar"},
  {Kind::Button,     "Button8",     "TabSheet3",    32, 32,  85,  25, "操作说明",            ""},
  {Kind::Button,     "Button9",     "TabSheet3",    32, 78,  85,  25, "函数及调用",          ""},
  {Kind::Button,     "Button10",    "TabSheet3",    32,124,  85,  25, "关于",                ""},
};
// clang-format on

// Messages for the negative results -1 to -9; opencomm and detect differ at -8
// and -9 (detect has no -9 of its own).
const char* const kOpencommErrors[] = {
    "创建串口句柄错误！",     "建立串口句柄通信错误！",      "获取串口状态错误！",
    "设置串口参数错误！",     "设置串口超时错误！",          "参数错误:串口名不等于1到6！",
    "参数错误:超时时间小于0!！", "选择机器命令方式不正确！", "清除缓存区错误！",
};
const char* const kDetectErrors[] = {
    "创建串口句柄错误！",     "建立串口句柄通信错误！",      "获取串口状态错误！",
    "设置串口参数错误！",     "设置串口超时错误！",          "参数错误:串口名不等于1到6！",
    "参数错误:超时时间小于0!！", "判断机型失败！",
};
constexpr const char* kDetectFailed = "判断机型失败！";
// A worker of a continuous page may be inside the library: the window does not
// talk to the device beside it.
constexpr const char* kWorkerRunning = "连续读写卡正在进行，请先停止后再联机或复位！";
constexpr const char* kConnected = "联机成功！";
constexpr const char* kCaption = "磁卡读写器测试程序";
constexpr const char* kEmulatedCaption = "磁卡读写器测试程序（模拟读卡器）";
// An export of the emulated reader's control interface, which no device's
// library has.
constexpr const char* kEmulatorMark = "emu_reset_state";

struct ManualModel {
  int deviceType;
  const char* text;
};
// By RadioGroup1 item.
const ManualModel kManualModels[] = {
    {2, "您的卡机型号为ZVX402（单2轨），"}, {4, "您的卡机型号为ZVX412（1/2轨），"},
    {5, "您的卡机型号为ZVX423（2/3轨），"}, {6, "您的卡机型号为zo40x（1/2/3轨），"},
    {5, "您的卡机型号为ZVX523（2/3轨），"}, {5, "您的卡机型号为ZVX623（2/3轨），"},
};

struct DetectedModel {
  std::int32_t code;
  const char* text;
  int deviceType;
  int commandMode;
};
const DetectedModel kDetectedModels[] = {
    {1402, "您的卡机型号为ZVX402（单2轨），命令方式为方式1，", 2, 1},
    {1423, "您的卡机型号为ZVX423（2/3轨），命令方式为方式1，", 5, 1},
    {2402, "您的卡机型号为ZVX402（单2轨），命令方式为方式2，", 2, 2},
    {2403, "您的卡机型号为ZVX403（单3轨），命令方式为方式2，", 3, 2},
    {2412, "您的卡机型号为ZVX412（1/2轨），命令方式为方式2，", 4, 2},
    {2423, "您的卡机型号为ZVX423/623（2/3轨），命令方式为方式2，", 5, 2},
    {2428, "您的卡机型号为zo40x（1/2/3轨），命令方式为方式2，", 6, 2},
};

// COM6 has always been shown without its "COM".
const char* const kPortTexts[] = {"串口号为COM1，", "串口号为COM2，", "串口号为COM3，",
                                  "串口号为COM4，", "串口号为COM5，", "串口号为6，"};

const int kTimeouts[] = {5000, 10000, 30000, 60000};
const char* const kTimeoutTexts[] = {"超时时间为5秒。", "超时时间为10秒。", "超时时间为30秒。",
                                     "超时时间为60秒。"};

void clearEntryPoints() {
  entry::detect = nullptr;
  entry::reset = nullptr;
  entry::opencomm = nullptr;
  entry::endcard = nullptr;
}

}  // namespace

TForm1::TForm1() : ui::Form("Form1") {
  setCaption(kCaption);
  setBounds({226, 168, 680, 435});
  setKeyPreview(true);
  build(kRows);

  Image1 = find<ui::Image>("Image1");
  PageControl1 = find<ui::TabControl>("PageControl1");
  TabSheet1 = find<ui::TabSheet>("TabSheet1");
  TabSheet2 = find<ui::TabSheet>("TabSheet2");
  TabSheet3 = find<ui::TabSheet>("TabSheet3");
  RadioGroup1 = find<ui::RadioGroup>("RadioGroup1");
  RadioGroup2 = find<ui::RadioGroup>("RadioGroup2");
  RadioGroup3 = find<ui::RadioGroup>("RadioGroup3");
  RadioGroup4 = find<ui::RadioGroup>("RadioGroup4");
  Label1 = find<ui::Label>("Label1");
  Memo1 = find<ui::Memo>("Memo1");
  Button12 = find<ui::Button>("Button12");
  Button3 = find<ui::Button>("Button3");
  Button11 = find<ui::Button>("Button11");
  Panel1 = find<ui::Panel>("Panel1");
  Button1 = find<ui::Button>("Button1");
  Button2 = find<ui::Button>("Button2");
  Button4 = find<ui::Button>("Button4");
  Button5 = find<ui::Button>("Button5");
  Button6 = find<ui::Button>("Button6");
  Button7 = find<ui::Button>("Button7");
  Panel2 = find<ui::Panel>("Panel2");
  Button8 = find<ui::Button>("Button8");
  Button9 = find<ui::Button>("Button9");
  Button10 = find<ui::Button>("Button10");

  Button3->onClick = [this] { Button3Click(); };
  Button12->onClick = [this] { Button12Click(); };
  Button7->onClick = [this] { Button7Click(); };
  Button1->onClick = [this] { Button1Click(); };
  Button2->onClick = [this] { Button2Click(); };
  Button4->onClick = [this] { Button4Click(); };
  Button5->onClick = [this] { Button5Click(); };
  Button6->onClick = [this] { Button6Click(); };
  Button8->onClick = [this] { Button8Click(); };
  Button9->onClick = [this] { Button9Click(); };
  Button10->onClick = [this] { Button10Click(); };
  Button11->onClick = [this] { Button11Click(); };
  TabSheet3->onShow = [this] { TabSheet3Show(); };
  onKeyPress = [this](char32_t& key) { FormKeyPress(key); };
  // The pages go with the close, before the window is hidden: the loop serves
  // the window a moment longer before the program ends, and a worker must
  // not report, ask or call through it for a page about to go.
  onClose = [this] {
    OperationPage.reset();
    HelpPage.reset();
  };

  // One load for the window's whole life.
  clearEntryPoints();
  device::DetectFn detect = nullptr;
  device::ResetFn reset = nullptr;
  device::OpencommFn opencomm = nullptr;
  device::EndcardFn endcard = nullptr;
  if (const char* problem = device::reachLibrary(
          LibraryHandle, device::entryPoint("detect", detect), device::entryPoint("reset", reset),
          device::entryPoint("opencomm", opencomm), device::entryPoint("endcard", endcard))) {
    libraryProblem_ = problem == device::kLibraryLoadFailed ? loadFailedText() : problem;
    ui::showMessage(libraryProblem_);
    LibraryHandle.release();
    return;
  }
  entry::detect = detect;
  entry::reset = reset;
  entry::opencomm = opencomm;
  entry::endcard = endcard;
  // The emulated reader answers every call without a card: a demo library
  // copied beside the operators' program must be seen at once.
  if (LibraryHandle.symbol(kEmulatorMark)) setCaption(kEmulatedCaption);
}

TForm1::~TForm1() {
  // The pages go before the load that the entry points point into.
  OperationPage.reset();
  HelpPage.reset();
  if (LibraryHandle) clearEntryPoints();
}

bool TForm1::deviceUnavailable() {
  if (!libraryProblem_.empty()) {
    ui::showMessage(libraryProblem_);
    return true;
  }
  return !pages::deviceFree(pages::kWorkerPatience, kWorkerRunning);
}

bool TForm1::readSettings(bool withMode, std::string& status) {
  switch (RadioGroup3->itemIndex()) {
    case 0:
      device::CommandMode = 1;
      if (withMode) status += "命令方式为方式1，";
      break;
    case 1:
      device::CommandMode = 2;
      if (withMode) status += "命令方式为方式2，";
      break;
    default:
      ui::showMessage("请选择命令方式！");
      return false;
  }

  const int port = RadioGroup2->itemIndex();
  if (port < 0 || port > 5) {
    ui::showMessage("请选择串口！");
    return false;
  }
  device::PortNumber = port + 1;
  status += kPortTexts[port];

  const int timeout = RadioGroup4->itemIndex();
  if (timeout < 0 || timeout > 3) {
    ui::showMessage("请选择超时时间！");
    return false;
  }
  device::TimeoutMs = kTimeouts[timeout];
  status += kTimeoutTexts[timeout];
  return true;
}

void TForm1::Button3Click() {
  if (deviceUnavailable()) return;
  Memo1->setText("");
  std::string status;
  if (!readSettings(true, status)) return;

  const std::int32_t result =
      entry::opencomm(device::PortNumber, device::CommandMode, device::TimeoutMs);
  if (result == 0) {
    ui::showMessage(kConnected);
    const int model = RadioGroup1->itemIndex();
    if (model >= 0 && model < static_cast<int>(std::size(kManualModels))) {
      device::DeviceType = kManualModels[model].deviceType;
      Memo1->setText(kManualModels[model].text + status);
    }
    connected();
  } else if (result >= -9 && result <= -1) {
    ui::showMessage(kOpencommErrors[-result - 1]);
  }
}

void TForm1::Button12Click() {
  if (deviceUnavailable()) return;
  Memo1->setText("");
  std::string status;
  if (!readSettings(false, status)) return;

  const std::int32_t result = entry::detect(device::PortNumber, device::TimeoutMs);
  const DetectedModel* found = nullptr;
  for (const DetectedModel& m : kDetectedModels)
    if (m.code == result) found = &m;
  if (found) {
    ui::showMessage(kConnected);
    Memo1->setText(found->text + status);
    device::DeviceType = found->deviceType;
    device::CommandMode = found->commandMode;
  } else if (result >= -8 && result <= -1) {
    ui::showMessage(kDetectErrors[-result - 1]);
  } else {
    ui::showMessage(kDetectFailed);
  }
  // A positive answer means a device is there, even one of an unknown model.
  if (result > 0) connected();
}

void TForm1::Button7Click() {
  if (deviceUnavailable()) return;
  const std::int32_t result = entry::reset(device::PortNumber, device::CommandMode);
  ui::showMessage(result == 0 ? "复位成功！" : "复位失败！");
}

void TForm1::openOperationTab() {
  TabSheet2->setTabVisible(true);
  PageControl1->setActiveSheet(TabSheet2);
}

void TForm1::showOperationPage(std::unique_ptr<ui::Frame> page) {
  OperationPage = std::move(page);
  OperationPage->setParent(Panel1);
}

void TForm1::showHelpPage(std::unique_ptr<ui::Frame> page) {
  HelpPage = std::move(page);
  HelpPage->setParent(Panel2);
}

void TForm1::connected() {
  openOperationTab();
  // A new connection replaces the page without endcard.
  OperationPage.reset();
  showOperationPage(std::make_unique<TReadCardFrame1>());
}

// Page switch A: the old page goes first, then endcard (also without a page).
void TForm1::Button1Click() {
  OperationPage.reset();
  if (entry::endcard) entry::endcard(device::CommandMode);
  showOperationPage(std::make_unique<TReadCardFrame1>());
}

// Page switch B, first half: endcard breaks off what the old page may still
// wait for, then the old page goes.
void TForm1::endOperationPage() {
  if (!OperationPage) return;
  if (entry::endcard) entry::endcard(device::CommandMode);
  OperationPage.reset();
}

void TForm1::Button2Click() {
  endOperationPage();
  showOperationPage(std::make_unique<TWirteCardFrame1>());
}

void TForm1::Button4Click() {
  endOperationPage();
  showOperationPage(std::make_unique<TMReadCardFrame1>());
}

void TForm1::Button5Click() {
  endOperationPage();
  showOperationPage(std::make_unique<TMWirteCardFrame1>());
}

void TForm1::Button6Click() {
  endOperationPage();
  showOperationPage(std::make_unique<TWriteTextFrame1>());
}

void TForm1::Button8Click() {
  HelpPage.reset();
  showHelpPage(std::make_unique<TDirectFrame1>());
}

void TForm1::Button9Click() {
  HelpPage.reset();
  showHelpPage(std::make_unique<TDirectFrame2>());
}

void TForm1::Button10Click() {
  HelpPage.reset();
  showHelpPage(std::make_unique<TAboutFrame1>());
}

void TForm1::TabSheet3Show() {
  if (!HelpPage) showHelpPage(std::make_unique<TDirectFrame1>());
}

void TForm1::Button11Click() { close(); }

void TForm1::FormKeyPress(char32_t&) {
  // Nothing to do: Esc neither closes the window nor cancels an operation,
  // and the key goes on to the control (a page's log may want it).
}
