#include "cards/Selections.h"

namespace cards {

std::vector<int> carriedTracks(int code) {
  std::vector<int> out;
  for (int track = 1; track <= 3; ++track)
    if (bufferOf(code, track) != Buffer::None) out.push_back(track);
  return out;
}

}  // namespace cards
