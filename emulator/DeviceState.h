#pragma once
// The emulated device's state: the virtual card, what the control interface
// and the front panel set, the call log and the calls waiting for a card.
// All of it sits behind one mutex; a waiting call sleeps on the condition
// variable until its card is swiped, its time-out passes or endcard/reset
// breaks it off.
#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>

#include "CallLog.h"
#include "VirtualCard.h"

namespace emu {

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

// The entry point of a name the control interface was given.
std::optional<Entry> entryNamed(const char* name);

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
  CallLog log;

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

  void enter();
  void leave() { --inside; }
  void restoreDefaults();
  // The device's answer for a card that came: the chosen failure, if any.
  std::int32_t answerForCard();
  void breakOff();
  // endcard and reset: a break-off to miss acts as one that came a moment
  // before the call it was meant for began.
  void deviceBreakOff();
  std::optional<std::int32_t> takeScripted(Entry entry);
  // Waits for the swipe; kOk when the card came, kTimedOut or kBrokenOff.
  std::int32_t awaitCard(std::unique_lock<std::mutex>& lock, Entry entry, std::int32_t selection,
                         std::int32_t timeoutMs);
};

// The one device of this copy of the library.
extern State g_state;

}  // namespace emu
