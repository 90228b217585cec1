#include "ui/GrowingText.h"

#include <algorithm>
#include <cstring>
#include <new>

#ifndef _WIN32
#include <sys/mman.h>
#endif

namespace ui {

namespace {

// A multiple of every page size in use, and of Windows' allocation granularity.
std::size_t pageRound(std::size_t bytes) {
  constexpr std::size_t kStep = std::size_t{1} << 16;
  return (bytes + kStep - 1) / kStep * kStep;
}

}  // namespace

#ifndef _WIN32
AddressSpace& mappedAddressSpace() {
  class Mapped : public AddressSpace {
   public:
    void* reserve(std::size_t bytes) override {
      void* p = mmap(nullptr, bytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
      return p == MAP_FAILED ? nullptr : p;
    }
    bool commit(void* at, std::size_t bytes) override { return mprotect(at, bytes, PROT_READ | PROT_WRITE) == 0; }
    void release(void* base, std::size_t bytes) override { munmap(base, bytes); }
  };
  static Mapped space;
  return space;
}
#endif

void GrowingText::append(std::u16string_view s) {
  room(size_ + s.size());
  if (!s.empty()) std::memcpy(base_ + size_, s.data(), s.size() * sizeof(char16_t));
  size_ += s.size();
}

void GrowingText::replace(std::size_t pos, std::size_t count, std::u16string_view s) {
  const std::size_t tail = size_ - pos - count;
  room(size_ - count + s.size());
  if (tail) std::memmove(base_ + pos + s.size(), base_ + pos + count, tail * sizeof(char16_t));
  if (!s.empty()) std::memcpy(base_ + pos, s.data(), s.size() * sizeof(char16_t));
  size_ = size_ - count + s.size();
}

std::size_t GrowingText::find(char16_t c, std::size_t from) const {
  if (from >= size_) return npos;
  const char16_t* at = std::find(base_ + from, base_ + size_, c);
  return at == base_ + size_ ? npos : static_cast<std::size_t>(at - base_);
}

std::size_t GrowingText::rfind(char16_t c, std::size_t pos) const {
  if (size_ == 0) return npos;
  for (std::size_t i = std::min(pos, size_ - 1) + 1; i-- > 0;)
    if (base_[i] == c) return i;
  return npos;
}

// Commits memory for n characters; past the reservation, moves once to a
// reservation twice as large.
void GrowingText::room(std::size_t n) {
  const std::size_t bytes = n * sizeof(char16_t);
  if (bytes <= committed_) return;
  if (bytes > reserved_) {
    const std::size_t reserve = pageRound(std::max({bytes * 2, reserved_ * 2, firstReserve_}));
    auto* fresh = static_cast<char16_t*>(space_.reserve(reserve));
    if (!fresh) throw std::bad_alloc();
    const std::size_t keep = pageRound(std::max(bytes, size_ * sizeof(char16_t)));
    if (!space_.commit(fresh, keep)) {
      space_.release(fresh, reserve);
      throw std::bad_alloc();
    }
    if (size_) std::memcpy(fresh, base_, size_ * sizeof(char16_t));
    release();
    base_ = fresh;
    reserved_ = reserve;
    committed_ = keep;
    return;
  }
  // Committed a megabyte or an eighth of the text at a time: few calls, little waste.
  const std::size_t want =
      std::min(reserved_, pageRound(std::max({bytes, committed_ + (std::size_t{1} << 20), committed_ / 8 * 9})));
  if (!space_.commit(reinterpret_cast<char*>(base_) + committed_, want - committed_)) throw std::bad_alloc();
  committed_ = want;
}

void GrowingText::release() {
  if (base_) space_.release(base_, reserved_);
  base_ = nullptr;
  reserved_ = committed_ = 0;
}

}  // namespace ui
