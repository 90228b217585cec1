#pragma once
// The text files of track data that the operator prepares: read whole, as
// bytes, and divided into lines. The bytes are never converted: each line goes
// to the device exactly as it stands in the file.
#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace workers {

// A file that cannot be read; what() is the text for the operator.
class TextFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The lines of a file: its bytes kept in one piece and where each line lies,
// so that a file of a million lines costs no million allocations.
class TextLines {
 public:
  TextLines() = default;
  // Divides the bytes into lines: CR LF, a lone CR and a lone LF each end a
  // line (so LF CR is two line ends), a zero byte ends the text, and a line
  // end at the very end adds no empty line. Nothing is trimmed or dropped.
  explicit TextLines(std::string bytes);

  std::size_t size() const { return spans_.size(); }
  bool empty() const { return spans_.empty(); }
  std::string_view operator[](std::size_t i) const {
    return std::string_view(bytes_).substr(spans_[i].begin, spans_[i].length);
  }
  std::vector<std::string> toStrings() const;

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

// The whole file, opened for reading with other writers shut out. The path is
// UTF-8 and used as given. Throws TextFileError when the file cannot be read
// (missing, a folder or device, no permission, in use by a writer).
std::string readWholeFile(const std::string& path);

// readWholeFile, divided into lines.
TextLines readTextLines(const std::string& path);

// Lines per card of a track selection: 1 for 1 to 3, 2 for 4 and 5, 0 for
// any other code.
int linesPerCard(int selection);

// 0-based index of the first line that a run of this selection would write
// and that is longer than `limit` bytes. The unpaired last line of a
// two-track file is never written (its card is reported as missing data).
std::optional<std::size_t> firstOverlongLine(const TextLines& lines, int selection,
                                             std::size_t limit);

// The refusal of a run whose line (numbered from 1) does not fit a track.
std::string overlongLineMessage(std::size_t lineNumber);

}  // namespace workers
