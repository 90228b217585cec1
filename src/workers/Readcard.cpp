#include "workers/Readcard.h"

#include "cards/Counting.h"
#include "cards/LogEntries.h"
#include "cards/Selections.h"
#include "device/CardDevice.h"
#include "device/Reach.h"
#include "device/TrackBuffer.h"

ReadCard::ReadCard(std::int32_t ReadCount, std::int32_t PortNumber, std::int32_t TrackSelection,
                   std::int32_t CommandMode, std::int32_t TimeoutMs, ReadPort& page)
    : ReadCount(ReadCount),
      PortNumber(PortNumber),
      TrackSelection(TrackSelection),
      CommandMode(CommandMode),
      TimeoutMs(TimeoutMs),
      page_(page) {
  ReadRunning = 1;
}

void ReadCard::Execute() {
  device::SharedLibrary library;
  device::ReadcardFn readcard = nullptr;
  const char* problem = device::reachLibrary(library, device::entryPoint("readcard", readcard));
  // The handle keeps a load without readcard, so that the stop button still
  // finds endcard.
  ReaderLibraryHandle.set(library);
  if (problem) {
    (void)handOver([&] { page_.showProblem(problem); });
    return;
  }

  // Reused for every attempt, cleared before each read.
  device::TrackBuffer bufferA;
  device::TrackBuffer bufferB;
  ReadCounter = 1;
  bool more = ReadCount >= 1;
  while (more) {
    // The process-wide flag as well as this run's stop: a later start sets
    // the flag again, but never undoes the stop of this run.
    if (ReadRunning.load() == 0) return;
    bufferA.clear();
    bufferB.clear();
    const auto result = call([&] {
      return readcard(PortNumber, TrackSelection, bufferA.data(), bufferB.data(), CommandMode,
                      TimeoutMs);
    });
    // A stopped run drops the attempt that the stop broke off.
    if (!result || ReadRunning.load() == 0 || !live()) return;
    if (*result == device::kBrokenOff) return;
    const std::int32_t n = ReadCounter;
    const std::string entry =
        *result == 0 ? cards::successEntry(n, "读卡", TrackSelection, bufferA, bufferB,
                                           cards::kSelection6ReadNote)
                     : cards::failureEntry(n, "读卡", *result);
    // One hand-over and one append per attempt.
    if (!handOver([&] { page_.appendEntry(entry); })) return;
    const cards::Step step = cards::stepAfter(n, ReadCount);
    ReadCounter = step.counter;
    more = step.goesOn;
  }
  (void)handOver([this] { page_.runFinished(); });
}
