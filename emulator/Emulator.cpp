// The emulated card reader/writer: the six device entry points and the
// control interface, over one virtual card. All state sits behind one mutex;
// a waiting call sleeps on a condition variable until its card is swiped, its
// time-out passes or endcard/reset breaks it off.
//
// Variants for tests leave entry points out with EMU_WITHOUT_<NAME>.
#include <algorithm>
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "EmulatorControl.h"
#include "Logged.h"
#include "VirtualCard.h"
#include "device/CardDevice.h"
#include "panel/Link.h"

#ifdef _WIN32
#define EMU_EXPORT __declspec(dllexport)
#else
#define EMU_EXPORT __attribute__((visibility("default")))
#endif

namespace emu {

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kBufferSize = 300;
constexpr char kFiller = '#';  // pads unterminated buffers

constexpr std::int32_t kDefaultDetectAnswer = 2428;
constexpr std::int32_t kDefaultSwipeDelayMs = 300;

// Result numbers of the device.
constexpr std::int32_t kOk = 0;
constexpr std::int32_t kPortError = -1;         // readcard, writecard, reset
constexpr std::int32_t kModeError = -4;         // also a bad track selection
constexpr std::int32_t kTimedOut = -6;          // no card in time
constexpr std::int32_t kTimeoutSetting = -13;   // readcard, writecard
constexpr std::int32_t kBadData = -14;          // writecard
constexpr std::int32_t kOpenPortError = -6;     // opencomm, detect
constexpr std::int32_t kOpenTimeoutError = -7;  // opencomm, detect
constexpr std::int32_t kOpenModeError = -8;     // opencomm

enum Entry : std::size_t { kDetect, kReset, kOpencomm, kEndcard, kReadcard, kWritecard, kEntries };

std::optional<Entry> entryNamed(const char* name) {
  if (name == nullptr) return std::nullopt;
  static constexpr std::array<std::string_view, kEntries> kNames = {
      "detect", "reset", "opencomm", "endcard", "readcard", "writecard"};
  for (std::size_t i = 0; i < kNames.size(); ++i) {
    if (kNames[i] == name) return static_cast<Entry>(i);
  }
  return std::nullopt;
}

struct State {
  std::mutex mutex;
  std::condition_variable wake;

  std::int32_t detectAnswer = kDefaultDetectAnswer;
  std::int32_t swipeDelayMs = kDefaultSwipeDelayMs;
  bool unterminated = false;
  // Bytes readcard writes, and writecard reads, past the 300 of each buffer.
  std::int32_t overrun = 0;
  // writecard leaves other text in the buffers it was given.
  bool writeBack = false;
  std::array<bool, kEntries> blocking{};
  std::array<std::deque<std::int32_t>, kEntries> scripts;
  VirtualCard card;
  // A deque: the lines logged so far are never moved, as a vector's doubling
  // moved them all under the mutex (about 0.1 s at half a million calls).
  std::deque<std::string> log;

  // Counts break-offs; a waiting call ends when it changes. A break-off with
  // nothing waiting therefore leaves no trace for the next call.
  std::uint64_t breakOffs = 0;
  // Break-offs of endcard and reset still to miss (emu_miss_break_offs).
  std::int32_t toMiss = 0;
  std::int32_t pending = 0;
  // readcard/writecard calls inside the library now, and the most ever.
  std::int32_t inside = 0;
  std::int32_t mostInside = 0;

  // The front panel (or a test) as a person at the device: swipes by hand,
  // a failure the device is to answer, what waits for a card.
  bool manualSwipe = false;
  std::uint64_t swipes = 0;  // presses of "刷卡"; a waiting call ends when it changes
  std::optional<std::int32_t> chosenResult;
  bool chosenEvery = false;
  Entry waiting = kEntries;  // the call that waits for a card, if any
  std::int32_t waitingSelection = 0;
  std::int32_t cardsRead = 0;
  std::int32_t cardsWritten = 0;

  void enter() {
    ++inside;
    mostInside = std::max(mostInside, inside);
  }

  void restoreDefaults() {
    detectAnswer = kDefaultDetectAnswer;
    swipeDelayMs = kDefaultSwipeDelayMs;
    unterminated = false;
    overrun = 0;
    writeBack = false;
    blocking.fill(false);
    for (auto& queue : scripts) queue.clear();
    card.loadSample();
    log.clear();
    toMiss = 0;
    manualSwipe = false;
    chosenResult.reset();
    chosenEvery = false;
    cardsRead = 0;
    cardsWritten = 0;
  }

