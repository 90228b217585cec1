#pragma once
// What the log's window needs of the system besides its window: widths in
// its font, and address space for its growing text.
#include <windows.h>

#include <algorithm>
#include <climits>
#include <string_view>
#include <vector>

#include "ui/GrowingText.h"
#include "ui/LogText.h"

namespace ui::win32 {

// Windows' wide characters are the UTF-16 units the log holds.
static_assert(sizeof(wchar_t) == sizeof(char16_t));
inline const wchar_t* wide(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }
inline const wchar_t* wide(std::u16string_view s) { return wide(s.data()); }
inline int count(std::u16string_view s) {
  return static_cast<int>(std::min<std::size_t>(s.size(), INT_MAX));
}

// VirtualAlloc's address space, for the log's growing text.
AddressSpace& virtualAddressSpace();

// Widths in the log's font, measured on a device context of its own.
class GdiMeasure : public LogText::Measure {
 public:
  GdiMeasure();
  ~GdiMeasure() override;
  GdiMeasure(const GdiMeasure&) = delete;
  GdiMeasure& operator=(const GdiMeasure&) = delete;

  void setFont(HFONT font);
  int lineHeight() const { return lineHeight_; }

  int width(std::u16string_view s) const override;
  std::size_t fit(std::u16string_view s, int avail) const override;
  void extents(std::u16string_view s, std::vector<int>& right) const override;
  int averageWidth() const override { return aveCharWidth_; }

 private:
  HDC dc_;
  HGDIOBJ original_ = nullptr;
  int lineHeight_ = 13;
  int aveCharWidth_ = 6;
};

}  // namespace ui::win32
