#pragma once
// Test side of the emulated reader: one load of "40x.dll" through the
// program's own loader, with the entry points and the control interface
// resolved. Link the target emu40x_control to use it.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "EmulatorControl.h"
#include "Logged.h"
#include "device/CardDevice.h"
#include "device/DynamicLibrary.h"

namespace emu {

class Client {
 public:
  explicit Client(const std::string& fileName = device::kLibraryFileName) : library_(fileName) {
    detect = library_.function<device::DetectFn>("detect");
    reset = library_.function<device::ResetFn>("reset");
    opencomm = library_.function<device::OpencommFn>("opencomm");
    endcard = library_.function<device::EndcardFn>("endcard");
    readcard = library_.function<device::ReadcardFn>("readcard");
    writecard = library_.function<device::WritecardFn>("writecard");
    resetState = library_.function<decltype(&emu_reset_state)>("emu_reset_state");
    setDetectAnswer = library_.function<decltype(&emu_set_detect_answer)>("emu_set_detect_answer");
    scriptResults = library_.function<decltype(&emu_script_results)>("emu_script_results");
    setBlocking = library_.function<decltype(&emu_set_blocking)>("emu_set_blocking");
    setSwipeDelayMs =
        library_.function<decltype(&emu_set_swipe_delay_ms)>("emu_set_swipe_delay_ms");
    setUnterminatedBuffers =
        library_.function<decltype(&emu_set_unterminated_buffers)>("emu_set_unterminated_buffers");
    setOverrun = library_.function<decltype(&emu_set_overrun)>("emu_set_overrun");
    setWriteBack = library_.function<decltype(&emu_set_write_back)>("emu_set_write_back");
    setTrack = library_.function<decltype(&emu_set_track)>("emu_set_track");
    getTrack = library_.function<decltype(&emu_get_track)>("emu_get_track");
    logCount = library_.function<decltype(&emu_log_count)>("emu_log_count");
    logLine = library_.function<decltype(&emu_log_line)>("emu_log_line");
    clearLog = library_.function<decltype(&emu_clear_log)>("emu_clear_log");
    pendingCalls = library_.function<decltype(&emu_pending_calls)>("emu_pending_calls");
    missBreakOffs = library_.function<decltype(&emu_miss_break_offs)>("emu_miss_break_offs");
    mostConcurrentTransfers =
        library_.function<decltype(&emu_most_concurrent_transfers)>("emu_most_concurrent_transfers");
    resetMostConcurrentTransfers = library_.function<decltype(&emu_reset_most_concurrent_transfers)>(
        "emu_reset_most_concurrent_transfers");
    setManualSwipe = library_.function<decltype(&emu_set_manual_swipe)>("emu_set_manual_swipe");
    swipe = library_.function<decltype(&emu_swipe)>("emu_swipe");
    chooseResult = library_.function<decltype(&emu_choose_result)>("emu_choose_result");
    cardsDone = library_.function<decltype(&emu_cards_done)>("emu_cards_done");
  }

  // Loaded, and the control interface is complete (the entry points may be
  // missing in a variant).
  bool controllable() const {
    return resetState && setDetectAnswer && scriptResults && setBlocking && setSwipeDelayMs &&
           setUnterminatedBuffers && setOverrun && setTrack && getTrack && logCount && logLine && clearLog &&
           pendingCalls && missBreakOffs && mostConcurrentTransfers && resetMostConcurrentTransfers &&
           setManualSwipe && swipe && chooseResult && cardsDone;
  }

  device::DynamicLibrary& library() { return library_; }

  void script(const char* function, std::initializer_list<std::int32_t> results) {
    scriptResults(function, results.begin(), static_cast<std::int32_t>(results.size()));
  }

  std::string track(std::int32_t number) const {
    const std::int32_t length = getTrack(number, nullptr, 0);
    if (length <= 0) return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    getTrack(number, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(length));
    return text;
  }

  std::vector<std::string> log() const {
    std::vector<std::string> lines;
    const std::int32_t count = logCount();
    for (std::int32_t i = 0; i < count; ++i) {
      const std::int32_t length = logLine(i, nullptr, 0);
      if (length < 0) break;
      std::string line(static_cast<std::size_t>(length) + 1, '\0');
      logLine(i, line.data(), length + 1);
      line.resize(static_cast<std::size_t>(length));
      lines.push_back(std::move(line));
    }
    return lines;
  }

  device::DetectFn detect = nullptr;
  device::ResetFn reset = nullptr;
  device::OpencommFn opencomm = nullptr;
  device::EndcardFn endcard = nullptr;
  device::ReadcardFn readcard = nullptr;
  device::WritecardFn writecard = nullptr;

  decltype(&emu_reset_state) resetState = nullptr;
  decltype(&emu_set_detect_answer) setDetectAnswer = nullptr;
  decltype(&emu_script_results) scriptResults = nullptr;
  decltype(&emu_set_blocking) setBlocking = nullptr;
  decltype(&emu_set_swipe_delay_ms) setSwipeDelayMs = nullptr;
  decltype(&emu_set_unterminated_buffers) setUnterminatedBuffers = nullptr;
  decltype(&emu_set_overrun) setOverrun = nullptr;
  decltype(&emu_set_write_back) setWriteBack = nullptr;
  decltype(&emu_set_track) setTrack = nullptr;
  decltype(&emu_get_track) getTrack = nullptr;
  decltype(&emu_log_count) logCount = nullptr;
  decltype(&emu_log_line) logLine = nullptr;
  decltype(&emu_clear_log) clearLog = nullptr;
  decltype(&emu_pending_calls) pendingCalls = nullptr;
  decltype(&emu_miss_break_offs) missBreakOffs = nullptr;
  decltype(&emu_most_concurrent_transfers) mostConcurrentTransfers = nullptr;
  decltype(&emu_reset_most_concurrent_transfers) resetMostConcurrentTransfers = nullptr;
  decltype(&emu_set_manual_swipe) setManualSwipe = nullptr;
  decltype(&emu_swipe) swipe = nullptr;
  decltype(&emu_choose_result) chooseResult = nullptr;
  decltype(&emu_cards_done) cardsDone = nullptr;

 private:
  device::DynamicLibrary library_;
};

}  // namespace emu
