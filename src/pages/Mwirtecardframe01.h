#pragma once
// The continuous-write page: a batch of cards whose track data is a fixed
// text and a running number, written by a worker thread, with pause, stop
// and a log that takes the place of the input fields while a batch runs.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "device/CardDevice.h"
#include "device/DynamicLibrary.h"
#include "ui/Form.h"
#include "ui/Thread.h"
#include "ui/WorkerSlot.h"
#include "workers/Wirtecard.h"

class TMWirteCardFrame1 : public ui::Frame, private WritePort {
 public:
  // Reads DeviceType for the track choices the model offers, and loads the
  // library for reset and endcard.
  TMWirteCardFrame1();

  ui::Label* Label2 = nullptr;
  ui::CheckBox* CheckBox1 = nullptr;
  ui::GroupBox* GroupBox1 = nullptr;
  ui::RadioButton* RadioButton1 = nullptr;
  ui::RadioButton* RadioButton2 = nullptr;
  ui::RadioButton* RadioButton3 = nullptr;
  ui::RadioButton* RadioButton4 = nullptr;
  ui::RadioButton* RadioButton5 = nullptr;
  ui::RadioButton* RadioButton6 = nullptr;
  ui::Label* Label3 = nullptr;
  ui::Label* Label6 = nullptr;
  ui::Edit* Edit2 = nullptr;
  ui::UpDown* UpDown2 = nullptr;
  ui::Label* Label9 = nullptr;
  ui::Edit* Edit3 = nullptr;
  ui::UpDown* UpDown3 = nullptr;
  ui::Memo* Memo1 = nullptr;
  ui::Label* Label4 = nullptr;
  ui::Label* Label7 = nullptr;
  ui::Edit* Edit4 = nullptr;
  ui::UpDown* UpDown4 = nullptr;
  ui::Label* Label10 = nullptr;
  ui::Edit* Edit5 = nullptr;
  ui::UpDown* UpDown5 = nullptr;
  ui::Memo* Memo2 = nullptr;
  ui::Label* Label5 = nullptr;
  ui::Label* Label8 = nullptr;
  ui::Edit* Edit6 = nullptr;
  ui::UpDown* UpDown6 = nullptr;
  ui::Label* Label11 = nullptr;
  ui::Edit* Edit7 = nullptr;
  ui::UpDown* UpDown7 = nullptr;
  ui::Memo* Memo3 = nullptr;
  ui::Memo* Memo4 = nullptr;
  ui::Label* Label1 = nullptr;
  ui::Edit* Edit1 = nullptr;
  ui::UpDown* UpDown1 = nullptr;
  ui::Button* Button1 = nullptr;
  ui::Button* Button2 = nullptr;
  ui::Button* Button3 = nullptr;
  ui::Button* Button4 = nullptr;

  // Track code of the next batch; 0 until a track is chosen.
  int TrackSelection = 0;
  // True while the operator has paused; Button2Click changes it, and a
  // start begins unpaused.
  bool Paused = false;
  // Open while a batch may go on; the worker waits at it before each card.
  // Shared with the worker, which may outlive the page by a moment.
  const std::shared_ptr<ui::Event> WriteGate = std::make_shared<ui::Event>(false);
  // Clicks of pause and continue, counted before the gate changes; the
  // worker reuses fields read ahead only when no click came since. Shared
  // with the worker as the gate is.
  const std::shared_ptr<std::atomic<std::uint32_t>> PauseClicks =
      std::make_shared<std::atomic<std::uint32_t>>(0);

  void RadioButton1Click() { chooseTracks(1); }
  void RadioButton2Click() { chooseTracks(2); }
  void RadioButton3Click() { chooseTracks(3); }
  void RadioButton4Click() { chooseTracks(4); }
  void RadioButton5Click() { chooseTracks(5); }
  void RadioButton6Click() { chooseTracks(6); }
  void Button1Click();  // Start
  void Button2Click();  // Pause or continue
  void Button3Click();  // Stop, after a confirmation
  void Button4Click();  // Back to the input fields
  void Memo4KeyPress(char32_t& key);

  // The worker of the current (or last) batch, if it has not ended.
  bool running() const { return run_.busy(); }
  // Whether the input fields (true) or the log (false) are shown.
  bool inputLayout() const { return !Memo4->visible(); }

 private:
  void chooseTracks(int selection);
  void showInputLayout(bool input);
  void breakOff();

  // The page's states and their buttons. Halted (the worker ended without
  // finishing its batch) keeps the buttons of Running or Paused.
  void showInput();
  void showRunning(const char* pauseCaption);
  void showPaused();
  void showFinished();

  // WritePort, inside the worker's hand-overs.
  std::array<cards::TrackFields, 3> cardFields(const std::array<bool, 3>& tracks) override;
  bool rewriteFailedCard() override;
  void appendEntry(const std::string& entry) override;
  void showProblem(const std::string& text) override;
  bool askGoOn(const std::string& question) override;
  void batchFinished() override;

  // The page's own load, for reset and endcard; declared before the worker
  // slot, whose break-off calls through it until the worker has ended.
  device::DynamicLibrary library_;
  device::ResetFn reset_ = nullptr;
  device::EndcardFn endcard_ = nullptr;

  // Run parameters of the last start.
  std::int32_t runCount_ = 0;
  std::int32_t runPort_ = 0;
  std::int32_t runSelection_ = 0;
  std::int32_t runMode_ = 0;
  std::int32_t runTimeoutMs_ = 0;

  // Last: it ends a batch that is still going (running, paused or waiting
  // for a card), and waits for its worker, before any control goes.
  ui::WorkerSlot run_;
};
