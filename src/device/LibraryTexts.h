#pragma once
// The texts that every caller of the library shows when it cannot use it.

namespace device {

inline constexpr const char* kLibraryLoadFailed = "装载40x动态库失败！";
inline constexpr const char* kEntryPointMissing = "装载40x动态库函数失败!";
inline constexpr const char* kLibraryNotLoaded = "未装载40x动态库!";
// A worker that its page gave up is still inside a library call that ignored
// every break-off: no other call goes in beside it.
inline constexpr const char* kLastCallPending =
    "读卡器还没有答复上一次运行的调用，暂时不能操作读卡器。请刷卡，或等它超时后再试！";

}  // namespace device
