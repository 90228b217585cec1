#include "cards/Compose.h"

#include "cards/Buffers.h"
#include "cards/Selections.h"
#include "ui/Convert.h"

namespace cards {

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

std::vector<int> composedTracks(int selection) { return carriedTracks(selection); }

std::optional<std::string> fillCardBuffers(int selection, std::int32_t n,
                                           const std::array<TrackFields, 3>& fields,
                                           device::TrackBuffer& bufferA,
                                           device::TrackBuffer& bufferB) {
  const auto refusal = fillBuffersFromText(
      selection, [&](int track) { return composeTrack(fields[static_cast<std::size_t>(track - 1)], n); },
      bufferA, bufferB);
  if (!refusal) return std::nullopt;
  const std::string name = std::to_string(refusal->track);
  if (refusal->noDeviceForm) return name + "轨数据含有无法转换为设备字符的字符，未写卡！";
  return name + "轨数据超过299字节（共" + std::to_string(refusal->bytes) + "字节），未写卡！";
}

}  // namespace cards
