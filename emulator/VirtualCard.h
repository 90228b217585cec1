#pragma once
// The emulated card: three tracks of bytes, the encoder's character rules and
// which data buffer carries which track for a selection code.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace emu {

// Bytes of each of the two data buffers a call is given.
constexpr std::size_t kBufferSize = 300;

enum class Buffer { A, B };

struct Route {
  int track;      // 1 to 3
  Buffer buffer;  // where its data comes from or goes to
};

// Tracks served by a selection code (1 to 6); empty for any other code.
// Selection 6 has buffers for tracks 1 and 2 only: track 3 is left alone.
std::vector<Route> routesFor(std::int32_t selection);

// Whether the encoder takes these bytes for the track: track 1 the characters
// space to underscore, at most 79; tracks 2 and 3 '0'-'9' and ":;<=>?", at
// most 40 and 107. An empty text is allowed (it erases the track).
bool encodable(int track, std::string_view data);

class VirtualCard {
 public:
  VirtualCard() { loadSample(); }

  // Demonstration data on all three tracks, valid for the encoder.
  void loadSample();

  const std::string& track(int number) const { return tracks_[index(number)]; }
  void setTrack(int number, std::string data) { tracks_[index(number)] = std::move(data); }

 private:
  static std::size_t index(int number) { return static_cast<std::size_t>(number - 1); }
  std::array<std::string, 3> tracks_;
};

inline bool validTrackNumber(std::int32_t number) { return number >= 1 && number <= 3; }

}  // namespace emu
