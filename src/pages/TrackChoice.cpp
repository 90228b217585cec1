#include "pages/TrackChoice.h"

#include "device/Connection.h"
#include "ui/Application.h"

namespace pages {

HeldEndcard endcardThrough(const device::LibrarySlot& handle) {
  HeldEndcard endcard{handle.get(), nullptr};
  if (!endcard.library) {
    ui::showMessage(kLibraryNotLoaded);
    return endcard;
  }
  endcard.call = endcard.library->function<device::EndcardFn>("endcard");
  if (!endcard.call) ui::showMessage(kEntryPointMissing);
  return endcard;
}

void breakOffThrough(const device::LibrarySlot& handle) {
  if (const device::SharedLibrary library = handle.get())
    if (const auto endcard = library->function<device::EndcardFn>("endcard"))
      endcard(device::CommandMode);
}

StartupChoice startupChoice(int deviceType) {
  StartupChoice c;
  c.known = true;
  switch (deviceType) {
    case 2: c.enabled = {false, true, false, false, false, false}; c.defaultSelection = 2; break;
    case 3: c.enabled = {false, false, true, false, false, false}; c.defaultSelection = 3; break;
    case 4: c.enabled = {true, true, false, true, false, false}; c.defaultSelection = 1; break;
    case 5: c.enabled = {false, true, true, false, true, false}; c.defaultSelection = 2; break;
    case 6: c.enabled = {true, true, true, true, true, true}; c.defaultSelection = 1; break;
    default: return StartupChoice{};
  }
  return c;
}

void applyStartupSelection(const TrackButtons& buttons, int deviceType) {
  const StartupChoice c = startupChoice(deviceType);
  if (!c.known) return;
  for (std::size_t i = 0; i < buttons.size(); ++i) buttons[i]->setEnabled(c.enabled[i]);
  buttons[static_cast<std::size_t>(c.defaultSelection - 1)]->setChecked(true);
}

}  // namespace pages
