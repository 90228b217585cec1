// The exported functions: the device's six entry points under their plain
// names, and the control interface. This is the one source compiled again
// for each variant of the library: EMU_WITHOUT_<NAME> leaves an entry point
// out, EMU_DECORATED_NAMES leaves the six unexported (a module-definition
// file exports them), EMU_WITHOUT_CONTROL leaves the control interface
// unexported.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <string>

#include "Device.h"
#include "DeviceState.h"
#include "EmulatorControl.h"
#include "device/CardDevice.h"
#include "panel/Link.h"

#ifdef _WIN32
#define EMU_EXPORT __declspec(dllexport)
#else
#define EMU_EXPORT __attribute__((visibility("default")))
#endif

namespace {

// Copies text into a caller's buffer of `size` bytes, cut to fit, always
// zero-terminated; returns the full length.
std::int32_t copyOut(const std::string& text, char* out, std::int32_t size) {
  if (out != nullptr && size > 0) {
    const std::size_t length = std::min(text.size(), static_cast<std::size_t>(size) - 1);
    std::memcpy(out, text.data(), length);
    out[length] = '\0';
  }
  return static_cast<std::int32_t>(text.size());
}

}  // namespace

// The device's entry points, under their plain names.
extern "C" {

// Variants for tests with EMU_DECORATED_NAMES export the six only under the
// names that 32-bit Windows compilers give __stdcall functions, through a
// module-definition file (see CMakeLists.txt); here they stay unexported.
#ifdef EMU_DECORATED_NAMES
#define EMU_ENTRY
#else
#define EMU_ENTRY EMU_EXPORT
#endif

#ifndef EMU_WITHOUT_DETECT
EMU_ENTRY std::int32_t CARD_API detect(std::int32_t port, std::int32_t timeoutMs) {
  return emu::detect(port, timeoutMs);
}
#endif

#ifndef EMU_WITHOUT_RESET
EMU_ENTRY std::int32_t CARD_API reset(std::int32_t port, std::int32_t mode) {
  return emu::reset(port, mode);
}
#endif

#ifndef EMU_WITHOUT_OPENCOMM
EMU_ENTRY std::int32_t CARD_API opencomm(std::int32_t port, std::int32_t mode,
                                          std::int32_t timeoutMs) {
  return emu::opencomm(port, mode, timeoutMs);
}
#endif

#ifndef EMU_WITHOUT_ENDCARD
EMU_ENTRY std::int32_t CARD_API endcard(std::int32_t mode) { return emu::endcard(mode); }
#endif

#ifndef EMU_WITHOUT_READCARD
EMU_ENTRY std::int32_t CARD_API readcard(std::int32_t port, std::int32_t selection, char* bufferA,
                                          char* bufferB, std::int32_t mode,
                                          std::int32_t timeoutMs) {
  return emu::readcard(port, selection, bufferA, bufferB, mode, timeoutMs);
}
#endif

#ifndef EMU_WITHOUT_WRITECARD
EMU_ENTRY std::int32_t CARD_API writecard(std::int32_t port, std::int32_t selection,
                                           char* bufferA, char* bufferB, std::int32_t mode,
                                           std::int32_t timeoutMs) {
  return emu::writecard(port, selection, bufferA, bufferB, mode, timeoutMs);
}
#endif

// Control interface; a variant for tests leaves it unexported, as a
// library that is not the emulated reader.
#ifdef EMU_WITHOUT_CONTROL
#define EMU_CONTROL
#else
#define EMU_CONTROL EMU_EXPORT
#endif

EMU_CONTROL void emu_reset_state() {
  std::lock_guard<std::mutex> lock(emu::g_state.mutex);
  emu::g_state.restoreDefaults();
  emu::g_state.mostInside = emu::g_state.inside;
  // Nothing may stay waiting on settings that are gone.
  emu::g_state.breakOff();
}

EMU_CONTROL void emu_set_detect_answer(std::int32_t code) { emu::panelSetDetectAnswer(code); }

EMU_CONTROL void emu_script_results(const char* function, const std::int32_t* results,
                                   std::int32_t count) {
  const auto entry = emu::entryNamed(function);
  if (!entry || results == nullptr || count <= 0) return;
  std::lock_guard<std::mutex> lock(emu::g_state.mutex);
  auto& queue = emu::g_state.scripts[*entry];
  queue.insert(queue.end(), results, results + count);
}

EMU_CONTROL void emu_set_blocking(const char* function, std::int32_t on) {
  const auto entry = emu::entryNamed(function);
  if (!entry || (*entry != emu::kReadcard && *entry != emu::kWritecard)) return;
  std::lock_guard<std::mutex> lock(emu::g_state.mutex);
  emu::g_state.blocking[*entry] = on != 0;
}

EMU_CONTROL void emu_set_swipe_delay_ms(std::int32_t ms) { emu::panelSetSwipeDelay(ms); }

EMU_CONTROL void emu_set_unterminated_buffers(std::int32_t on) {
  std::lock_guard<std::mutex> lock(emu::g_state.mutex);
  emu::g_state.unterminated = on != 0;
}

EMU_CONTROL void emu_set_write_back(std::int32_t on) {
  std::lock_guard<std::mutex> lock(emu::g_state.mutex);
  emu::g_state.writeBack = on != 0;
}

EMU_CONTROL void emu_set_overrun(std::int32_t bytes) {
  std::lock_guard<std::mutex> lock(emu::g_state.mutex);
  emu::g_state.overrun = std::max(bytes, 0);
}

EMU_CONTROL void emu_set_track(std::int32_t track, const char* bytes) {
  emu::panelSetTrack(track, bytes == nullptr ? std::string() : std::string(bytes));
}

EMU_CONTROL std::int32_t emu_get_track(std::int32_t track, char* out, std::int32_t size) {
  if (!emu::validTrackNumber(track)) return copyOut({}, out, size) - 1;
  std::lock_guard<std::mutex> lock(emu::g_state.mutex);
  return copyOut(emu::g_state.card.track(track), out, size);
}

EMU_CONTROL std::int32_t emu_log_count() {
  std::lock_guard<std::mutex> lock(emu::g_state.mutex);
  return static_cast<std::int32_t>(emu::g_state.log.size());
}

EMU_CONTROL std::int32_t emu_log_line(std::int32_t index, char* out, std::int32_t size) {
  std::lock_guard<std::mutex> lock(emu::g_state.mutex);
  const auto& log = emu::g_state.log;
  if (index < 0 || static_cast<std::size_t>(index) >= log.size()) {
    return copyOut({}, out, size) - 1;
  }
  return copyOut(log.line(static_cast<std::size_t>(index)), out, size);
}

EMU_CONTROL void emu_clear_log() {
  std::lock_guard<std::mutex> lock(emu::g_state.mutex);
  emu::g_state.log.clear();
}

EMU_CONTROL void emu_miss_break_offs(std::int32_t count) {
  std::lock_guard<std::mutex> lock(emu::g_state.mutex);
  emu::g_state.toMiss = count > 0 ? count : 0;
}

EMU_CONTROL std::int32_t emu_pending_calls() {
  std::lock_guard<std::mutex> lock(emu::g_state.mutex);
  return emu::g_state.pending;
}

EMU_CONTROL void emu_set_manual_swipe(std::int32_t on) { emu::panelSetManualSwipe(on != 0); }

EMU_CONTROL void emu_swipe() { emu::panelSwipe(); }

EMU_CONTROL void emu_choose_result(std::int32_t result, std::int32_t every) {
  emu::panelChooseResult(result, every != 0);
}

EMU_CONTROL std::int32_t emu_cards_done(std::int32_t written) {
  const emu::PanelView view = emu::panelView(0);
  return written ? view.cardsWritten : view.cardsRead;
}

EMU_CONTROL std::int32_t emu_most_concurrent_transfers() {
  std::lock_guard<std::mutex> lock(emu::g_state.mutex);
  return emu::g_state.mostInside;
}

EMU_CONTROL void emu_reset_most_concurrent_transfers() {
  std::lock_guard<std::mutex> lock(emu::g_state.mutex);
  emu::g_state.mostInside = emu::g_state.inside;
}

}  // extern "C"
