// The batch composer: running numbers in wrapping 32-bit arithmetic, the
// fixed text kept whole, and the two buffers of a card filled or refused.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "Check.h"
#include "device/TrackBuffer.h"
#include "ui/Convert.h"
#include "cards/Compose.h"

namespace {

// Exact arithmetic, then reduced into the signed 32-bit range.
std::int32_t referenceRunning(std::int32_t start, std::int32_t increment, std::int32_t n) {
  const __int128 exact = static_cast<__int128>(start) +
                         static_cast<__int128>(increment) * (static_cast<__int128>(n) - 1);
  const __int128 modulus = static_cast<__int128>(1) << 32;
  __int128 reduced = exact % modulus;
  if (reduced < 0) reduced += modulus;
  if (reduced >= modulus / 2) reduced -= modulus;
  return static_cast<std::int32_t>(reduced);
}

// A number field: mostly a decimal with blanks and sign, sometimes any bytes.
std::string pickNumberText(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0: return in.ConsumeRandomLengthString(16);
    case 1: return "0";
    default: {
      std::string text = std::to_string(in.ConsumeIntegral<std::int32_t>());
      if (in.ConsumeBool()) text = " " + text + "\t";
      return text;
    }
  }
}

std::string composeReference(const cards::TrackFields& fields, std::int32_t n, bool& converts) {
  const auto start = fuzz::referenceInt(fields.start);
  const auto increment = fuzz::referenceInt(fields.increment);
  converts = start && increment;
  if (!converts) return {};
  if (*start == 0 && *increment == 0) return fields.text;
  return fields.text + std::to_string(referenceRunning(*start, *increment, n));
}

std::string bufferBytes(const device::TrackBuffer& buffer) {
  return std::string(buffer.data(), device::TrackBuffer::kSize);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const std::int32_t start = in.ConsumeIntegral<std::int32_t>();
  const std::int32_t increment = in.ConsumeIntegral<std::int32_t>();
  const std::int32_t n = in.ConsumeIntegral<std::int32_t>();
  FUZZ_CHECK(cards::runningNumber(start, increment, n) == referenceRunning(start, increment, n));

  const int selection = in.ConsumeIntegralInRange(-1, 7);
  const std::int32_t card = in.ConsumeBool() ? in.ConsumeIntegralInRange(1, 1000) : n;
  std::array<cards::TrackFields, 3> fields;
  for (auto& f : fields) {
    f.start = pickNumberText(in);
    f.increment = pickNumberText(in);
    f.text = in.ConsumeRandomLengthString(320);
    // An edit control cannot hold a zero byte.
    std::erase(f.text, '\0');
  }

  // Each track alone.
  for (const auto& f : fields) {
    bool converts = false;
    const std::string expected = composeReference(f, card, converts);
    try {
      const std::string composed = cards::composeTrack(f, card);
      FUZZ_CHECK(converts);
      FUZZ_CHECK(composed == expected);
    } catch (const ui::ConvertError&) {
      FUZZ_CHECK(!converts);
    }
  }

  // The card: tracks in order; the first that fails decides.
  static const std::array<std::vector<int>, 8> kTracks = {
      std::vector<int>{}, {1}, {2}, {3}, {1, 2}, {2, 3}, {1, 2}, {}};
  const std::vector<int>& tracks =
      selection >= 0 && selection <= 7 ? kTracks[static_cast<std::size_t>(selection)] : kTracks[0];
  FUZZ_CHECK(cards::composedTracks(selection) == tracks);
  std::string expectedA;
  std::string expectedB;
  bool throws = false;
  std::optional<int> refusedTrack;
  for (const int track : tracks) {
    bool converts = false;
    const std::string composed =
        composeReference(fields[static_cast<std::size_t>(track - 1)], card, converts);
    if (!converts) {
      throws = true;
      break;
    }
    if (!fuzz::referenceValidUtf8(composed) || composed.size() > 299) {
      refusedTrack = track;
      break;
    }
    (track == 2 ? expectedA : expectedB) = composed;
  }

  device::TrackBuffer a;
  device::TrackBuffer b;
  std::memset(a.data(), 'x', device::TrackBuffer::kSize);
  std::memset(b.data(), 'y', device::TrackBuffer::kSize);
  try {
    const std::optional<std::string> refusal = cards::fillCardBuffers(selection, card, fields, a, b);
    FUZZ_CHECK(!throws);
    if (refusedTrack) {
      FUZZ_CHECK(refusal.has_value());
      FUZZ_CHECK(refusal->rfind(std::to_string(*refusedTrack), 0) == 0);
      expectedA.clear();
      expectedB.clear();
    } else {
      FUZZ_CHECK(!refusal.has_value());
    }
    // The data, its zero and nothing else: no stale bytes behind it.
    expectedA.resize(device::TrackBuffer::kSize, '\0');
    expectedB.resize(device::TrackBuffer::kSize, '\0');
    FUZZ_CHECK(bufferBytes(a) == expectedA);
    FUZZ_CHECK(bufferBytes(b) == expectedB);
  } catch (const ui::ConvertError&) {
    FUZZ_CHECK(throws);
  }
  return 0;
}
