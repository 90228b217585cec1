#include "cards/TextLines.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>

#include "cards/Buffers.h"
#include "cards/Selections.h"
#include "device/FileBytes.h"

namespace cards {

TextLines::TextLines(std::string bytes) : bytes_(std::move(bytes)) {
  const std::size_t size = std::min(bytes_.find('\0'), bytes_.size());
  const char* const base = bytes_.data();
  const char* p = base;
  const char* const end = base + size;
  while (p < end) {
    // The text ends at a zero byte (the first one, or the string's own), so
    // the library's scan stops there.
    const char* q = std::strpbrk(p, "\r\n");
    if (!q) q = end;
    spans_.push_back({static_cast<std::size_t>(p - base), static_cast<std::size_t>(q - p)});
    if (q == end) break;
    q += (*q == '\r' && q + 1 < end && q[1] == '\n') ? 2 : 1;
    p = q;
  }
}

std::vector<std::string> TextLines::toStrings() const {
  std::vector<std::string> out;
  out.reserve(size());
  for (std::size_t i = 0; i < size(); ++i) out.emplace_back((*this)[i]);
  return out;
}

TextLines splitLines(std::string_view bytes) { return TextLines(std::string(bytes)); }

TextLines readTextLines(const std::string& path) {
  std::string bytes = device::readWholeFile(path);
  try {
    TextLines lines(std::move(bytes));
    if (!fitsLineNumbers(lines.size())) throw device::FileError(path, device::kFileTooManyLines);
    return lines;
  } catch (const std::bad_alloc&) {
    throw device::FileError(path, device::kFileTooLarge);
  } catch (const std::length_error&) {
    throw device::FileError(path, device::kFileTooLarge);
  }
}

std::optional<std::size_t> firstOverlongLine(const TextLines& lines, int selection,
                                             std::size_t limit) {
  const int perCard = linesPerCard(selection);
  if (perCard == 0) return std::nullopt;
  const std::size_t written = perCard == 2 ? lines.size() - lines.size() % 2 : lines.size();
  for (std::size_t i = 0; i < written; ++i)
    if (lines[i].size() > limit) return i;
  return std::nullopt;
}

std::string overlongLineMessage(std::size_t lineNumber) {
  return "文件第" + std::to_string(lineNumber) + "行超过299字节，无法写入磁卡，未写任何卡！";
}

std::optional<std::string> runRefusal(const TextLines& lines, int selection) {
  if (linesPerCard(selection) == 0) return std::string(kSelection6Refused);
  if (const auto overlong = firstOverlongLine(lines, selection))
    return overlongLineMessage(*overlong + 1);
  return std::nullopt;
}

}  // namespace cards

namespace cards {

bool fillCardFromLines(int selection, const TextLines& lines, std::size_t first,
                       device::TrackBuffer& bufferA, device::TrackBuffer& bufferB) {
  const std::vector<int> tracks = carriedTracks(selection);
  return !fillBuffers(
      selection,
      [&](int track) -> std::optional<std::string> {
        const auto k = static_cast<std::size_t>(
            std::find(tracks.begin(), tracks.end(), track) - tracks.begin());
        if (first + k >= lines.size()) return std::nullopt;
        return std::string(lines[first + k]);
      },
      bufferA, bufferB);
}

}  // namespace cards