  // The device's answer for a card that came: the chosen failure, if any.
  std::int32_t answerForCard() {
    if (!chosenResult) return kOk;
    const std::int32_t result = *chosenResult;
    if (!chosenEvery) chosenResult.reset();
    return result;
  }

  void breakOff() {
    ++breakOffs;
    wake.notify_all();
  }

  // endcard and reset: a break-off to miss acts as one that came a moment
  // before the call it was meant for began.
  void deviceBreakOff() {
    if (toMiss > 0) {
      --toMiss;
      return;
    }
    breakOff();
  }

  std::optional<std::int32_t> takeScripted(Entry entry) {
    auto& queue = scripts[entry];
    if (queue.empty()) return std::nullopt;
    const std::int32_t result = queue.front();
    queue.pop_front();
    return result;
  }

  // Waits for the swipe; kOk when the card came, kTimedOut or kBrokenOff.
  std::int32_t awaitCard(std::unique_lock<std::mutex>& lock, Entry entry, std::int32_t selection,
                         std::int32_t timeoutMs) {
    const auto start = Clock::now();
    const std::uint64_t breakOffsAtStart = breakOffs;
    const auto brokenOff = [&] { return breakOffs != breakOffsAtStart; };
    // Decided when the call begins: a panel closed meanwhile leaves this
    // call to its time-out or a break-off.
    const bool byHand = manualSwipe && !blocking[entry];
    const std::uint64_t swipesAtStart = swipes;
    const auto swiped = [&] { return swipes != swipesAtStart; };

    std::optional<Clock::time_point> swipeAt;
    std::optional<Clock::time_point> deadline;
    if (!blocking[entry]) {
      if (swipeDelayMs >= 0 && !byHand) swipeAt = start + std::chrono::milliseconds(swipeDelayMs);
      // A time-out of 0 (allowed in mode 2 only) means no limit.
      if (timeoutMs > 0) deadline = start + std::chrono::milliseconds(timeoutMs);
    }

    ++pending;
    waiting = entry;
    waitingSelection = selection;
    std::int32_t result = device::kBrokenOff;
    if (byHand) {
      const auto ends = [&] { return brokenOff() || swiped(); };
      if (deadline) wake.wait_until(lock, *deadline, ends);
      else wake.wait(lock, ends);
      result = brokenOff() ? device::kBrokenOff : swiped() ? kOk : kTimedOut;
    } else if (swipeAt && *swipeAt <= start) {
      result = kOk;  // a swipe without delay: the card is there at once
    } else if (swipeAt && (!deadline || *swipeAt <= *deadline)) {
      if (!wake.wait_until(lock, *swipeAt, brokenOff)) result = kOk;
    } else if (deadline) {
      if (!wake.wait_until(lock, *deadline, brokenOff)) result = kTimedOut;
    } else {
      wake.wait(lock, brokenOff);
    }
    --pending;
    if (pending == 0) waiting = kEntries;
    return result;
  }
};

State g_state;

std::string showBuffer(const char* buffer) {
  if (buffer == nullptr) return "null";
  return logged(std::string_view(buffer, strnlen(buffer, kBufferSize)));
}

std::string transferLine(const char* name, std::int32_t port, std::int32_t selection,
                         const std::string& shownA, const std::string& shownB, std::int32_t mode,
                         std::int32_t timeoutMs, std::int32_t result) {
  return std::string(name) + "(" + std::to_string(port) + "," + std::to_string(selection) + "," +
         shownA + "," + shownB + "," + std::to_string(mode) + "," + std::to_string(timeoutMs) +
         ")=" + std::to_string(result);
}

std::string callLine(const char* name, std::initializer_list<std::int32_t> args,
                     std::int32_t result) {
  std::string line = std::string(name) + "(";
  bool first = true;
  for (const std::int32_t arg : args) {
    if (!first) line += ",";
    line += std::to_string(arg);
    first = false;
  }
  return line + ")=" + std::to_string(result);
}

bool validPort(std::int32_t port) { return port >= 1 && port <= 6; }
bool validMode(std::int32_t mode) { return mode == 1 || mode == 2; }

char* bufferFor(Buffer which, char* bufferA, char* bufferB) {
  return which == Buffer::A ? bufferA : bufferB;
}

// Argument checks shared by readcard and writecard, in the device's order.
std::int32_t checkTransfer(std::int32_t port, std::int32_t selection, char* bufferA,
                           char* bufferB, std::int32_t mode, std::int32_t timeoutMs) {
  if (!validPort(port)) return kPortError;
  if (!validMode(mode)) return kModeError;
  const auto routes = routesFor(selection);
  if (routes.empty()) return kModeError;
  for (const Route& route : routes) {
    if (bufferFor(route.buffer, bufferA, bufferB) == nullptr) return kModeError;
  }
  if (timeoutMs < 0 || (timeoutMs == 0 && mode == 1)) return kTimeoutSetting;
  return kOk;
}

void fillBuffers(const State& state, std::int32_t selection, char* bufferA, char* bufferB) {
  const auto routes = routesFor(selection);
  if (state.unterminated) {
    for (const Buffer which : {Buffer::A, Buffer::B}) {
      char* buffer = bufferFor(which, bufferA, bufferB);
      if (buffer == nullptr) continue;
      std::memset(buffer, kFiller, kBufferSize);
      for (const Route& route : routes) {
        if (route.buffer != which) continue;
        const std::string& data = state.card.track(route.track);
        std::memcpy(buffer, data.data(), std::min(data.size(), kBufferSize));
      }
    }
    return;
  }
  for (const Route& route : routes) {
    char* buffer = bufferFor(route.buffer, bufferA, bufferB);
    const std::string& data = state.card.track(route.track);
    const std::size_t length = std::min(data.size(), kBufferSize - 1);
    std::memcpy(buffer, data.data(), length);
    buffer[length] = '\0';
  }
}

// As a library that was written for bigger buffers: filler past byte 300.
void overrunBuffers(const State& state, char* bufferA, char* bufferB) {
  if (state.overrun <= 0) return;
  for (char* buffer : {bufferA, bufferB}) {
    if (buffer != nullptr) std::memset(buffer + kBufferSize, kFiller, static_cast<std::size_t>(state.overrun));
  }
}

// The same library reading: every byte up to 300 + overrun is looked at.
void readPastBuffers(const State& state, const char* bufferA, const char* bufferB) {
  if (state.overrun <= 0) return;
  volatile unsigned sum = 0;
  for (const char* buffer : {bufferA, bufferB}) {
    if (buffer == nullptr) continue;
    const std::size_t end = kBufferSize + static_cast<std::size_t>(state.overrun);
    for (std::size_t i = 0; i < end; ++i) sum = sum + static_cast<unsigned char>(buffer[i]);
  }
}

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

std::string bufferBytes(const char* buffer) {
  if (buffer == nullptr) return {};
  return std::string(buffer, strnlen(buffer, kBufferSize));
}

}  // namespace

