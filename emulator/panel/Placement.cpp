#include "panel/Placement.h"

#include <algorithm>

namespace emu {

PanelPlace placePanel(const Box& screen, const Box& program, const Box& full, const Box& compact, int gap) {
  const int top = screen.top + 20;
  const int right = program.right + gap;
  // Beside the program on its right, as the panel always stood.
  if (right + full.width() <= screen.right) return {right, top, false};
  if (right + compact.width() <= screen.right) return {right, top, true};
  // Else the first side of the program where the compact panel fits whole.
  const int left =
      std::clamp(program.left, screen.left, std::max(screen.left, screen.right - compact.width()));
  if (program.top - gap - compact.height() >= screen.top)
    return {left, program.top - gap - compact.height(), true};
  if (program.bottom + gap + compact.height() <= screen.bottom) return {left, program.bottom + gap, true};
  if (program.left - gap - compact.width() >= screen.left)
    return {program.left - gap - compact.width(), top, true};
  // No room anywhere: the top right corner, where it covers least of the form.
  return {std::max(screen.left, screen.right - compact.width()), screen.top, true};
}

}  // namespace emu
