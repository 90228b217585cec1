#include "workers/Wirtecard.h"

#include <chrono>
#include <thread>
#include <utility>

#include "cards/Counting.h"
#include "cards/LogEntries.h"
#include "cards/Selections.h"
#include "device/CardDevice.h"
#include "device/Reach.h"
#include "device/TrackBuffer.h"
#include "ui/Convert.h"

WriteCard::WriteCard(std::int32_t PortNumber, std::int32_t CardCount, std::int32_t TrackSelection,
                     std::int32_t CommandMode, std::int32_t TimeoutMs, WritePort& page,
                     std::shared_ptr<const ui::Event> gate,
                     std::shared_ptr<const std::atomic<std::uint32_t>> pauseClicks)
    : CardCount(CardCount),
      TrackSelection(TrackSelection),
      TimeoutMs(TimeoutMs),
      PortNumber(PortNumber),
      CommandMode(CommandMode),
      page_(page),
      gate_(std::move(gate)),
      pauseClicks_(std::move(pauseClicks)) {
  for (int t : cards::composedTracks(TrackSelection))
    composed_[static_cast<std::size_t>(t - 1)] = true;
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

void WriteCard::advance() {
  const cards::Step step = cards::stepAfter(WriteCounter.load(), CardCount);
  WriteCounter = step.counter;
  more_ = step.goesOn;
}

bool WriteCard::FailurePrompt(std::int32_t n, std::int32_t result) {
  ReportLine = cards::failureEntry(n, "写卡", result);
  bool goOn = false;
  const bool live = handOver([&] {
    // Reported first, whatever the answer, a pending pause included.
    page_.appendEntry(ReportLine);
    const bool ok = page_.askGoOn(cards::writeFailureQuestion(n));
    // The page may have gone, or the batch been stopped, while the question
    // was open: nothing more of this batch reaches the page.
    if (!this->live()) return;
    goOn = ok;
    if (!ok) {
      // Cancel ends the batch here.
      page_.batchFinished();
      WriteCounter = CardCount;
      return;
    }
    if (page_.rewriteFailedCard()) --WriteCounter;  // the same card again, with the same data
    advance();
  });
  return live && goOn;
}

void WriteCard::Execute() {
  // The load is given back when the worker ends, however it ends.
  device::SharedLibrary library;
  device::WritecardFn writecard = nullptr;
  if (const char* problem =
          device::reachLibrary(library, device::entryPoint("writecard", writecard))) {
    (void)handOver([&] { page_.showProblem(problem); });
    return;
  }

  device::TrackBuffer bufferA;
  device::TrackBuffer bufferB;
  // The next card's fields, read in the hand-over that reported a card, and
  // the pause clicks counted in that same hand-over.
  std::optional<std::array<cards::TrackFields, 3>> next;
  std::uint32_t nextClicks = 0;
  WriteCounter = 1;
  more_ = CardCount >= 1;
  while (more_) {
    if (!passGate()) return;
    const std::int32_t n = WriteCounter.load();

    // The operator may have changed the fields while paused: a pause or
    // continue since they were read has them read afresh, as for the first
    // card and after a failure. Every field of the card in one hand-over.
    std::array<cards::TrackFields, 3> fields;
    if (next && pauseClicks_->load() == nextClicks) {
      fields = std::move(*next);
    } else if (!handOver([&] { fields = page_.cardFields(composed_); })) {
      return;
    }
    next.reset();

    std::optional<std::string> refusal;
    try {
      refusal = cards::fillCardBuffers(TrackSelection, n, fields, bufferA, bufferB);
    } catch (const ui::ConvertError&) {
      return;  // a start or increment that is no integer ends the batch silently
    }
    if (refusal) {
      // Never cut or replaced: this card is not written and the batch ends,
      // so that the operator can correct the fields.
      ReportLine = cards::refusedCardEntry(n, *refusal);
      (void)handOver([&] {
        page_.appendEntry(ReportLine);
        page_.batchFinished();
      });
      return;
    }

    // The report shows the data as it was handed over.
    const device::TrackBuffer sentA = bufferA;
    const device::TrackBuffer sentB = bufferB;
    const auto result = call([&] {
      return writecard(PortNumber, TrackSelection, bufferA.data(), bufferB.data(), CommandMode,
                       TimeoutMs);
    });
    // A stopped batch drops the card that the stop broke off; the stop has
    // emptied the log.
    if (!result || !live()) return;
    LastResult = *result;
    if (LastResult == device::kBrokenOff) return;
    if (LastResult != 0) {
      if (!FailurePrompt(n, LastResult)) return;
      continue;
    }
    const std::string entry = cards::successEntry(n, "写卡", TrackSelection, sentA, sentB,
                                                  cards::kSelection6WriteNote);
    // One round trip to the user-interface thread per card: the report,
    // one append, and the fields of the card that comes next.
    ReportLine = cards::headline(entry);
    if (!handOver([&] {
          page_.appendEntry(entry);
          advance();
          if (more_) {
            next = page_.cardFields(composed_);
            nextClicks = pauseClicks_->load();
          }
        }))
      return;
  }
  (void)handOver([this] { page_.batchFinished(); });
}
