#pragma once
// The text-file writing worker: writes the lines of a file to cards, one line
// (one track) or two lines (two tracks) per card, and logs every card.
#include <atomic>
#include <cstdint>
#include <string>

#include "cards/Counting.h"
#include "cards/TextLines.h"
#include "device/SharedLibrary.h"
#include "ui/Thread.h"

// Process-wide, shared by the text-file page and its worker; a later page
// finds them as the last run left them.
// A stop of the text-file writing was asked for (1) or not (0).
inline std::atomic<std::uint8_t> TextWriteStop{0};
// The load that the last run took; the stop button looks endcard up in it.
// Each run's load replaces the one before, so loads never pile up and the
// handle never names a load that was given back.
inline device::LibrarySlot TextWriteLibrary;

// What the worker needs of its page. The worker calls it only inside a
// hand-over, on the user-interface thread, and only while its run is live.
class WriteTextPort {
 public:
  // "写卡失败重写该次数据": write a failed card again.
  virtual bool rewriteFailedCard() = 0;
  // Appends an entry to the log.
  virtual void appendEntry(const std::string& entry) = 0;
  // Asks the failure question; true for OK.
  virtual bool askGoOn(const std::string& question) = 0;
  // Shows a box with this text on the page's behalf.
  virtual void showProblem(const std::string& text) = 0;
  // The run has ended by itself: the file done, Cancel, a missing line, a
  // file it refuses.
  virtual void runFinished() = 0;

 protected:
  ~WriteTextPort() = default;
};

class WriteTextCard : public ui::Thread {
 public:
  // The run begins with start(). Lines are handed over.
  WriteTextCard(std::int32_t TimeoutMs, std::int32_t CommandMode, cards::TextLines Lines,
                std::int32_t TrackSelection, std::int32_t PortNumber, WriteTextPort& page);

  const std::int32_t TimeoutMs;  // 0: the write is not limited in time
  const std::int32_t CommandMode;
  const std::int32_t PortNumber;
  const cards::TextLines Lines;
  const std::int32_t TrackSelection;

  // The worker's own; read them only once the run has ended.
  std::string ReportLine;  // the last report's first line
  std::int32_t LineIndex = 0;  // current line, or first line of the current pair
  std::int32_t LineCount = 0;
  std::int32_t LastResult = 0;

 protected:
  void execute() override { Execute(); }

 private:
  void Execute();
  // On the user-interface thread, while the worker waits: asks whether to go
  // on after a failed card and moves the cursor accordingly.
  void FailurePrompt(cards::LineCursor& cursor);
  // The process-wide flag and this run's own stop: a later start clears the
  // flag, but never undoes the stop of this run.
  bool mayGoOn() const { return TextWriteStop.load() == 0 && live(); }

  WriteTextPort& page_;
};
