#pragma once
// One 300-byte data buffer as the library reads and fills it: zero-terminated
// text of at most 299 bytes. A closed library may write past the 300 bytes
// it is told of; room after them (zeroed, never read) keeps that from
// reaching anything of the program.
#include <array>
#include <string>
#include <string_view>

namespace device {

class TrackBuffer {
 public:
  static constexpr std::size_t kSize = 300;
  static constexpr std::size_t kMaxText = kSize - 1;
  // Room after the 300 bytes for a library that overruns them.
  static constexpr std::size_t kSlack = 4096;

  TrackBuffer() { clear(); }
  void clear() { bytes_.fill(0); }

  // Bytes up to the first zero; never past byte 300, even when the library
  // left no zero there.
  std::string text() const;

  // Clears the buffer and copies the bytes with their terminating zero.
  // Refuses (returns false, buffer left cleared) more than 299 bytes.
  bool assign(std::string_view bytes);

  char* data() { return bytes_.data(); }
  const char* data() const { return bytes_.data(); }

 private:
  std::array<char, kSize + kSlack> bytes_;
};

}  // namespace device