std::int32_t detect(std::int32_t port, std::int32_t timeoutMs) {
  std::lock_guard<std::mutex> lock(g_state.mutex);
  std::int32_t result = g_state.detectAnswer;
  if (!validPort(port)) {
    result = kOpenPortError;
  } else if (timeoutMs < 0) {
    result = kOpenTimeoutError;
  } else if (const auto scripted = g_state.takeScripted(kDetect)) {
    result = *scripted;
  }
  g_state.log.push_back(callLine("detect", {port, timeoutMs}, result));
  return result;
}

std::int32_t opencomm(std::int32_t port, std::int32_t mode, std::int32_t timeoutMs) {
  std::lock_guard<std::mutex> lock(g_state.mutex);
  std::int32_t result = kOk;
  if (!validPort(port)) {
    result = kOpenPortError;
  } else if (timeoutMs < 0) {
    result = kOpenTimeoutError;
  } else if (!validMode(mode)) {
    result = kOpenModeError;
  } else if (const auto scripted = g_state.takeScripted(kOpencomm)) {
    result = *scripted;
  }
  g_state.log.push_back(callLine("opencomm", {port, mode, timeoutMs}, result));
  return result;
}

std::int32_t reset(std::int32_t port, std::int32_t mode) {
  std::lock_guard<std::mutex> lock(g_state.mutex);
  std::int32_t result = kOk;
  if (!validPort(port)) {
    result = kPortError;
  } else if (!validMode(mode)) {
    result = kModeError;
  } else {
    g_state.deviceBreakOff();
    if (const auto scripted = g_state.takeScripted(kReset)) result = *scripted;
  }
  g_state.log.push_back(callLine("reset", {port, mode}, result));
  return result;
}

