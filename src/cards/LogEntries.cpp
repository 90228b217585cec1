#include "cards/LogEntries.h"

#include "cards/Buffers.h"
#include "cards/Selections.h"
#include "device/DeviceText.h"

namespace cards {

namespace {
const char* const kHeadings[] = {"第一轨数据：", "第二轨数据：", "第三轨数据："};
}  // namespace

std::string successEntry(std::int32_t n, const char* action, int selection,
                         const device::TrackBuffer& bufferA, const device::TrackBuffer& bufferB,
                         const char* selection6Note) {
  std::string entry = "\r\n第" + std::to_string(n) + "次" + action + "成功！";
  for (int track : carriedTracks(selection)) {
    entry += "\r\n";
    entry += kHeadings[track - 1];
    entry += "\r\n";
    entry += device::fromDeviceBytes(bufferFor(selection, track, bufferA, bufferB)->text());
  }
  if (selection == 6 && selection6Note && *selection6Note) {
    entry += "\r\n";
    entry += selection6Note;
  }
  return entry;
}

std::string headline(const std::string& entry) { return entry.substr(0, entry.find("\r\n", 2)); }

std::string failureEntry(std::int32_t n, const char* action, std::int32_t result) {
  return "\r\n第" + std::to_string(n) + "次" + action + "失败！错误代码" + std::to_string(result);
}

std::string writeFailureQuestion(std::int32_t n) {
  return "第" + std::to_string(n) + "次写卡失败\r\n  是否继续";
}

std::string refusedCardEntry(std::int32_t n, const std::string& reason) {
  return "\r\n第" + std::to_string(n) + "次写卡：" + reason + "\r\n" +
         "连续写卡已停止，请修改数据后重新开始。";
}

std::string textCardEntry(std::int32_t n, int selection, const device::TrackBuffer& track2,
                          const device::TrackBuffer& track13) {
  return successEntry(n, "写卡", selection, track2, track13, "");
}

std::string missingDataEntry(std::int32_t n) {
  return "\r\n第" + std::to_string(n) + "次写卡数据缺失！";
}

std::string textFailureQuestion(std::int32_t n, std::int32_t result) {
  return "第" + std::to_string(n) + "次写卡失败！\r\n  错误代码" + std::to_string(result) +
         "\r\n   是否继续";
}

}  // namespace cards
