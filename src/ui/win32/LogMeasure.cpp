#include "ui/win32/LogMeasure.h"

#include <algorithm>
#include <climits>

namespace ui::win32 {

AddressSpace& virtualAddressSpace() {
  class Virtual : public AddressSpace {
   public:
    void* reserve(std::size_t bytes) override { return VirtualAlloc(nullptr, bytes, MEM_RESERVE, PAGE_NOACCESS); }
    bool commit(void* at, std::size_t bytes) override {
      return VirtualAlloc(at, bytes, MEM_COMMIT, PAGE_READWRITE) != nullptr;
    }
    void release(void* base, std::size_t) override { VirtualFree(base, 0, MEM_RELEASE); }
  };
  static Virtual space;
  return space;
}

// A device context of the screen's kind: what it measures is what painting shows.
GdiMeasure::GdiMeasure() : dc_(CreateCompatibleDC(nullptr)) {}

GdiMeasure::~GdiMeasure() {
  if (!dc_) return;
  if (original_) SelectObject(dc_, original_);
  DeleteDC(dc_);
}

void GdiMeasure::setFont(HFONT font) {
  if (!dc_) return;
  HGDIOBJ before = SelectObject(dc_, font ? static_cast<HGDIOBJ>(font) : GetStockObject(SYSTEM_FONT));
  if (!original_) original_ = before;
  TEXTMETRICW tm{};
  GetTextMetricsW(dc_, &tm);
  lineHeight_ = std::max(1, static_cast<int>(tm.tmHeight));
  aveCharWidth_ = std::max(1, static_cast<int>(tm.tmAveCharWidth));
}

int GdiMeasure::width(std::u16string_view s) const {
  SIZE size{};
  if (s.empty() || !GetTextExtentPoint32W(dc_, wide(s), count(s), &size)) return 0;
  return size.cx;
}

std::size_t GdiMeasure::fit(std::u16string_view s, int avail) const {
  int fit = 0;
  SIZE size{};
  // Unmeasurable text is left as one row.
  if (!GetTextExtentExPointW(dc_, wide(s), count(s), avail, &fit, nullptr, &size)) return s.size();
  return static_cast<std::size_t>(std::max(0, fit));
}

void GdiMeasure::extents(std::u16string_view s, std::vector<int>& right) const {
  right.assign(static_cast<std::size_t>(count(s)), 0);
  int fit = 0;
  SIZE size{};
  if (!s.empty()) GetTextExtentExPointW(dc_, wide(s), count(s), INT_MAX / 2, &fit, right.data(), &size);
}

}  // namespace ui::win32
