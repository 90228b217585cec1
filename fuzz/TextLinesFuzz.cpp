// cards::splitLines against a byte-by-byte reference: every byte except the
// line ends is kept, in order, a zero byte too; CR LF, CR and LF end a line;
// a final line end adds no empty line. Also the overlong-line check.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Check.h"
#include "cards/Selections.h"
#include "cards/TextLines.h"

namespace {

std::vector<std::string> referenceLines(const std::string& bytes) {
  std::vector<std::string> lines;
  std::string line;
  bool open = false;  // bytes since the last line end
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(line);
      line.clear();
      open = false;
      if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    } else {
      line += c;
      open = true;
    }
  }
  if (open) lines.push_back(line);
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const int selection = in.ConsumeIntegralInRange(-1, 7);
  const std::size_t limit = in.ConsumeIntegralInRange<std::size_t>(0, 20);
  const std::string bytes = in.ConsumeRemainingBytesAsString();

  const cards::TextLines lines = cards::splitLines(bytes);
  const std::vector<std::string> expected = referenceLines(bytes);
  FUZZ_CHECK(lines.size() == expected.size());
  FUZZ_CHECK(lines.empty() == expected.empty());
  for (std::size_t i = 0; i < expected.size(); ++i) FUZZ_CHECK(lines[i] == expected[i]);
  FUZZ_CHECK(lines.toStrings() == expected);

  // Without the line ends, the lines are the whole text.
  std::string kept;
  for (const std::string& line : expected) kept += line;
  std::string text = bytes;
  std::erase(text, '\r');
  std::erase(text, '\n');
  FUZZ_CHECK(kept == text);

  // A two-track run writes lines in pairs; a lone last line is not written.
  const int perCard = selection >= 1 && selection <= 3 ? 1 : selection == 4 || selection == 5 ? 2 : 0;
  FUZZ_CHECK(cards::linesPerCard(selection) == perCard);
  std::optional<std::size_t> overlong;
  if (perCard != 0) {
    const std::size_t written = expected.size() / static_cast<std::size_t>(perCard) *
                                static_cast<std::size_t>(perCard);
    for (std::size_t i = 0; i < written && !overlong; ++i)
      if (expected[i].size() > limit) overlong = i;
  }
  FUZZ_CHECK(cards::firstOverlongLine(lines, selection, limit) == overlong);
  return 0;
}
