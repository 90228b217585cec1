#include "pages/TrackChoice.h"

#include "cards/Selections.h"

namespace pages {

StartupChoice startupChoice(int deviceType) {
  // A model of type 2 to 6 has the tracks of the selection of the same code;
  // a button is offered when its tracks are all the model's, and the first
  // one offered is marked.
  const cards::Selection model = cards::selection(deviceType);
  if (deviceType < 2 || model.code == 0) return StartupChoice{};
  StartupChoice c;
  c.known = true;
  for (const cards::Selection& s : cards::kSelections) {
    bool offered = true;
    for (std::size_t t = 0; t < s.covers.size(); ++t)
      if (s.covers[t] && !model.covers[t]) offered = false;
    c.enabled[static_cast<std::size_t>(s.code - 1)] = offered;
    if (offered && c.defaultSelection == 0) c.defaultSelection = s.code;
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
