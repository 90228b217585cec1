#pragma once
// The text-file writing worker: writes the lines of a file to cards, one line
// (one track) or two lines (two tracks) per card, and logs every card.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "device/SharedLibrary.h"
#include "device/TrackBuffer.h"
#include "ui/Controls.h"
#include "ui/Thread.h"
#include "workers/TextFile.h"

// Process-wide, shared by the text-file page and its worker; a later page
// finds them as the last run left them.
// A stop of the text-file writing was asked for (1) or not (0).
inline std::atomic<std::uint8_t> TextWriteStop{0};
// The load that the last run took; the stop button looks endcard up in it.
// Each run's load replaces the one before, so loads never pile up and the
// handle never names a load that was given back.
inline device::LibrarySlot TextWriteLibrary;

inline constexpr const char* kFileEmpty = "文件内容为空！";
// Selection 6 has no meaning for a file: the library has no third buffer, and
// a file laid out for three tracks would be written shifted.
inline constexpr const char* kSelection6Refused =
    "文本文件写卡不能选择“1,2,3轨”：动态库只有两个数据缓冲区，第3轨无法写入。请选择其他轨道！";

class WriteTextCard : public ui::Thread {
 public:
  // The run begins with start(). Lines are handed over.
  WriteTextCard(std::int32_t TimeoutMs, std::int32_t CommandMode, ui::CheckBox* RewriteBox,
                ui::Button* StartButton, workers::TextLines Lines, ui::Memo* ReportMemo,
                std::int32_t TrackSelection, std::int32_t PortNumber);

  const std::int32_t TimeoutMs;  // 0: the write is not limited in time
  const std::int32_t CommandMode;
  ui::Memo* const ReportMemo;
  ui::CheckBox* const RewriteBox;  // read at every failed card
  const std::int32_t PortNumber;
  const workers::TextLines Lines;
  ui::Button* const StartButton;
  const std::int32_t TrackSelection;

  // The worker's own; read them only once the run has ended.
  std::string ReportLine;  // the last report's first line
  std::int32_t LineIndex = 0;  // current line, or first line of the current pair
  std::int32_t LineCount = 0;
  std::int32_t LastResult = 0;

  // Number of the card that LineIndex belongs to.
  std::int32_t cardNumber() const;

 protected:
  void execute() override { Execute(); }

 private:
  void Execute();
  // On the user-interface thread, while the worker waits: asks whether to go
  // on after a failed card and moves LineIndex accordingly.
  void FailurePrompt();
  // Appends an entry to the log; false when the page is gone.
  bool report(const std::string& entry);
  bool twoTracks() const { return TrackSelection == 4 || TrackSelection == 5; }
  // Puts the current card's line(s) into the buffers; false for a line that
  // does not fit (the page refuses such files before the run).
  bool fillBuffers(device::TrackBuffer& track2, device::TrackBuffer& track13) const;
  // The process-wide flag and this run's own stop: a later start clears the
  // flag, but never undoes the stop of this run.
  bool mayGoOn() const { return TextWriteStop.load() == 0 && !stopRequested(); }
};

namespace workers {

// The log entry of a card written under a selection of 1 to 5: the success
// line and the data of each track written, as the operator's text.
std::string textCardEntry(std::int32_t n, int selection, const device::TrackBuffer& track2,
                          const device::TrackBuffer& track13);

}  // namespace workers
