#pragma once
// The six entry points of the card reader/writer library "40x.dll": 32-bit
// integer arguments and results, the Windows API calling convention.
#include <cstdint>

#if defined(_WIN32) && !defined(_WIN64)
#define CARD_API __stdcall
#else
#define CARD_API
#endif

namespace device {

inline constexpr const char* kLibraryFileName = "40x.dll";

using DetectFn = std::int32_t(CARD_API*)(std::int32_t port, std::int32_t timeoutMs);
using ResetFn = std::int32_t(CARD_API*)(std::int32_t port, std::int32_t mode);
using OpencommFn = std::int32_t(CARD_API*)(std::int32_t port, std::int32_t mode,
                                           std::int32_t timeoutMs);
using EndcardFn = std::int32_t(CARD_API*)(std::int32_t mode);
// Buffer A carries track 2, buffer B track 1 (when the selection has track 1)
// or track 3.
using ReadcardFn = std::int32_t(CARD_API*)(std::int32_t port, std::int32_t track, char* bufferA,
                                           char* bufferB, std::int32_t mode,
                                           std::int32_t timeoutMs);
using WritecardFn = ReadcardFn;

// Result of a call that endcard or reset broke off.
inline constexpr std::int32_t kBrokenOff = -100;

}  // namespace device
