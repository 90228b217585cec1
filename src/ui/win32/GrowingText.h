#pragma once
// The text of a log, which grows at its end through a whole shift. A string
// doubles by copying everything it holds: at a few tens of megabytes that is
// a pause of the window long enough to notice. Here address space is reserved
// once and memory committed as the text grows, so the text never moves while
// it fits its reservation (a gigabyte in a 64-bit program).
#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>
#include <string>

namespace ui::win32 {

class GrowingText {
 public:
  static constexpr std::size_t npos = std::wstring::npos;
  static constexpr std::size_t kDefaultReserve = sizeof(void*) == 8 ? std::size_t{1} << 30 : std::size_t{64} << 20;

  explicit GrowingText(std::size_t reserveBytes = kDefaultReserve) : firstReserve_(reserveBytes) {}
  ~GrowingText() { release(); }
  GrowingText(const GrowingText&) = delete;
  GrowingText& operator=(const GrowingText&) = delete;

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const wchar_t* data() const { return base_ ? base_ : L""; }
  wchar_t operator[](std::size_t i) const { return base_[i]; }
  std::wstring str() const { return std::wstring(data(), size_); }

  void assign(const std::wstring& text) {
    size_ = 0;
    append(text.data(), text.size());
  }
  void append(const wchar_t* s, std::size_t n) {
    room(size_ + n);
    if (n) std::memcpy(base_ + size_, s, n * sizeof(wchar_t));
    size_ += n;
  }
  GrowingText& operator+=(const std::wstring& s) {
    append(s.data(), s.size());
    return *this;
  }
  // Replaces [pos, pos + count) by s; what follows moves along.
  void replace(std::size_t pos, std::size_t count, const std::wstring& s) {
    const std::size_t tail = size_ - pos - count;
    room(size_ - count + s.size());
    if (tail) std::memmove(base_ + pos + s.size(), base_ + pos + count, tail * sizeof(wchar_t));
    if (!s.empty()) std::memcpy(base_ + pos, s.data(), s.size() * sizeof(wchar_t));
    size_ = size_ - count + s.size();
  }
  std::size_t find(wchar_t c, std::size_t from = 0) const {
    if (from >= size_) return npos;
    const wchar_t* at = std::find(base_ + from, base_ + size_, c);
    return at == base_ + size_ ? npos : static_cast<std::size_t>(at - base_);
  }
  // The last c at or before pos.
  std::size_t rfind(wchar_t c, std::size_t pos = npos) const {
    if (size_ == 0) return npos;
    for (std::size_t i = std::min(pos, size_ - 1) + 1; i-- > 0;)
      if (base_[i] == c) return i;
    return npos;
  }

 private:
  static std::size_t pageRound(std::size_t bytes) {
    constexpr std::size_t kStep = std::size_t{1} << 16;
    return (bytes + kStep - 1) / kStep * kStep;
  }
  // Commits memory for n characters; past the reservation, moves once to a
  // reservation twice as large.
  void room(std::size_t n) {
    const std::size_t bytes = n * sizeof(wchar_t);
    if (bytes <= committed_) return;
    if (bytes > reserved_) {
      const std::size_t reserve = pageRound(std::max({bytes * 2, reserved_ * 2, firstReserve_}));
      auto* fresh = static_cast<wchar_t*>(VirtualAlloc(nullptr, reserve, MEM_RESERVE, PAGE_NOACCESS));
      if (!fresh) throw std::bad_alloc();
      const std::size_t keep = pageRound(std::max(bytes, size_ * sizeof(wchar_t)));
      if (!VirtualAlloc(fresh, keep, MEM_COMMIT, PAGE_READWRITE)) {
        VirtualFree(fresh, 0, MEM_RELEASE);
        throw std::bad_alloc();
      }
      if (size_) std::memcpy(fresh, base_, size_ * sizeof(wchar_t));
      release();
      base_ = fresh;
      reserved_ = reserve;
      committed_ = keep;
      return;
    }
    // Committed a megabyte or an eighth of the text at a time: few calls, little waste.
    const std::size_t want =
        std::min(reserved_, pageRound(std::max({bytes, committed_ + (std::size_t{1} << 20), committed_ / 8 * 9})));
    if (!VirtualAlloc(reinterpret_cast<char*>(base_) + committed_, want - committed_, MEM_COMMIT, PAGE_READWRITE))
      throw std::bad_alloc();
    committed_ = want;
  }
  void release() {
    if (base_) VirtualFree(base_, 0, MEM_RELEASE);
    base_ = nullptr;
    reserved_ = committed_ = 0;
  }

  std::size_t firstReserve_;
  wchar_t* base_ = nullptr;
  std::size_t size_ = 0;
  std::size_t reserved_ = 0;
  std::size_t committed_ = 0;
};

}  // namespace ui::win32
