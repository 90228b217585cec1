#include "DeviceState.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <string_view>

#include "device/CardDevice.h"
#include "panel/Link.h"

namespace emu {

namespace {
using Clock = std::chrono::steady_clock;
}  // namespace

State g_state;

std::optional<Entry> entryNamed(const char* name) {
  if (name == nullptr) return std::nullopt;
  static constexpr std::array<std::string_view, kEntries> kNames = {
      "detect", "reset", "opencomm", "endcard", "readcard", "writecard"};
  for (std::size_t i = 0; i < kNames.size(); ++i) {
    if (kNames[i] == name) return static_cast<Entry>(i);
  }
  return std::nullopt;
}

void State::enter() {
  ++inside;
  mostInside = std::max(mostInside, inside);
}

void State::restoreDefaults() {
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

std::int32_t State::answerForCard() {
  if (!chosenResult) return kOk;
  const std::int32_t result = *chosenResult;
  if (!chosenEvery) chosenResult.reset();
  return result;
}

void State::breakOff() {
  ++breakOffs;
  wake.notify_all();
}

void State::deviceBreakOff() {
  if (toMiss > 0) {
    --toMiss;
    return;
  }
  breakOff();
}

std::optional<std::int32_t> State::takeScripted(Entry entry) {
  auto& queue = scripts[entry];
  if (queue.empty()) return std::nullopt;
  const std::int32_t result = queue.front();
  queue.pop_front();
  return result;
}

std::int32_t State::awaitCard(std::unique_lock<std::mutex>& lock, Entry entry, std::int32_t selection,
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

// --- what the front panel sees and changes ---

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
  view.lastCalls = g_state.log.newestFirst(lastCalls);
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
