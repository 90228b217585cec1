#pragma once
// What every card page shares: the common message texts, the track radio
// buttons' start-up selection by model, and which data buffer carries which
// track for a selection code.
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "device/CardDevice.h"
#include "device/SharedLibrary.h"
#include "device/TrackBuffer.h"
#include "device/Tracks.h"
#include "ui/Controls.h"

namespace pages {

// --- common texts ---
using device::kEntryPointMissing;
using device::kLibraryLoadFailed;
using device::kLibraryNotLoaded;
using device::kSelection6ReadNote;
using device::kSelection6WriteNote;
inline constexpr const char* kChooseTrack = "请选择轨道!";

// A stop button's endcard, looked up in the load that its page's worker took,
// with that load held while it is called. Empty, after the message, when no
// load is there or it has no endcard.
struct HeldEndcard {
  device::SharedLibrary library;
  device::EndcardFn call = nullptr;
  explicit operator bool() const { return call != nullptr; }
};
HeldEndcard endcardThrough(const device::LibrarySlot& handle);

// A page's break-off of its worker's pending call: endcard through the load
// that the worker took, silently nothing when there is none.
void breakOffThrough(const device::LibrarySlot& handle);

// --- track radio buttons ---

// RadioButton1 to RadioButton6 of a page ("1轨" ... "1,2,3轨").
using TrackButtons = std::array<ui::RadioButton*, 6>;

struct StartupChoice {
  bool known = false;                 // false: the form state stays as it is
  std::array<bool, 6> enabled{};      // per button, when known
  int defaultSelection = 0;           // 1 to 6, the button marked at start
};

// The choices a model offers: DeviceType 2 to 6; any other value leaves the
// buttons as the form made them.
StartupChoice startupChoice(int deviceType);

// Enables the model's buttons, disables the others and marks the default one,
// which runs its click handler as a click would. The caller has set its
// TrackSelection to 0 before.
void applyStartupSelection(const TrackButtons& buttons, int deviceType);

// --- buffers ---

using device::BufferTracks;
using device::bufferTracks;
using device::tracksOf;

// ASCII a to z become A to Z; every other character, Chinese included, stays.
// Done on UTF-8 text: on device bytes it would hit the trail bytes of
// double-byte characters.
std::string upperCaseAscii(std::string_view utf8);

// Fills the two zero-filled buffers for a write of the selection. textOf(track)
// is asked only for the tracks the selection sends, in track order; the
// upper-case step applies to the track 1 text when upperCaseTrack1 is set.
// Returns the refusal message for the first text that cannot go to the device
// (no device byte form, or more than 299 bytes), or nothing when all fit.
std::optional<std::string> fillWriteBuffers(int selection,
                                            const std::function<std::string(int track)>& textOf,
                                            bool upperCaseTrack1, device::TrackBuffer& bufferA,
                                            device::TrackBuffer& bufferB);

// Texts (UTF-8) of a successful read per track (index 0 = track 1); a track
// without a value is not shown. Under selection 6 track 3 is the empty text,
// since no buffer brought it.
std::array<std::optional<std::string>, 3> readTexts(int selection,
                                                    const device::TrackBuffer& bufferA,
                                                    const device::TrackBuffer& bufferB);

}  // namespace pages
