#pragma once
// A card's tracks in the library's two data buffers, one rule for every page
// and worker: each track that the selection carries goes into its buffer, in
// track order, and data that cannot go to the card unchanged is never cut or
// replaced.
#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "device/TrackBuffer.h"

namespace cards {

// Why a track's data was refused.
struct Refusal {
  int track = 0;
  bool noDeviceForm = false;  // a character has no device byte; else too long
  std::size_t bytes = 0;      // the data's length in device bytes, when too long
};

// Clears both buffers and puts bytesOf(track) into the buffer of each
// carried track, in track order. bytesOf gives the device bytes, or nothing
// when the text has no device form. On the first refusal both buffers are
// left empty and the refusal is returned.
std::optional<Refusal> fillBuffers(
    int selection, const std::function<std::optional<std::string>(int track)>& bytesOf,
    device::TrackBuffer& bufferA, device::TrackBuffer& bufferB);

// fillBuffers with UI text (UTF-8), converted to device bytes.
std::optional<Refusal> fillBuffersFromText(int selection,
                                           const std::function<std::string(int track)>& textOf,
                                           device::TrackBuffer& bufferA,
                                           device::TrackBuffer& bufferB);

// The buffer's bytes that carry a track under the selection; nullptr when
// no buffer carries it.
const device::TrackBuffer* bufferFor(int selection, int track, const device::TrackBuffer& bufferA,
                                     const device::TrackBuffer& bufferB);

// --- the single-card pages ---

// ASCII a to z become A to Z; every other character, Chinese included, stays.
// Done on UTF-8 text: on device bytes it would hit the trail bytes of
// double-byte characters.
std::string upperCaseAscii(std::string_view utf8);

// The write page's refusal of a track, "N轨数据超过299字节，未写卡！" or
// "N轨数据含有无法转换为设备字符的字符，未写卡！".
std::string writeRefusalMessage(const Refusal& refusal);

// Fills the buffers for a write of the selection; the upper-case step applies
// to the track 1 text when upperCaseTrack1 is set. The refusal message of the
// first text that cannot go to the device, or nothing when all fit.
std::optional<std::string> fillWriteBuffers(int selection,
                                            const std::function<std::string(int track)>& textOf,
                                            bool upperCaseTrack1, device::TrackBuffer& bufferA,
                                            device::TrackBuffer& bufferB);

// Texts (UTF-8) of a successful read per track (index 0 = track 1); a track
// without a value is not shown. Under selection 6 track 3 is the empty text,
// since no buffer brought it.
std::array<std::optional<std::string>, 3> readTexts(int selection,
                                                    const device::TrackBuffer& bufferA,
                                                    const device::TrackBuffer& bufferB);

}  // namespace cards
