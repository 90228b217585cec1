#pragma once
// The card-writing worker of the continuous-write page: writes a batch of
// cards whose track data is a fixed text and a running number, card by card,
// waiting at the page's gate before each one.
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "cards/Compose.h"
#include "ui/Thread.h"

// Process-wide, shared by the continuous-write page and its worker.
// 1 while a batch may go on, 0 after a pause or a stop.
inline std::atomic<std::uint8_t> WriteRunning{0};
// Number (from 1) of the card being written.
inline std::atomic<std::int32_t> WriteCounter{0};

// What the worker needs of its page. The worker calls it only inside a
// hand-over, on the user-interface thread, and only while its batch is live.
class WritePort {
 public:
  // The fields of the tracks a card is composed of (tracks[t - 1] for track
  // t); the other tracks' fields are left empty and not read.
  virtual std::array<cards::TrackFields, 3> cardFields(const std::array<bool, 3>& tracks) = 0;
  // "写卡失败重写该次数据": write a failed card again.
  virtual bool rewriteFailedCard() = 0;
  // Appends a card's entry to the log.
  virtual void appendEntry(const std::string& entry) = 0;
  // Asks the failure question; true for OK.
  virtual bool askGoOn(const std::string& question) = 0;
  // Shows a box with this text on the page's behalf.
  virtual void showProblem(const std::string& text) = 0;
  // The batch has ended by itself: its last card, Cancel, or a card that
  // cannot be written.
  virtual void batchFinished() = 0;

 protected:
  ~WritePort() = default;
};

class WriteCard : public ui::Thread {
 public:
  // gate: the page's WriteGate, open while the batch is not paused;
  // pauseClicks: the page's PauseClicks. The batch begins with start().
  WriteCard(std::int32_t PortNumber, std::int32_t CardCount, std::int32_t TrackSelection,
            std::int32_t CommandMode, std::int32_t TimeoutMs, WritePort& page,
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
  // Reports card n's failure and asks whether to go on; moves WriteCounter
  // to the card that comes next. False when the worker is to end at once
  // (Cancel, which has finished the batch; the batch was stopped; the page
  // is gone).
  bool FailurePrompt(std::int32_t n, std::int32_t result);
  // WriteCounter after a card: on to the next one, or the batch is over.
  // On the user-interface thread, inside a hand-over, so that it never
  // undoes a stop's reset of the counter.
  void advance();

  // The last writecard result and the last report line; the user-interface
  // thread sees them only inside a hand-over, while the worker waits.
  std::int32_t LastResult = 0;
  std::string ReportLine;
  WritePort& page_;
  const std::shared_ptr<const ui::Event> gate_;
  const std::shared_ptr<const std::atomic<std::uint32_t>> pauseClicks_;
  std::array<bool, 3> composed_{};  // tracks the selection composes
  bool more_ = true;                // set by advance()
};
