#pragma once
// The main window: connection settings, the operation and help pages, and the
// one load of "40x.dll" that the window itself calls through.
#include <memory>
#include <string>

#include "device/CardDevice.h"
#include "device/DynamicLibrary.h"
#include "ui/Form.h"

// Entry points that the main window resolved at its creation; nullptr until
// then, and again after a failed load or a missing entry point.
namespace entry {
inline device::DetectFn detect = nullptr;
inline device::ResetFn reset = nullptr;
inline device::OpencommFn opencomm = nullptr;
inline device::EndcardFn endcard = nullptr;
}  // namespace entry

class TForm1 : public ui::Form {
 public:
  // Builds the window and loads the library; a failure is reported here,
  // before the window is shown, and the window opens all the same.
  TForm1();
  ~TForm1() override;

  ui::Image* Image1 = nullptr;
  ui::TabControl* PageControl1 = nullptr;
  ui::TabSheet* TabSheet1 = nullptr;
  ui::TabSheet* TabSheet2 = nullptr;
  ui::TabSheet* TabSheet3 = nullptr;
  ui::RadioGroup* RadioGroup1 = nullptr;
  ui::RadioGroup* RadioGroup2 = nullptr;
  ui::RadioGroup* RadioGroup3 = nullptr;
  ui::RadioGroup* RadioGroup4 = nullptr;
  ui::Label* Label1 = nullptr;
  ui::Memo* Memo1 = nullptr;
  ui::Button* Button12 = nullptr;
  ui::Button* Button3 = nullptr;
  ui::Button* Button11 = nullptr;
  ui::Panel* Panel1 = nullptr;
  ui::Button* Button1 = nullptr;
  ui::Button* Button2 = nullptr;
  ui::Button* Button4 = nullptr;
  ui::Button* Button5 = nullptr;
  ui::Button* Button6 = nullptr;
  ui::Button* Button7 = nullptr;
  ui::Panel* Panel2 = nullptr;
  ui::Button* Button8 = nullptr;
  ui::Button* Button9 = nullptr;
  ui::Button* Button10 = nullptr;

  // Declared before the pages so that the pages go first.
  device::DynamicLibrary LibraryHandle;
  std::unique_ptr<ui::Frame> OperationPage;
  std::unique_ptr<ui::Frame> HelpPage;

  // Connection and reset.
  void Button3Click();
  void Button12Click();
  void Button7Click();
  // Operation pages.
  void Button1Click();
  void Button2Click();
  void Button4Click();
  void Button5Click();
  void Button6Click();
  // Help pages.
  void Button8Click();
  void Button9Click();
  void Button10Click();
  void TabSheet3Show();

  void Button11Click();
  void FormKeyPress(char32_t& key);

 private:
  // Reads the command mode (when withMode), port and time-out groups, storing
  // each value as soon as its group is read; false after a stop.
  bool readSettings(bool withMode, std::string& status);
  // The entry points are missing, or a continuous page's worker is still
  // running: tells the operator why, and the handler calls nothing.
  bool deviceUnavailable();
  void openOperationTab();
  // After a successful connection: tab "操作" with a new read-card page.
  void connected();
  void endOperationPage();
  void showOperationPage(std::unique_ptr<ui::Frame> page);
  void showHelpPage(std::unique_ptr<ui::Frame> page);

  // The start-up failure message, empty when all four entry points are there.
  std::string libraryProblem_;
};
