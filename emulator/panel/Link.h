#pragma once
// What the front panel sees of the emulated reader and what it may change:
// only what a person at a real device could (a swipe, the card, a failure
// the device answers, the model it reports).
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "panel/Settings.h"

namespace emu {

struct PanelView {
  std::array<std::string, 3> tracks;  // the card's bytes
  bool manualSwipe = false;
  std::int32_t swipeDelayMs = 0;
  std::int32_t detectAnswer = 0;
  std::optional<std::int32_t> chosenResult;
  bool chosenEvery = false;
  enum class Waiting { None, Read, Write } waiting = Waiting::None;
  std::int32_t waitingSelection = 0;
  std::int32_t cardsRead = 0;     // reads that brought a card's data
  std::int32_t cardsWritten = 0;  // writes that changed the card
  std::size_t calls = 0;          // calls logged so far
  std::vector<std::string> lastCalls;  // newest first
};

PanelView panelView(std::size_t lastCalls);
// "刷卡": the call waiting for a card by hand gets it.
void panelSwipe();
void panelSetManualSwipe(bool on);
void panelSetSwipeDelay(std::int32_t ms);
void panelSetTrack(int track, const std::string& bytes);
void panelSetDetectAnswer(std::int32_t code);
// The device's answer when the next card (or every card) comes; nothing or
// 0: the card is read or written.
void panelChooseResult(std::optional<std::int32_t> result, bool every);
// The panel went: swipes come by themselves again and no failure is chosen;
// a call that waits by hand is left to its time-out or a break-off.
void panelClosed();
// The settings file's swipe, detection answer and tracks.
void applySettings(const PanelSettings& settings);

}  // namespace emu