std::int32_t endcard(std::int32_t mode) {
  std::lock_guard<std::mutex> lock(g_state.mutex);
  std::int32_t result = kOk;
  if (!validMode(mode)) {
    result = kModeError;
  } else {
    g_state.deviceBreakOff();
    if (const auto scripted = g_state.takeScripted(kEndcard)) result = *scripted;
  }
  g_state.log.push_back(callLine("endcard", {mode}, result));
  return result;
}

std::int32_t readcard(std::int32_t port, std::int32_t selection, char* bufferA, char* bufferB,
                      std::int32_t mode, std::int32_t timeoutMs) {
  std::unique_lock<std::mutex> lock(g_state.mutex);
  g_state.enter();
  std::int32_t result = checkTransfer(port, selection, bufferA, bufferB, mode, timeoutMs);
  if (result == kOk) {
    const auto scripted = g_state.takeScripted(kReadcard);
    if (scripted && *scripted != kOk) {
      result = *scripted;
    } else {
      result = g_state.awaitCard(lock, kReadcard, selection, timeoutMs);
      if (result == kOk) result = g_state.answerForCard();
      if (result == kOk) {
        fillBuffers(g_state, selection, bufferA, bufferB);
        overrunBuffers(g_state, bufferA, bufferB);
        ++g_state.cardsRead;
      }
    }
  }
  g_state.log.push_back(transferLine("readcard", port, selection, showBuffer(bufferA),
                                     showBuffer(bufferB), mode, timeoutMs, result));
  --g_state.inside;
  return result;
}

// What a library with emu_set_write_back leaves in the buffers of a write.
constexpr const char* kWrittenBack = "WRITTEN BACK";

std::int32_t writecard(std::int32_t port, std::int32_t selection, char* bufferA, char* bufferB,
                       std::int32_t mode, std::int32_t timeoutMs) {
  std::unique_lock<std::mutex> lock(g_state.mutex);
  g_state.enter();
  // The data goes to the device with the command, before the card comes.
  const std::string shownA = showBuffer(bufferA);
  const std::string shownB = showBuffer(bufferB);
  const std::string dataA = bufferBytes(bufferA);
  const std::string dataB = bufferBytes(bufferB);
  readPastBuffers(g_state, bufferA, bufferB);

  std::int32_t result = checkTransfer(port, selection, bufferA, bufferB, mode, timeoutMs);
  if (result == kOk) {
    const auto scripted = g_state.takeScripted(kWritecard);
    if (scripted && *scripted != kOk) {
      result = *scripted;
    } else {
      result = g_state.awaitCard(lock, kWritecard, selection, timeoutMs);
      if (result == kOk) result = g_state.answerForCard();
    }
  }
  if (result == kOk) {
    // All tracks or none: a refused track leaves the whole card as it was.
    const auto routes = routesFor(selection);
    for (const Route& route : routes) {
      if (!encodable(route.track, route.buffer == Buffer::A ? dataA : dataB)) result = kBadData;
    }
    if (result == kOk) {
      for (const Route& route : routes) {
        g_state.card.setTrack(route.track, route.buffer == Buffer::A ? dataA : dataB);
      }
      ++g_state.cardsWritten;
    }
  }
  if (g_state.writeBack) {
    for (char* buffer : {bufferA, bufferB})
      if (buffer != nullptr) std::strcpy(buffer, kWrittenBack);
  }
  g_state.log.push_back(
      transferLine("writecard", port, selection, shownA, shownB, mode, timeoutMs, result));
  --g_state.inside;
  return result;
}

