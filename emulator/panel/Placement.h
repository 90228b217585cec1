#pragma once
// Where the front panel opens, and in which form: the whole panel beside the
// program's window where the screen has room for it, else the compact
// panel (swipe, the waiting call, the counts; it unfolds on demand) beside,
// above, below or left of the program, wherever it covers none of it.
namespace emu {

struct Box {
  int left, top, right, bottom;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
  bool operator==(const Box&) const = default;
};

struct PanelPlace {
  int left, top;
  bool compact;
  bool operator==(const PanelPlace&) const = default;
};

// screen: the work area; program: the program's window; full and compact:
// the panel's window in each form (only their sizes count). `gap` lies
// between the panel and the program.
PanelPlace placePanel(const Box& screen, const Box& program, const Box& full, const Box& compact, int gap);

// Whether two windows share any pixel.
inline bool overlap(const Box& a, const Box& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

}  // namespace emu
