#pragma once
// The front panel's window class and control ids, for the tests that drive it
// as a person does.
namespace emu::panel_ids {

inline constexpr const wchar_t* kClassName = L"EmulatedReaderPanel";
inline constexpr const wchar_t* kTitle = L"虚拟读卡器";

enum : int {
  kTrackEdit = 100,  // + track - 1
  kTrackMark = 103,  // + track - 1: "符合编码规则" or not
  kProblem = 106,    // the settings file's problem, or where the settings come from
  kManual = 110,
  kSwipe,
  kDelay,
  kResult,
  kEvery,
  kModel,
  kCalls,
  kWaiting,
  kCounts,
  kFold,  // folds the panel to its swipe part and unfolds it
};

}  // namespace emu::panel_ids
