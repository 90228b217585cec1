#include "cards/Buffers.h"

#include "cards/Selections.h"
#include "device/DeviceText.h"

namespace cards {

std::optional<Refusal> fillBuffers(
    int selection, const std::function<std::optional<std::string>(int track)>& bytesOf,
    device::TrackBuffer& bufferA, device::TrackBuffer& bufferB) {
  bufferA.clear();
  bufferB.clear();
  for (int track : carriedTracks(selection)) {
    device::TrackBuffer& target = bufferOf(selection, track) == Buffer::A ? bufferA : bufferB;
    const std::optional<std::string> bytes = bytesOf(track);
    std::optional<Refusal> refusal;
    if (!bytes) refusal = Refusal{track, true, 0};
    else if (!target.assign(*bytes)) refusal = Refusal{track, false, bytes->size()};
    if (refusal) {
      bufferA.clear();
      bufferB.clear();
      return refusal;
    }
  }
  return std::nullopt;
}

std::optional<Refusal> fillBuffersFromText(int selection,
                                           const std::function<std::string(int track)>& textOf,
                                           device::TrackBuffer& bufferA,
                                           device::TrackBuffer& bufferB) {
  return fillBuffers(
      selection, [&](int track) { return device::toDeviceBytes(textOf(track)); }, bufferA,
      bufferB);
}

const device::TrackBuffer* bufferFor(int selection, int track, const device::TrackBuffer& bufferA,
                                     const device::TrackBuffer& bufferB) {
  switch (bufferOf(selection, track)) {
    case Buffer::A: return &bufferA;
    case Buffer::B: return &bufferB;
    case Buffer::None: break;
  }
  return nullptr;
}

std::string upperCaseAscii(std::string_view utf8) {
  std::string out(utf8);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

std::string writeRefusalMessage(const Refusal& refusal) {
  const std::string n = std::to_string(refusal.track);
  if (refusal.noDeviceForm) return n + "轨数据含有无法转换为设备字符的字符，未写卡！";
  return n + "轨数据超过299字节，未写卡！";
}

std::optional<std::string> fillWriteBuffers(int selection,
                                            const std::function<std::string(int track)>& textOf,
                                            bool upperCaseTrack1, device::TrackBuffer& bufferA,
                                            device::TrackBuffer& bufferB) {
  const auto refusal = fillBuffersFromText(
      selection,
      [&](int track) {
        std::string text = textOf(track);
        return track == 1 && upperCaseTrack1 ? upperCaseAscii(text) : text;
      },
      bufferA, bufferB);
  if (!refusal) return std::nullopt;
  return writeRefusalMessage(*refusal);
}

std::array<std::optional<std::string>, 3> readTexts(int selection,
                                                    const device::TrackBuffer& bufferA,
                                                    const device::TrackBuffer& bufferB) {
  std::array<std::optional<std::string>, 3> out;
  for (int track : carriedTracks(selection))
    out[static_cast<std::size_t>(track - 1)] =
        device::fromDeviceBytes(bufferFor(selection, track, bufferA, bufferB)->text());
  if (selection == 6) out[2] = std::string();
  return out;
}

}  // namespace cards
