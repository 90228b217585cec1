#include "workers/Readcard.h"

#include <string>

#include "device/CardDevice.h"
#include "device/TrackBuffer.h"
#include "device/Tracks.h"
#include "ui/Application.h"
#include "workers/Report.h"

ReadCard::ReadCard(std::int32_t ReadCount, std::int32_t PortNumber, std::int32_t TrackSelection,
                   std::int32_t CommandMode, std::int32_t TimeoutMs, ui::Memo* DisplayMemo,
                   ui::Button* StartButton)
    : ReadCount(ReadCount),
      PortNumber(PortNumber),
      TrackSelection(TrackSelection),
      CommandMode(CommandMode),
      TimeoutMs(TimeoutMs),
      DisplayMemo(DisplayMemo),
      StartButton(StartButton) {
  ReadRunning = 1;
}

void ReadCard::Execute() {
  const device::SharedLibrary library = device::loadShared(device::kLibraryFileName);
  ReaderLibraryHandle.set(library);
  if (!library) {
    (void)synchronize([] { ui::showMessage(device::kLibraryLoadFailed); });
    return;
  }
  const auto readcard = library->function<device::ReadcardFn>("readcard");
  if (!readcard) {
    // The handle keeps the load, so that the stop button still finds endcard.
    (void)synchronize([] { ui::showMessage(device::kEntryPointMissing); });
    return;
  }

  // Reused for every attempt, cleared before each read.
  device::TrackBuffer bufferA;
  device::TrackBuffer bufferB;
  ReadCounter = 1;
  while (ReadCounter <= ReadCount) {
    if (!mayGoOn()) return;
    bufferA.clear();
    bufferB.clear();
    const std::int32_t result =
        readcard(PortNumber, TrackSelection, bufferA.data(), bufferB.data(), CommandMode, TimeoutMs);
    // A stopped run drops the attempt that the stop broke off.
    if (!mayGoOn()) return;
    if (result == device::kBrokenOff) return;
    const std::int32_t n = ReadCounter;
    const std::string entry =
        result == 0 ? workers::successEntry(n, "读卡", TrackSelection, bufferA, bufferB,
                                            device::kSelection6ReadNote)
                    : workers::failureEntry(n, "读卡", result);
    // One hand-over and one append per attempt; false: the page is gone.
    if (!synchronize([&] { DisplayMemo->addLine(entry); })) return;
    ++ReadCounter;
  }
  (void)synchronize([this] { StartButton->setEnabled(true); });
}
