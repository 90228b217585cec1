#pragma once
// The log entries that the workers append: one entry per card, beginning with
// a line break so that it shows as an empty line and then its text.
#include <cstdint>
#include <string>

#include "device/TrackBuffer.h"

namespace workers {

// "\r\n第<n>次<action>成功！" followed by a heading line and a data line for
// each track of the selection, in track order, each data line the text of
// the buffer that carries the track. Selection 6 shows tracks 1 and 2 and
// then `selection6Note`.
std::string successEntry(std::int32_t n, const char* action, int selection,
                         const device::TrackBuffer& bufferA, const device::TrackBuffer& bufferB,
                         const char* selection6Note);

// "\r\n第<n>次<action>失败！错误代码<result>".
std::string failureEntry(std::int32_t n, const char* action, std::int32_t result);

}  // namespace workers
