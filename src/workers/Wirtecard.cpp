#include "workers/Wirtecard.h"

#include <array>
#include <chrono>
#include <optional>
#include <thread>
#include <utility>

#include "device/CardDevice.h"
#include "device/SharedLibrary.h"
#include "device/TrackBuffer.h"
#include "device/Tracks.h"
#include "ui/Application.h"
#include "ui/Convert.h"
#include "workers/Compose.h"
#include "workers/Report.h"

namespace {

constexpr const char* kPauseCaption = "暂停写卡";
constexpr const char* kBatchStopped = "连续写卡已停止，请修改数据后重新开始。";

}  // namespace

WriteCard::WriteCard(std::int32_t PortNumber, std::int32_t CardCount, std::int32_t TrackSelection,
                     std::int32_t CommandMode, std::int32_t TimeoutMs,
                     const PageControls& controls, std::shared_ptr<const ui::Event> gate,
                     std::shared_ptr<const std::atomic<std::uint32_t>> pauseClicks)
    : CardCount(CardCount),
      TrackSelection(TrackSelection),
      TimeoutMs(TimeoutMs),
      PortNumber(PortNumber),
      CommandMode(CommandMode),
      page_(controls),
      gate_(std::move(gate)),
      pauseClicks_(std::move(pauseClicks)) {
  for (int t : workers::composedTracks(TrackSelection))
    composed_[static_cast<std::size_t>(t - 1)] = true;
}

std::array<workers::TrackFields, 3> WriteCard::readFields() const {
  std::array<workers::TrackFields, 3> fields;
  if (composed_[0]) fields[0] = {page_.Memo1->text(), page_.Edit2->text(), page_.Edit3->text()};
  if (composed_[1]) fields[1] = {page_.Memo2->text(), page_.Edit4->text(), page_.Edit5->text()};
  if (composed_[2]) fields[2] = {page_.Memo3->text(), page_.Edit6->text(), page_.Edit7->text()};
  return fields;
}

bool WriteCard::passGate() {
  for (;;) {
    if (!wait(*gate_)) return false;
    if (WriteRunning.load() != 0) return true;
    // A pause closes the gate before it clears WriteRunning, so this worker
    // passed the gate just before a pause: it waits again, it does not end.
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void WriteCard::finishBatch() {
  (void)synchronize([this] {
    if (stopRequested()) return;  // a stop has set the page already
    page_.Button1->setEnabled(true);
    page_.Button2->setEnabled(false);
    page_.Button2->setCaption(kPauseCaption);
    page_.Button3->setEnabled(false);
  });
}

bool WriteCard::FailurePrompt(std::int32_t n, std::int32_t result) {
  ReportLine = workers::failureEntry(n, "写卡", result);
  const std::string question = "第" + std::to_string(n) + "次写卡失败\r\n  是否继续";
  bool goOn = false;
  const bool served = synchronize([&] {
    if (stopRequested()) return;
    // Reported first, whatever the answer, a pending pause included.
    page_.Memo4->addLine(ReportLine);
    const bool ok = ui::confirm(question);
    // The page may have gone, or the batch been stopped, while the question was open.
    if (abandoned() || stopRequested()) return;
    // Cancel ends the batch here: counting on past CardCount would wrap
    // round when CardCount is the largest count.
    goOn = ok;
    if (!ok) {
      page_.Button1->setEnabled(true);
      page_.Button2->setEnabled(false);
      page_.Button2->setCaption(kPauseCaption);
      page_.Button3->setEnabled(false);
      WriteCounter = CardCount;
    } else if (page_.CheckBox1->checked()) {
      --WriteCounter;  // the same card again, with the same data
    }
  });
  return served && goOn;
}

void WriteCard::Execute() {
  // The load is given back when the worker ends, however it ends.
  const device::SharedLibrary library = device::loadShared(device::kLibraryFileName);
  if (!library) {
    (void)synchronize([] { ui::showMessage(device::kLibraryLoadFailed); });
    return;
  }
  const auto writecard = library->function<device::WritecardFn>("writecard");
  if (!writecard) {
    (void)synchronize([] { ui::showMessage(device::kEntryPointMissing); });
    return;
  }

  device::TrackBuffer bufferA;
  device::TrackBuffer bufferB;
  // The next card's fields, read in the hand-over that reported a card, and
  // the pause clicks counted in that same hand-over.
  std::optional<std::array<workers::TrackFields, 3>> next;
  std::uint32_t nextClicks = 0;
  WriteCounter = 1;
  while (WriteCounter.load() <= CardCount) {
    if (!passGate()) return;
    const std::int32_t n = WriteCounter.load();

    // The operator may have changed the fields while paused: a pause or
    // continue since they were read has them read afresh, as for the first
    // card and after a failure. Every field of the card in one hand-over.
    std::array<workers::TrackFields, 3> fields;
    if (next && pauseClicks_->load() == nextClicks) {
      fields = std::move(*next);
    } else {
      const bool read = synchronize([&] {
        if (!stopRequested()) fields = readFields();
      });
      if (!read || stopRequested()) return;
    }
    next.reset();

    std::optional<std::string> refusal;
    try {
      refusal = workers::fillCardBuffers(TrackSelection, n, fields, bufferA, bufferB);
    } catch (const ui::ConvertError&) {
      return;  // a start or increment that is no integer ends the batch silently
    }
    if (refusal) {
      // Never cut or replaced: this card is not written and the batch ends,
      // so that the operator can correct the fields.
      ReportLine = "\r\n第" + std::to_string(n) + "次写卡：" + *refusal + "\r\n" + kBatchStopped;
      if (!synchronize([&] {
            if (!stopRequested()) page_.Memo4->addLine(ReportLine);
          }))
        return;
      if (stopRequested()) return;
      finishBatch();
      return;
    }

    // The report shows the data as it was handed over.
    const device::TrackBuffer sentA = bufferA;
    const device::TrackBuffer sentB = bufferB;
    LastResult =
        writecard(PortNumber, TrackSelection, bufferA.data(), bufferB.data(), CommandMode, TimeoutMs);
    // A stopped batch drops the card that the stop broke off; the stop has
    // emptied the log.
    if (stopRequested()) return;
    if (LastResult == device::kBrokenOff) return;
    if (LastResult == 0) {
      const std::string entry = workers::successEntry(n, "写卡", TrackSelection, sentA, sentB,
                                                      device::kSelection6WriteNote);
      // One round trip to the user-interface thread per card: the report,
      // one append, and the fields of the card that comes next.
      if (!synchronize([&] {
            if (stopRequested()) return;
            page_.Memo4->addLine(entry);
            if (n < CardCount) {
              next = readFields();
              nextClicks = pauseClicks_->load();
            }
          }))
        return;
      if (stopRequested()) return;
    } else if (!FailurePrompt(n, LastResult)) {
      return;
    }
    ++WriteCounter;
  }
  finishBatch();
}
