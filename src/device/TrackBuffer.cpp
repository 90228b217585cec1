#include "device/TrackBuffer.h"

#include <algorithm>
#include <cstring>

namespace device {

std::string TrackBuffer::text() const {
  // The library may fill all 300 bytes; never look beyond them for a zero.
  const auto last = bytes_.begin() + kSize;
  return std::string(bytes_.begin(), std::find(bytes_.begin(), last, '\0'));
}

bool TrackBuffer::assign(std::string_view bytes) {
  clear();
  if (bytes.size() > kMaxText) return false;
  std::memcpy(bytes_.data(), bytes.data(), bytes.size());
  return true;
}

}  // namespace device
