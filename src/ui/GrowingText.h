#pragma once
// The text of a log, which grows at its end through a whole shift. A string
// doubles by copying everything it holds: at a few tens of megabytes that is
// a pause of the window long enough to notice. Here address space is reserved
// once and memory committed as the text grows, so the text never moves while
// it fits its reservation (a gigabyte in a 64-bit program).
#include <cstddef>
#include <string>
#include <string_view>

namespace ui {

// Address space reserved at once and backed with memory piece by piece: the
// system's calls for it differ (mmap here, VirtualAlloc in ui/win32).
class AddressSpace {
 public:
  virtual ~AddressSpace() = default;
  // bytes of address space, not yet usable; nullptr when there is none.
  virtual void* reserve(std::size_t bytes) = 0;
  // Makes [at, at + bytes) of a reservation usable; false when out of memory.
  virtual bool commit(void* at, std::size_t bytes) = 0;
  virtual void release(void* base, std::size_t bytes) = 0;
};

#ifndef _WIN32
// mmap's: reserved without access, committed by mprotect.
AddressSpace& mappedAddressSpace();
#endif

class GrowingText {
 public:
  static constexpr std::size_t npos = std::u16string::npos;
  static constexpr std::size_t kDefaultReserve = sizeof(void*) == 8 ? std::size_t{1} << 30 : std::size_t{64} << 20;

  explicit GrowingText(AddressSpace& space, std::size_t reserveBytes = kDefaultReserve)
      : space_(space), firstReserve_(reserveBytes) {}
  ~GrowingText() { release(); }
  GrowingText(const GrowingText&) = delete;
  GrowingText& operator=(const GrowingText&) = delete;

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const char16_t* data() const { return base_ ? base_ : u""; }
  char16_t operator[](std::size_t i) const { return base_[i]; }
  std::u16string str() const { return std::u16string(data(), size_); }
  std::u16string_view view(std::size_t pos, std::size_t count) const { return {data() + pos, count}; }

  void assign(std::u16string_view text) {
    size_ = 0;
    append(text);
  }
  void append(std::u16string_view s);
  GrowingText& operator+=(std::u16string_view s) {
    append(s);
    return *this;
  }
  // Replaces [pos, pos + count) by s; what follows moves along.
  void replace(std::size_t pos, std::size_t count, std::u16string_view s);
  std::size_t find(char16_t c, std::size_t from = 0) const;
  // The last c at or before pos.
  std::size_t rfind(char16_t c, std::size_t pos = npos) const;

 private:
  void room(std::size_t n);
  void release();

  AddressSpace& space_;
  std::size_t firstReserve_;
  char16_t* base_ = nullptr;
  std::size_t size_ = 0;
  std::size_t reserved_ = 0;
  std::size_t committed_ = 0;
};

}  // namespace ui
