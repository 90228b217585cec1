#pragma once
// The text files of track data that the operator prepares, divided into
// lines. The bytes are never converted: each line goes to the device exactly
// as it stands in the file.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/TrackBuffer.h"

namespace cards {

inline constexpr const char* kFileEmpty = "文件内容为空！";
// Selection 6 has no meaning for a file: the library has no third buffer, and
// a file laid out for three tracks would be written shifted.
inline constexpr const char* kSelection6Refused =
    "文本文件写卡不能选择“1,2,3轨”：动态库只有两个数据缓冲区，第3轨无法写入。请选择其他轨道！";

// Lines of a file that a run can number in 32 bits, with room for the step
// past the last one.
inline constexpr std::size_t kMaxLines =
    static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max()) - 1;
constexpr bool fitsLineNumbers(std::size_t lines) { return lines <= kMaxLines; }

// The lines of a file: its bytes kept in one piece and where each line lies,
// so that a file of a million lines costs no million allocations.
class TextLines {
 public:
  TextLines() = default;
  // Divides the bytes into lines: CR LF, a lone CR and a lone LF each end a
  // line (so LF CR is two line ends), and a line end at the very end adds no
  // empty line. Every other byte, a zero byte too, stays in its line: nothing
  // is trimmed, dropped or converted.
  explicit TextLines(std::string bytes);

  std::size_t size() const { return spans_.size(); }
  bool empty() const { return spans_.empty(); }
  std::string_view operator[](std::size_t i) const {
    return std::string_view(bytes_).substr(spans_[i].begin, spans_[i].length);
  }
  std::vector<std::string> toStrings() const;
  // The file's bytes as read, line ends included.
  std::string_view bytes() const { return bytes_; }
  // Index of the line that holds the byte at this offset; nothing for a
  // byte of a line end or past the end.
  std::optional<std::size_t> lineOfByte(std::size_t offset) const;

 private:
  struct Span {
    std::size_t begin;
    std::size_t length;
  };
  std::string bytes_;
  std::vector<Span> spans_;
};

// TextLines of a copy of the bytes.
TextLines splitLines(std::string_view bytes);

// The file read whole (see device::readWholeFile) and divided into lines.
// Throws device::FileError when it cannot be read, or has more lines than
// kMaxLines.
TextLines readTextLines(const std::string& path);

// 0-based index of the first line that a run of this selection would write
// and that is longer than `limit` bytes. The unpaired last line of a
// two-track file is never written (its card is reported as missing data).
std::optional<std::size_t> firstOverlongLine(const TextLines& lines, int selection,
                                             std::size_t limit = device::TrackBuffer::kMaxText);

// The refusal of a run whose line (numbered from 1) does not fit a track.
std::string overlongLineMessage(std::size_t lineNumber);

// Line number (from 1) of the file's first zero byte, in any line. The
// library takes a buffer up to its first zero, so such a line cannot reach a
// card whole; a UTF-16 file has one in its first line.
std::optional<std::size_t> firstZeroByteLine(const TextLines& lines);

// The refusal of a file with a zero byte in that line (numbered from 1).
std::string zeroByteMessage(std::size_t lineNumber);

// The refusal of a selection before a run, the first that applies:
// kSelection6Refused for a code that is not written from a file, a zero byte
// anywhere in the file, the first overlong line; nothing when the run may go.
std::optional<std::string> runRefusal(const TextLines& lines, int selection);

}  // namespace cards

namespace cards {

// Puts the lines of one card into the buffers: the card's first line, and
// for two tracks the next one, go to the carried tracks in track order (for
// "1,2轨" the first line is track 1, for "2,3轨" track 2). Both buffers are
// cleared first. False when a line does not fit or holds a zero byte (a run
// refuses such files before it begins) or a line is missing.
bool fillCardFromLines(int selection, const TextLines& lines, std::size_t first,
                       device::TrackBuffer& bufferA, device::TrackBuffer& bufferB);

}  // namespace cards
