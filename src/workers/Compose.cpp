#include "workers/Compose.h"

#include "device/DeviceText.h"
#include "device/Tracks.h"
#include "ui/Convert.h"

namespace workers {

std::int32_t runningNumber(std::int32_t start, std::int32_t increment, std::int32_t n) {
  // Unsigned arithmetic wraps without undefined behaviour; the conversion
  // back is modular since C++20.
  const std::uint32_t value = static_cast<std::uint32_t>(start) +
                              static_cast<std::uint32_t>(increment) *
                                  (static_cast<std::uint32_t>(n) - 1u);
  return static_cast<std::int32_t>(value);
}

std::string composeTrack(const TrackFields& fields, std::int32_t n) {
  const std::int32_t start = ui::strToInt(fields.start);
  const std::int32_t increment = ui::strToInt(fields.increment);
  if (start == 0 && increment == 0) return fields.text;
  return fields.text + std::to_string(runningNumber(start, increment, n));
}

std::vector<int> composedTracks(int selection) {
  switch (selection) {
    case 1: return {1};
    case 2: return {2};
    case 3: return {3};
    case 4: return {1, 2};
    case 5: return {2, 3};
    case 6: return {1, 2};
    default: return {};
  }
}

std::optional<std::string> fillCardBuffers(int selection, std::int32_t n,
                                           const std::array<TrackFields, 3>& fields,
                                           device::TrackBuffer& bufferA,
                                           device::TrackBuffer& bufferB) {
  bufferA.clear();
  bufferB.clear();
  const device::BufferTracks carried = device::bufferTracks(selection);
  for (int track : composedTracks(selection)) {
    const std::string data = composeTrack(fields[static_cast<std::size_t>(track - 1)], n);
    device::TrackBuffer& target = carried.a == track ? bufferA : bufferB;
    const std::string name = std::to_string(track);
    const std::optional<std::string> bytes = device::toDeviceBytes(data);
    std::optional<std::string> refusal;
    if (!bytes) {
      refusal = name + "轨数据含有无法转换为设备字符的字符，未写卡！";
    } else if (!target.assign(*bytes)) {
      refusal = name + "轨数据超过299字节（共" + std::to_string(bytes->size()) + "字节），未写卡！";
    }
    if (refusal) {
      bufferA.clear();
      bufferB.clear();
      return refusal;
    }
  }
  return std::nullopt;
}

}  // namespace workers
