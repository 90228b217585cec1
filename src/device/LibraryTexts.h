#pragma once
// The texts that every caller of the library shows when it cannot use it.

namespace device {

inline constexpr const char* kLibraryLoadFailed = "装载40x动态库失败！";
inline constexpr const char* kEntryPointMissing = "装载40x动态库函数失败!";
inline constexpr const char* kLibraryNotLoaded = "未装载40x动态库!";

}  // namespace device
