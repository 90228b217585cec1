#include "workers/Wirtetextcard.h"

#include <optional>
#include <utility>

#include "cards/LogEntries.h"
#include "cards/Selections.h"
#include "device/CardDevice.h"
#include "device/Reach.h"
#include "device/TrackBuffer.h"

WriteTextCard::WriteTextCard(std::int32_t TimeoutMs, std::int32_t CommandMode,
                             cards::TextLines Lines, std::int32_t TrackSelection,
                             std::int32_t PortNumber, WriteTextPort& page)
    : TimeoutMs(TimeoutMs),
      CommandMode(CommandMode),
      PortNumber(PortNumber),
      Lines(std::move(Lines)),
      TrackSelection(TrackSelection),
      page_(page) {}

void WriteTextCard::Execute() {
  device::TrackBuffer track2;   // buffer A
  device::TrackBuffer track13;  // buffer B: track 1 or track 3
  // The page refuses longer files; the counting below never wraps.
  if (!cards::fitsLineNumbers(Lines.size())) return;
  LineCount = static_cast<std::int32_t>(Lines.size());
  if (LineCount < 1) {
    (void)handOver([this] { page_.showProblem(cards::kFileEmpty); });
    return;
  }

  // The page refuses these before a run; a run never writes part of a file
  // that it cannot write whole.
  if (const std::optional<std::string> refusal = cards::runRefusal(Lines, TrackSelection)) {
    ReportLine = *refusal;
    (void)handOver([&] {
      page_.appendEntry(ReportLine);
      page_.runFinished();
    });
    return;
  }

  device::SharedLibrary library;
  device::WritecardFn writecard = nullptr;
  const char* problem = device::reachLibrary(library, device::entryPoint("writecard", writecard));
  // The handle keeps a load without writecard, so that the stop button still
  // finds endcard.
  TextWriteLibrary.set(library);
  if (problem) {
    ReportLine = problem;
    (void)handOver([&] { page_.appendEntry(ReportLine); });
    return;
  }

  cards::LineCursor cursor(LineCount, cards::linesPerCard(TrackSelection));
  while (!cursor.done()) {
    LineIndex = cursor.index();
    const std::int32_t n = cursor.cardNumber();
    if (cursor.pairIncomplete()) {
      ReportLine = cards::missingDataEntry(n);
      (void)handOver([&] {
        page_.appendEntry(ReportLine);
        page_.runFinished();
      });
      return;
    }
    if (!cards::fillCardFromLines(TrackSelection, Lines, static_cast<std::size_t>(cursor.index()),
                                  track2, track13))
      return;
    // The report shows the lines as they were handed over: the library may
    // use its buffers as its own.
    const device::TrackBuffer sent2 = track2;
    const device::TrackBuffer sent13 = track13;
    const auto result = call([&] {
      return writecard(PortNumber, TrackSelection, track2.data(), track13.data(), CommandMode,
                       TimeoutMs);
    });
    // A stopped run drops the card that the stop broke off.
    if (!result || !mayGoOn()) return;
    LastResult = *result;
    if (LastResult == device::kBrokenOff) return;
    if (LastResult == 0) {
      // One hand-over and one append per card.
      const std::string entry = cards::textCardEntry(n, TrackSelection, sent2, sent13);
      ReportLine = cards::headline(entry);
      if (!handOver([&] { page_.appendEntry(entry); })) return;
      cursor.next();
    } else {
      ReportLine = cards::failureEntry(n, "写卡", LastResult);
      if (!handOver([&] {
            page_.appendEntry(ReportLine);
            FailurePrompt(cursor);
          }))
        return;
    }
    // A stop of the process-wide flag alone, while the card was reported.
    if (!mayGoOn()) return;
  }
  LineIndex = cursor.index();
  (void)handOver([this] { page_.runFinished(); });
}

void WriteTextCard::FailurePrompt(cards::LineCursor& cursor) {
  const bool goOn = page_.askGoOn(cards::textFailureQuestion(cursor.cardNumber(), LastResult));
  // The page may have gone, or the run been stopped, while the dialog was open.
  if (!live()) return;
  if (!goOn) cursor.cancel();          // the run ends after this card
  else if (!page_.rewriteFailedCard()) cursor.next();  // skipped; a pair as a whole
}
