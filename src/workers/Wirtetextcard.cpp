#include "workers/Wirtetextcard.h"

#include <limits>
#include <optional>
#include <utility>

#include "device/CardDevice.h"
#include "device/Tracks.h"
#include "ui/Application.h"
#include "workers/Report.h"
#include "workers/TextFile.h"

namespace workers {

std::string textCardEntry(std::int32_t n, int selection, const device::TrackBuffer& track2,
                          const device::TrackBuffer& track13) {
  return successEntry(n, "写卡", selection, track2, track13, "");
}

}  // namespace workers

WriteTextCard::WriteTextCard(std::int32_t TimeoutMs, std::int32_t CommandMode,
                             ui::CheckBox* RewriteBox, ui::Button* StartButton,
                             workers::TextLines Lines, ui::Memo* ReportMemo,
                             std::int32_t TrackSelection, std::int32_t PortNumber)
    : TimeoutMs(TimeoutMs),
      CommandMode(CommandMode),
      ReportMemo(ReportMemo),
      RewriteBox(RewriteBox),
      PortNumber(PortNumber),
      Lines(std::move(Lines)),
      StartButton(StartButton),
      TrackSelection(TrackSelection) {}

std::int32_t WriteTextCard::cardNumber() const {
  return twoTracks() ? LineIndex / 2 + 1 : LineIndex + 1;
}

bool WriteTextCard::report(const std::string& entry) {
  return synchronize([&] { ReportMemo->addLine(entry); });
}

bool WriteTextCard::fillBuffers(device::TrackBuffer& track2, device::TrackBuffer& track13) const {
  const auto line = [&](std::int32_t i) { return Lines[static_cast<std::size_t>(i)]; };
  switch (TrackSelection) {
    case 1:
    case 3: return track13.assign(line(LineIndex));
    case 2: return track2.assign(line(LineIndex));
    case 4: return track13.assign(line(LineIndex)) && track2.assign(line(LineIndex + 1));
    case 5: return track2.assign(line(LineIndex)) && track13.assign(line(LineIndex + 1));
    default: return false;
  }
}

void WriteTextCard::Execute() {
  device::TrackBuffer track2;   // buffer A
  device::TrackBuffer track13;  // buffer B: track 1 or track 3
  if (Lines.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) return;
  LineCount = static_cast<std::int32_t>(Lines.size());
  if (LineCount < 1) {
    (void)synchronize([] { ui::showMessage(kFileEmpty); });
    return;
  }

  // The page refuses these before a run; a run never writes part of a file
  // that it cannot write whole.
  std::optional<std::string> refusal;
  if (workers::linesPerCard(TrackSelection) == 0) {
    refusal = kSelection6Refused;
  } else if (const auto overlong =
                 workers::firstOverlongLine(Lines, TrackSelection, device::TrackBuffer::kMaxText)) {
    refusal = workers::overlongLineMessage(*overlong + 1);
  }
  if (refusal) {
    ReportLine = *refusal;
    (void)synchronize([&] {
      ReportMemo->addLine(ReportLine);
      StartButton->setEnabled(true);
    });
    return;
  }

  const device::SharedLibrary library = device::loadShared(device::kLibraryFileName);
  TextWriteLibrary.set(library);
  if (!library) {
    ReportLine = device::kLibraryLoadFailed;
    (void)report(ReportLine);
    return;
  }
  const auto writecard = library->function<device::WritecardFn>("writecard");
  if (!writecard) {
    // The handle keeps the load, so that the stop button still finds endcard.
    ReportLine = device::kEntryPointMissing;
    (void)report(ReportLine);
    return;
  }

  for (LineIndex = 0; LineIndex < LineCount; ++LineIndex) {
    const std::int32_t n = cardNumber();
    if (twoTracks() && LineIndex + 1 == LineCount) {
      ReportLine = "\r\n第" + std::to_string(n) + "次写卡数据缺失！";
      (void)synchronize([&] {
        ReportMemo->addLine(ReportLine);
        StartButton->setEnabled(true);
      });
      return;
    }
    if (!fillBuffers(track2, track13)) return;
    // A stop that came while the last card was reported: its endcard has
    // gone already, and nothing would break this write off.
    if (!mayGoOn()) return;
    LastResult = writecard(PortNumber, TrackSelection, track2.data(), track13.data(), CommandMode,
                           TimeoutMs);
    // A stopped run drops the card that the stop broke off.
    if (!mayGoOn()) return;
    if (LastResult == 0) {
      ReportLine = "\r\n第" + std::to_string(n) + "次写卡成功！";
      // One hand-over and one append per card; false: the page is gone.
      if (!report(workers::textCardEntry(n, TrackSelection, track2, track13))) return;
      if (twoTracks()) ++LineIndex;
    } else if (LastResult == device::kBrokenOff) {
      return;
    } else {
      ReportLine = workers::failureEntry(n, "写卡", LastResult);
      if (!synchronize([&] {
            ReportMemo->addLine(ReportLine);
            FailurePrompt();
          }))
        return;
      // The page went, or a stop came, while the dialog was open.
      if (!mayGoOn()) return;
    }
  }
  (void)synchronize([this] { StartButton->setEnabled(true); });
}

void WriteTextCard::FailurePrompt() {
  const std::int32_t n = cardNumber();
  const bool goOn = ui::confirm("第" + std::to_string(n) + "次写卡失败！\r\n  错误代码" +
                                std::to_string(LastResult) + "\r\n   是否继续");
  // The page may have gone while the dialog was open.
  if (abandoned()) return;
  if (!goOn) {
    LineIndex = LineCount;
    StartButton->setEnabled(true);
  } else if (RewriteBox->checked()) {
    --LineIndex;  // the loop's step brings it back to the same card
  } else if (twoTracks()) {
    ++LineIndex;  // skips the pair's second line
  }
}