PanelView panelView(std::size_t lastCalls) {
  std::lock_guard<std::mutex> lock(g_state.mutex);
  PanelView view;
  for (int t = 1; t <= 3; ++t) view.tracks[static_cast<std::size_t>(t - 1)] = g_state.card.track(t);
  view.manualSwipe = g_state.manualSwipe;
  view.swipeDelayMs = g_state.swipeDelayMs;
  view.detectAnswer = g_state.detectAnswer;
  view.chosenResult = g_state.chosenResult;
  view.chosenEvery = g_state.chosenEvery;
  view.waiting = g_state.waiting == kReadcard    ? PanelView::Waiting::Read
                 : g_state.waiting == kWritecard ? PanelView::Waiting::Write
                                                 : PanelView::Waiting::None;
  view.waitingSelection = g_state.waitingSelection;
  view.cardsRead = g_state.cardsRead;
  view.cardsWritten = g_state.cardsWritten;
  view.calls = g_state.log.size();
  const std::size_t shown = std::min(lastCalls, g_state.log.size());
  for (std::size_t i = 0; i < shown; ++i) view.lastCalls.push_back(g_state.log[g_state.log.size() - 1 - i]);
  return view;
}

void panelSwipe() {
  std::lock_guard<std::mutex> lock(g_state.mutex);
  ++g_state.swipes;
  g_state.wake.notify_all();
}

void panelSetManualSwipe(bool on) {
  std::lock_guard<std::mutex> lock(g_state.mutex);
  g_state.manualSwipe = on;
}

void panelSetSwipeDelay(std::int32_t ms) {
  std::lock_guard<std::mutex> lock(g_state.mutex);
  g_state.swipeDelayMs = ms;
}

void panelSetTrack(int track, const std::string& bytes) {
  if (!validTrackNumber(track)) return;
  std::lock_guard<std::mutex> lock(g_state.mutex);
  g_state.card.setTrack(track, bytes);
}

void panelSetDetectAnswer(std::int32_t code) {
  std::lock_guard<std::mutex> lock(g_state.mutex);
  g_state.detectAnswer = code;
}

void panelChooseResult(std::optional<std::int32_t> result, bool every) {
  std::lock_guard<std::mutex> lock(g_state.mutex);
  g_state.chosenResult = result == kOk ? std::nullopt : result;
  g_state.chosenEvery = every;
}

void panelClosed() {
  std::lock_guard<std::mutex> lock(g_state.mutex);
  g_state.manualSwipe = false;
  g_state.chosenResult.reset();
}

void applySettings(const PanelSettings& settings) {
  std::lock_guard<std::mutex> lock(g_state.mutex);
  g_state.manualSwipe = settings.manualSwipe;
  g_state.swipeDelayMs = settings.swipeDelayMs;
  g_state.detectAnswer = settings.detectAnswer;
  for (int t = 1; t <= 3; ++t)
    if (const auto& track = settings.tracks[static_cast<std::size_t>(t - 1)])
      g_state.card.setTrack(t, *track);
}

}  // namespace emu

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

EMU_CONTROL void emu_set_detect_answer(std::int32_t code) {
  std::lock_guard<std::mutex> lock(emu::g_state.mutex);
  emu::g_state.detectAnswer = code;
}

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

EMU_CONTROL void emu_set_swipe_delay_ms(std::int32_t ms) {
  std::lock_guard<std::mutex> lock(emu::g_state.mutex);
  emu::g_state.swipeDelayMs = ms;
}

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
  if (!emu::validTrackNumber(track)) return;
  std::lock_guard<std::mutex> lock(emu::g_state.mutex);
  emu::g_state.card.setTrack(track, bytes == nullptr ? std::string() : std::string(bytes));
}

EMU_CONTROL std::int32_t emu_get_track(std::int32_t track, char* out, std::int32_t size) {
  if (!emu::validTrackNumber(track)) return emu::copyOut({}, out, size) - 1;
  std::lock_guard<std::mutex> lock(emu::g_state.mutex);
  return emu::copyOut(emu::g_state.card.track(track), out, size);
}

EMU_CONTROL std::int32_t emu_log_count() {
  std::lock_guard<std::mutex> lock(emu::g_state.mutex);
  return static_cast<std::int32_t>(emu::g_state.log.size());
}

EMU_CONTROL std::int32_t emu_log_line(std::int32_t index, char* out, std::int32_t size) {
  std::lock_guard<std::mutex> lock(emu::g_state.mutex);
  const auto& log = emu::g_state.log;
  if (index < 0 || static_cast<std::size_t>(index) >= log.size()) {
    return emu::copyOut({}, out, size) - 1;
  }
  return emu::copyOut(log[static_cast<std::size_t>(index)], out, size);
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
