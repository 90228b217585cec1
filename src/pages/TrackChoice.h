#pragma once
// What every card page shares: the common message texts and the track radio
// buttons' start-up selection by model.
#include <array>

#include "device/CardDevice.h"
#include "device/LibraryTexts.h"
#include "ui/Controls.h"

namespace pages {

// --- common texts ---
using device::kEntryPointMissing;
using device::kLibraryLoadFailed;
using device::kLibraryNotLoaded;
inline constexpr const char* kChooseTrack = "请选择轨道!";

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

}  // namespace pages
