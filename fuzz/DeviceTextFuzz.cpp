// device::fromDeviceBytes and toDeviceBytes: any bytes come back as valid
// UTF-8 (each ill-formed part as one U+FFFD) that the device side accepts
// unless it holds a zero byte; valid UTF-8 without one survives the trip to
// the device and back; invalid UTF-8 and a zero byte are refused.
#include <cstddef>
#include <cstdint>
#include <string>

#include "Check.h"
#include "device/DeviceText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const bool valid = fuzz::referenceValidUtf8(bytes);
  // The device would cut the text at a zero byte.
  const bool zero = bytes.find('\0') != std::string::npos;

  const std::string shown = device::fromDeviceBytes(bytes);
  FUZZ_CHECK(fuzz::referenceValidUtf8(shown));
  FUZZ_CHECK(device::toDeviceBytes(shown).has_value() == !zero);
#ifndef _WIN32
  // Here the device's code page is UTF-8.
  FUZZ_CHECK(shown == fuzz::referenceSanitize(bytes));
  FUZZ_CHECK(valid == (shown == bytes));
#endif

  const auto deviceBytes = device::toDeviceBytes(bytes);
  if (!valid || zero) {
    FUZZ_CHECK(!deviceBytes.has_value());
  } else if (deviceBytes) {
    FUZZ_CHECK(device::fromDeviceBytes(*deviceBytes) == bytes);
  }
  return 0;
}
