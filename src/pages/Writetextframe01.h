#pragma once
// The text-file write page: writes the lines of a text file to cards, one or
// two lines per card, on a worker thread.
#include <chrono>
#include <cstdint>
#include <string>

#include "ui/Form.h"
#include "ui/WorkerSlot.h"

class TWriteTextFrame1 : public ui::Frame {
 public:
  TWriteTextFrame1();
  // Stops a run that is still going and waits for its worker before the
  // controls go.
  ~TWriteTextFrame1() override;

  ui::Label* Label1 = nullptr;
  ui::Button* Button1 = nullptr;
  ui::Edit* Edit1 = nullptr;
  ui::Button* Button3 = nullptr;
  ui::Button* Button5 = nullptr;
  ui::RadioGroup* RadioGroup1 = nullptr;
  ui::CheckBox* CheckBox1 = nullptr;
  ui::CheckBox* CheckBox2 = nullptr;
  ui::Memo* Memo1 = nullptr;
  ui::Button* Button4 = nullptr;

  // The file-open dialog: not a control of its own, the system's dialog.
  struct OpenDialog {
    std::string Filter;
    std::string DefaultExt;
    std::string FileName;  // the chosen file's full path
    // True when the operator chose a file.
    bool Execute();
  } OpenDialog1{"文本文件|*.txt", "txt", ""};

  // Track code of the current (or last) run; 0 before the first.
  int TrackSelection = 0;

  void Button1Click();  // choose a file
  void Button3Click();  // Start
  void Button5Click();  // Stop
  void Button4Click();  // Clear

  // The worker of the current (or last) run, if it has not ended.
  bool running() const { return run_.busy(); }
  // The worker of the last run, if any.
  const std::shared_ptr<ui::Thread>& lastWorker() const { return run_.current(); }

 private:
  ui::WorkerSlot run_;
  std::int32_t runTimeoutMs_ = 0;
};
