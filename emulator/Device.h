#pragma once
// What the emulated device does for each of its six entry points, on the
// one device state; the exported functions call these.
#include <cstdint>

namespace emu {

std::int32_t detect(std::int32_t port, std::int32_t timeoutMs);
std::int32_t opencomm(std::int32_t port, std::int32_t mode, std::int32_t timeoutMs);
std::int32_t reset(std::int32_t port, std::int32_t mode);
std::int32_t endcard(std::int32_t mode);
std::int32_t readcard(std::int32_t port, std::int32_t selection, char* bufferA, char* bufferB,
                      std::int32_t mode, std::int32_t timeoutMs);
std::int32_t writecard(std::int32_t port, std::int32_t selection, char* bufferA, char* bufferB,
                       std::int32_t mode, std::int32_t timeoutMs);

}  // namespace emu
