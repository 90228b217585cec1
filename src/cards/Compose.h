#pragma once
// The track data of one card of a batch: a fixed text followed by the card's
// running number, and the two data buffers filled from it.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/TrackBuffer.h"

namespace cards {

// One track's fields as the operator typed them (UTF-8).
struct TrackFields {
  std::string text;       // the fixed text, line breaks included
  std::string start;      // start number
  std::string increment;  // increment per card
};

// start + increment x (n - 1) for card n (from 1), wrapping around as
// 32-bit signed arithmetic on the device's side would.
std::int32_t runningNumber(std::int32_t start, std::int32_t increment, std::int32_t n);

// The data of card n: the fixed text alone when start and increment are
// both 0, else the fixed text followed by the running number in decimal.
// Throws ui::ConvertError when an edit holds no integer.
std::string composeTrack(const TrackFields& fields, std::int32_t n);

// Tracks a batch composes for a selection, in the order they are composed.
// Selection 6 has buffers for tracks 1 and 2 only.
std::vector<int> composedTracks(int selection);

// Fills both buffers for card n of the selection; fields[t - 1] belongs to
// track t and is read only for composed tracks. Data that cannot go to the
// card unchanged (no device form, more than 299 bytes) is never cut or
// replaced: the reason is returned and both buffers are left empty.
// Throws ui::ConvertError as composeTrack does.
std::optional<std::string> fillCardBuffers(int selection, std::int32_t n,
                                           const std::array<TrackFields, 3>& fields,
                                           device::TrackBuffer& bufferA,
                                           device::TrackBuffer& bufferB);

}  // namespace cards
