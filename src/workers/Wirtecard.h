#pragma once
// The card-writing worker of the continuous-write page: writes a batch of
// cards whose track data is a fixed text and a running number, card by card,
// waiting at the page's gate before each one.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "ui/Controls.h"
#include "ui/Thread.h"
#include "workers/Compose.h"

// Process-wide, shared by the continuous-write page and its worker.
// 1 while a batch may go on, 0 after a pause or a stop.
inline std::atomic<std::uint8_t> WriteRunning{0};
// Number (from 1) of the card being written.
inline std::atomic<std::int32_t> WriteCounter{0};

class WriteCard : public ui::Thread {
 public:
  // The page's controls the worker reads and sets; owned by the page.
  struct PageControls {
    ui::CheckBox* CheckBox1 = nullptr;
    ui::Button* Button1 = nullptr;
    ui::Button* Button2 = nullptr;
    ui::Button* Button3 = nullptr;
    ui::Memo* Memo1 = nullptr;
    ui::Memo* Memo2 = nullptr;
    ui::Memo* Memo3 = nullptr;
    ui::Memo* Memo4 = nullptr;
    ui::Edit* Edit2 = nullptr;
    ui::Edit* Edit3 = nullptr;
    ui::Edit* Edit4 = nullptr;
    ui::Edit* Edit5 = nullptr;
    ui::Edit* Edit6 = nullptr;
    ui::Edit* Edit7 = nullptr;
  };

  // gate: the page's WriteGate, open while the batch is not paused;
  // pauseClicks: the page's PauseClicks. The batch begins with start().
  WriteCard(std::int32_t PortNumber, std::int32_t CardCount, std::int32_t TrackSelection,
            std::int32_t CommandMode, std::int32_t TimeoutMs, const PageControls& controls,
            std::shared_ptr<const ui::Event> gate,
            std::shared_ptr<const std::atomic<std::uint32_t>> pauseClicks);

  const std::int32_t CardCount;
  const std::int32_t TrackSelection;
  const std::int32_t TimeoutMs;
  const std::int32_t PortNumber;
  const std::int32_t CommandMode;

 protected:
  void execute() override { Execute(); }

 private:
  void Execute();
  // Waits at the gate before a card; false when this run was stopped.
  bool passGate();
  // Reports card n's failure and asks whether to go on; sets WriteCounter
  // for the card that comes next. False when the worker is to end at once
  // (Cancel, which has set the buttons; the run was stopped; the page is gone).
  bool FailurePrompt(std::int32_t n, std::int32_t result);
  // The end-of-batch step: Start enabled, pause and stop disabled.
  void finishBatch();
  // The fields of the composed tracks; on the user-interface thread only.
  std::array<workers::TrackFields, 3> readFields() const;

  // The last writecard result and the last failure line; the user-interface
  // thread sees them only inside a hand-over, while the worker waits.
  std::int32_t LastResult = 0;
  std::string ReportLine;
  const PageControls page_;
  const std::shared_ptr<const ui::Event> gate_;
  const std::shared_ptr<const std::atomic<std::uint32_t>> pauseClicks_;
  std::array<bool, 3> composed_{};  // tracks the selection composes
};
