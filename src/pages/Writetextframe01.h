#pragma once
// The text-file write page: writes the lines of a text file to cards, one or
// two lines per card, on a worker thread.
#include <memory>
#include <string>

#include "ui/Form.h"
#include "ui/WorkerSlot.h"
#include "workers/Wirtetextcard.h"

class TWriteTextFrame1 : public ui::Frame, private WriteTextPort {
 public:
  TWriteTextFrame1();

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
  // The page's states and their buttons. Halted (the worker ended without
  // finishing its run) keeps Running's buttons.
  void showIdle();
  void showRunning();
  void showEnded();

  // WriteTextPort, inside the worker's hand-overs.
  bool rewriteFailedCard() override;
  void appendEntry(const std::string& entry) override;
  void showProblem(const std::string& text) override;
  bool askGoOn(const std::string& question) override;
  void runFinished() override;

  // Last: it ends a run that is still going, and waits for its worker,
  // before any control goes.
  ui::WorkerSlot run_;
};
