// Where the emulated reader's front panel opens, over the screens operators
// have and the frames Windows draws: whole beside the program where it has
// room, else folded where it covers none of the program; always on the screen.
#include <gtest/gtest.h>

#include "panel/Placement.h"

namespace {

using emu::Box;

TEST(PanelPlacement, BesideAboveOrBelowTheProgramAndAlwaysOnTheScreen) {
  struct Screen {
    int width, height;
    bool whole;  // the whole panel beside the program
  };
  const Screen screens[] = {{1920, 1080, true}, {1600, 900, true},  {1366, 768, false}, {1280, 1024, false},
                            {1280, 800, false}, {1024, 768, false}, {800, 600, false}};
  for (const int frame : {3, 8}) {  // Windows 7 classic, Windows 10
    auto window = [frame](int left, int top, int w, int h) {
      return Box{left, top, left + w + 2 * frame, top + h + 23 + 2 * frame};
    };
    for (const Screen& s : screens) {
      SCOPED_TRACE(::testing::Message() << s.width << "x" << s.height << " frame " << frame);
      const Box screen{0, 0, s.width, s.height - 40};  // a taskbar below
      const Box program = window(226, 168, 680, 435), full = window(0, 0, 560, 568),
                folded = window(0, 0, 320, 96);
      const emu::PanelPlace p = emu::placePanel(screen, program, full, folded, 8);
      const Box& size = p.compact ? folded : full;
      const Box panel{p.left, p.top, p.left + size.width(), p.top + size.height()};
      EXPECT_EQ(p.compact, !s.whole);
      EXPECT_TRUE(panel.left >= 0 && panel.top >= 0 && panel.right <= screen.right &&
                  panel.bottom <= screen.bottom);
      EXPECT_FALSE(emu::overlap(panel, program));
      // Where it always stood on a wide screen: just right of the program.
      EXPECT_TRUE(!s.whole || p.left == program.right + 8);
    }
  }
  // No room anywhere: the top right corner.
  EXPECT_EQ(emu::placePanel({0, 0, 640, 480}, {0, 0, 640, 480}, {0, 0, 566, 597}, {0, 0, 326, 125}, 8),
            (emu::PanelPlace{640 - 326, 0, true}));
}

}  // namespace
