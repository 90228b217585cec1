#include "pages/TrackChoice.h"

#include "device/Connection.h"
#include "device/DeviceText.h"
#include "ui/Application.h"

namespace pages {

HeldEndcard endcardThrough(const device::LibrarySlot& handle) {
  HeldEndcard endcard{handle.get(), nullptr};
  if (!endcard.library) {
    ui::showMessage(kLibraryNotLoaded);
    return endcard;
  }
  endcard.call = endcard.library->function<device::EndcardFn>("endcard");
  if (!endcard.call) ui::showMessage(kEntryPointMissing);
  return endcard;
}

void breakOffThrough(const device::LibrarySlot& handle) {
  if (const device::SharedLibrary library = handle.get())
    if (const auto endcard = library->function<device::EndcardFn>("endcard"))
      endcard(device::CommandMode);
}

StartupChoice startupChoice(int deviceType) {
  StartupChoice c;
  c.known = true;
  switch (deviceType) {
    case 2: c.enabled = {false, true, false, false, false, false}; c.defaultSelection = 2; break;
    case 3: c.enabled = {false, false, true, false, false, false}; c.defaultSelection = 3; break;
    case 4: c.enabled = {true, true, false, true, false, false}; c.defaultSelection = 1; break;
    case 5: c.enabled = {false, true, true, false, true, false}; c.defaultSelection = 2; break;
    case 6: c.enabled = {true, true, true, true, true, true}; c.defaultSelection = 1; break;
    default: return StartupChoice{};
  }
  return c;
}

void applyStartupSelection(const TrackButtons& buttons, int deviceType) {
  const StartupChoice c = startupChoice(deviceType);
  if (!c.known) return;
  for (std::size_t i = 0; i < buttons.size(); ++i) buttons[i]->setEnabled(c.enabled[i]);
  buttons[static_cast<std::size_t>(c.defaultSelection - 1)]->setChecked(true);
}

std::string upperCaseAscii(std::string_view utf8) {
  std::string out(utf8);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

std::optional<std::string> fillWriteBuffers(int selection,
                                            const std::function<std::string(int track)>& textOf,
                                            bool upperCaseTrack1, device::TrackBuffer& bufferA,
                                            device::TrackBuffer& bufferB) {
  bufferA.clear();
  bufferB.clear();
  const BufferTracks carried = bufferTracks(selection);
  // Track order: 1 before 2 before 3, so the first refusal names the lowest track.
  for (int track = 1; track <= 3; ++track) {
    device::TrackBuffer* target = carried.b == track ? &bufferB
                                  : carried.a == track ? &bufferA
                                                       : nullptr;
    if (!target) continue;
    std::string text = textOf(track);
    if (track == 1 && upperCaseTrack1) text = upperCaseAscii(text);
    const std::optional<std::string> bytes = device::toDeviceBytes(text);
    const std::string n = std::to_string(track);
    if (!bytes) {
      bufferA.clear();
      bufferB.clear();
      return n + "轨数据含有无法转换为设备字符的字符，未写卡！";
    }
    if (!target->assign(*bytes)) {
      bufferA.clear();
      bufferB.clear();
      return n + "轨数据超过299字节，未写卡！";
    }
  }
  return std::nullopt;
}

std::array<std::optional<std::string>, 3> readTexts(int selection,
                                                    const device::TrackBuffer& bufferA,
                                                    const device::TrackBuffer& bufferB) {
  std::array<std::optional<std::string>, 3> out;
  const BufferTracks carried = bufferTracks(selection);
  if (carried.b != 0) out[static_cast<std::size_t>(carried.b - 1)] = device::fromDeviceBytes(bufferB.text());
  if (carried.a != 0) out[static_cast<std::size_t>(carried.a - 1)] = device::fromDeviceBytes(bufferA.text());
  if (selection == 6) out[2] = std::string();
  return out;
}

}  // namespace pages
