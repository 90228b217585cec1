#pragma once
// The track selection codes 1 to 6, in one table: which tracks a code
// covers, which of the library's two buffers carries which track, and how
// many lines of a text file make one card. Every page and worker decodes a
// selection through this table and nowhere else.
#include <array>
#include <cstddef>
#include <vector>

namespace cards {

struct Selection {
  int code = 0;                   // 1 to 6; 0 for none or an unknown code
  std::array<bool, 3> covers{};   // tracks offered and enabled (index 0 = track 1)
  int bufferA = 0;                // track in buffer A (track 2), or 0
  int bufferB = 0;                // track in buffer B (track 1 or 3), or 0
  int fileLines = 0;              // lines of a text file per card; 0: not from a file
};

// clang-format off
inline constexpr Selection kSelections[] = {
  // code  covers                 A  B  file lines
  {1,     {true,  false, false}, 0, 1, 1},
  {2,     {false, true,  false}, 2, 0, 1},
  {3,     {false, false, true},  0, 3, 1},
  {4,     {true,  true,  false}, 2, 1, 2},
  {5,     {false, true,  true},  2, 3, 2},
  // Two buffers only: track 3 has none, so tracks 1 and 2 travel as under 4.
  {6,     {true,  true,  true},  2, 1, 0},
};
// clang-format on

// The row of a code; an empty row (code 0) for 0 or an unknown code.
constexpr Selection selection(int code) {
  for (const Selection& s : kSelections)
    if (s.code == code) return s;
  return Selection{};
}

// Tracks a code covers (index 0 = track 1).
constexpr std::array<bool, 3> tracksOf(int code) { return selection(code).covers; }

enum class Buffer { None, A, B };

// The buffer that carries a track (1 to 3) under a code.
constexpr Buffer bufferOf(int code, int track) {
  const Selection s = selection(code);
  if (track != 0 && s.bufferA == track) return Buffer::A;
  if (track != 0 && s.bufferB == track) return Buffer::B;
  return Buffer::None;
}

// The tracks that travel in the buffers, in track order: the order in which
// a card's data is composed, checked and shown, and in which a text file's
// lines of one card are laid out.
std::vector<int> carriedTracks(int code);

// Lines of a text file per card: 1 or 2; 0 for a code that is not written
// from a file (6, unknown).
constexpr int linesPerCard(int code) { return selection(code).fileLines; }

// Selection 6 ("1,2,3轨") has only the two buffers of tracks 1 and 2, so the
// operator is told that track 3 was left out.
inline constexpr const char* kSelection6ReadNote =
    "1,2,3轨：动态库只有两个数据缓冲区，第3轨数据无法读出，只显示了1、2轨数据。";
inline constexpr const char* kSelection6WriteNote =
    "1,2,3轨：动态库只有两个数据缓冲区，第3轨数据未写入，只写入了1、2轨数据。";

}  // namespace cards
