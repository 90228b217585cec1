#pragma once
// The continuous-read page: reads a chosen number of cards on a worker
// thread and keeps a numbered log of every attempt.
#include <string>

#include "ui/Form.h"
#include "ui/WorkerSlot.h"
#include "workers/Readcard.h"

class TMReadCardFrame1 : public ui::Frame, private ReadPort {
 public:
  TMReadCardFrame1();

  ui::Label* Label2 = nullptr;
  ui::GroupBox* GroupBox1 = nullptr;
  ui::RadioButton* RadioButton1 = nullptr;
  ui::RadioButton* RadioButton2 = nullptr;
  ui::RadioButton* RadioButton3 = nullptr;
  ui::RadioButton* RadioButton4 = nullptr;
  ui::RadioButton* RadioButton5 = nullptr;
  ui::RadioButton* RadioButton6 = nullptr;
  ui::Memo* Memo1 = nullptr;
  ui::Label* Label1 = nullptr;
  ui::Edit* Edit1 = nullptr;
  ui::UpDown* UpDown1 = nullptr;
  ui::Button* Button1 = nullptr;
  ui::Button* Button3 = nullptr;
  ui::Button* Button2 = nullptr;

  // Track code of the next run; 0 until a track is chosen.
  int TrackSelection = 0;

  void RadioButton1Click() { TrackSelection = 1; }
  void RadioButton2Click() { TrackSelection = 2; }
  void RadioButton3Click() { TrackSelection = 3; }
  void RadioButton4Click() { TrackSelection = 4; }
  void RadioButton5Click() { TrackSelection = 5; }
  void RadioButton6Click() { TrackSelection = 6; }
  void Button1Click();  // Start
  void Button3Click();  // Stop
  void Button2Click();  // Clear

  // The worker of the current (or last) run, if it has not ended.
  bool running() const { return run_.busy(); }

 private:
  // The page's states and their buttons. Stuck (the worker ended without
  // finishing its run) keeps Running's buttons.
  void showIdle();
  void showRunning();

  // ReadPort, inside the worker's hand-overs.
  void appendEntry(const std::string& entry) override;
  void showProblem(const std::string& text) override;
  void runFinished() override;

  // Last: it ends a run that is still going, and waits for its worker,
  // before any control goes.
  ui::WorkerSlot run_;
};
