#pragma once
// The log entries and questions of the batch pages: one entry per card,
// beginning with a line break so that it shows as an empty line and then
// its text.
#include <cstdint>
#include <string>

#include "device/TrackBuffer.h"

namespace cards {

// "\r\n第<n>次<action>成功！" followed by a heading line and a data line for
// each track of the selection, in track order, each data line the text of
// the buffer that carries the track. Selection 6 shows tracks 1 and 2 and
// then `selection6Note` (nothing when it is empty).
std::string successEntry(std::int32_t n, const char* action, int selection,
                         const device::TrackBuffer& bufferA, const device::TrackBuffer& bufferB,
                         const char* selection6Note);

// An entry's first line: the leading line break and the "第<n>次..." line,
// without the track lines.
std::string headline(const std::string& entry);

// "\r\n第<n>次<action>失败！错误代码<result>".
std::string failureEntry(std::int32_t n, const char* action, std::int32_t result);

// --- continuous write ---

// The question after card n failed: "第<n>次写卡失败\r\n  是否继续".
std::string writeFailureQuestion(std::int32_t n);

// Card n was not written because its data cannot go to the card unchanged,
// and the batch ends: the reason, then "连续写卡已停止，请修改数据后重新开始。".
std::string refusedCardEntry(std::int32_t n, const std::string& reason);

// --- text file ---

// The entry of a card written from a file under a selection of 1 to 5.
std::string textCardEntry(std::int32_t n, int selection, const device::TrackBuffer& track2,
                          const device::TrackBuffer& track13);

// "\r\n第<n>次写卡数据缺失！": the pair of card n has no second line.
std::string missingDataEntry(std::int32_t n);

// The question after card n failed with result r:
// "第<n>次写卡失败！\r\n  错误代码<r>\r\n   是否继续".
std::string textFailureQuestion(std::int32_t n, std::int32_t result);

}  // namespace cards
