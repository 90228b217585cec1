#include "workers/Report.h"

#include "device/DeviceText.h"
#include "device/Tracks.h"

namespace workers {

namespace {
const char* const kHeadings[] = {"第一轨数据：", "第二轨数据：", "第三轨数据："};
}  // namespace

std::string successEntry(std::int32_t n, const char* action, int selection,
                         const device::TrackBuffer& bufferA, const device::TrackBuffer& bufferB,
                         const char* selection6Note) {
  std::string entry = "\r\n第" + std::to_string(n) + "次" + action + "成功！";
  const device::BufferTracks carried = device::bufferTracks(selection);
  for (int track = 1; track <= 3; ++track) {
    const device::TrackBuffer* buffer = carried.a == track   ? &bufferA
                                        : carried.b == track ? &bufferB
                                                             : nullptr;
    if (!buffer) continue;
    entry += "\r\n";
    entry += kHeadings[track - 1];
    entry += "\r\n";
    entry += device::fromDeviceBytes(buffer->text());
  }
  if (selection == 6) {
    entry += "\r\n";
    entry += selection6Note;
  }
  return entry;
}

std::string failureEntry(std::int32_t n, const char* action, std::int32_t result) {
  return "\r\n第" + std::to_string(n) + "次" + action + "失败！错误代码" + std::to_string(result);
}

}  // namespace workers
