#pragma once
// One 300-byte data buffer as the library reads and fills it: zero-terminated
// text of at most 299 bytes.
#include <array>
#include <string>
#include <string_view>

namespace device {

class TrackBuffer {
 public:
  static constexpr std::size_t kSize = 300;
  static constexpr std::size_t kMaxText = kSize - 1;

  TrackBuffer() { clear(); }
  void clear() { bytes_.fill(0); }

  // Bytes up to the first zero; never past the last byte, even when the
  // library left no zero in the buffer.
  std::string text() const;

  // Clears the buffer and copies the bytes with their terminating zero.
  // Refuses (returns false, buffer left cleared) more than 299 bytes.
  bool assign(std::string_view bytes);

  char* data() { return bytes_.data(); }
  const char* data() const { return bytes_.data(); }

 private:
  std::array<char, kSize> bytes_;
};

}  // namespace device
