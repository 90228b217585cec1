#include "cards/TextLines.h"

#include <algorithm>
#include <new>
#include <stdexcept>
#include <utility>

#include "cards/Buffers.h"
#include "cards/Selections.h"
#include "device/FileBytes.h"

namespace cards {

TextLines::TextLines(std::string bytes) : bytes_(std::move(bytes)) {
  // Every byte counts, a zero byte too: the whole file is checked before a
  // run, and nothing after a zero may vanish without a word.
  const char* const base = bytes_.data();
  const char* p = base;
  const char* const end = base + bytes_.size();
  while (p < end) {
    const char* q = std::find_if(p, end, [](char c) { return c == '\r' || c == '\n'; });
    spans_.push_back({static_cast<std::size_t>(p - base), static_cast<std::size_t>(q - p)});
    if (q == end) break;
    q += (*q == '\r' && q + 1 < end && q[1] == '\n') ? 2 : 1;
    p = q;
  }
}

std::optional<std::size_t> TextLines::lineOfByte(std::size_t offset) const {
  if (offset >= bytes_.size()) return std::nullopt;
  // The last line that begins at or before the byte.
  const auto after = std::upper_bound(spans_.begin(), spans_.end(), offset,
                                      [](std::size_t o, const Span& s) { return o < s.begin; });
  if (after == spans_.begin()) return std::nullopt;
  const Span& span = *(after - 1);
  if (offset >= span.begin + span.length) return std::nullopt;  // a line end
  return static_cast<std::size_t>(after - spans_.begin()) - 1;
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

std::optional<std::size_t> firstZeroByteLine(const TextLines& lines) {
  const std::size_t zero = lines.bytes().find('\0');
  if (zero == std::string_view::npos) return std::nullopt;
  const std::optional<std::size_t> index = lines.lineOfByte(zero);
  return index ? std::optional<std::size_t>(*index + 1) : std::nullopt;
}

std::string zeroByteMessage(std::size_t lineNumber) {
  return "文件第" + std::to_string(lineNumber) +
         "行含有零字节，未写任何卡！请将文件另存为纯文本（ANSI）格式后再试。";
}

std::optional<std::string> runRefusal(const TextLines& lines, int selection) {
  if (linesPerCard(selection) == 0) return std::string(kSelection6Refused);
  if (const auto zero = firstZeroByteLine(lines)) return zeroByteMessage(*zero);
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
        // The library would take the line only up to its zero.
        if (lines[first + k].find('\0') != std::string_view::npos) return std::nullopt;
        return std::string(lines[first + k]);
      },
      bufferA, bufferB);
}

}  // namespace cards
