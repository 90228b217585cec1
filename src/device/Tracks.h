#pragma once
// Track selection codes and the library's two data buffers: which tracks a
// code covers and which buffer carries which track. Also the texts that
// every caller of the library shows.
#include <array>

namespace device {

inline constexpr const char* kLibraryLoadFailed = "装载40x动态库失败！";
inline constexpr const char* kEntryPointMissing = "装载40x动态库函数失败!";
inline constexpr const char* kLibraryNotLoaded = "未装载40x动态库!";

// Selection 6 ("1,2,3轨") has only the two buffers of tracks 1 and 2, so the
// operator is told that track 3 was left out.
inline constexpr const char* kSelection6ReadNote =
    "1,2,3轨：动态库只有两个数据缓冲区，第3轨数据无法读出，只显示了1、2轨数据。";
inline constexpr const char* kSelection6WriteNote =
    "1,2,3轨：动态库只有两个数据缓冲区，第3轨数据未写入，只写入了1、2轨数据。";

// Tracks a selection code covers (index 0 = track 1); all false for 0 or an
// unknown code.
constexpr std::array<bool, 3> tracksOf(int selection) {
  switch (selection) {
    case 1: return {true, false, false};
    case 2: return {false, true, false};
    case 3: return {false, false, true};
    case 4: return {true, true, false};
    case 5: return {false, true, true};
    case 6: return {true, true, true};
    default: return {false, false, false};
  }
}

// Which track each buffer carries: buffer A track 2 or nothing (0), buffer B
// track 1, track 3 or nothing. Selection 6 is carried as tracks 1 and 2.
struct BufferTracks {
  int a = 0;
  int b = 0;
};
constexpr BufferTracks bufferTracks(int selection) {
  switch (selection) {
    case 1: return {0, 1};
    case 2: return {2, 0};
    case 3: return {0, 3};
    case 4: return {2, 1};
    case 5: return {2, 3};
    case 6: return {2, 1};
    default: return {};
  }
}

}  // namespace device
