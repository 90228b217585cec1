// The whole-file check before a text-file run, on arbitrary bytes and every
// selection: runRefusal refuses exactly selection 6, a zero byte anywhere
// (naming its line) and an overlong line that the run would write, in that
// order. A file that passes is divided without losing a byte, and every
// card's buffers hold exactly its lines.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Check.h"
#include "cards/TextLines.h"
#include "device/TrackBuffer.h"

namespace {

constexpr std::size_t kLimit = 299;

bool lineEnd(char c) { return c == '\r' || c == '\n'; }

// Length of the line end at pos: 2 for CR LF, 1 for a lone CR or LF, 0 for
// none.
std::size_t lineEndAt(std::string_view bytes, std::size_t pos) {
  if (pos >= bytes.size() || !lineEnd(bytes[pos])) return 0;
  return bytes[pos] == '\r' && pos + 1 < bytes.size() && bytes[pos + 1] == '\n' ? 2 : 1;
}

// Line number (from 1) of the first zero byte: one more than the line ends
// before it.
std::optional<std::size_t> referenceZeroLine(std::string_view bytes) {
  std::size_t line = 1;
  for (std::size_t i = 0; i < bytes.size();) {
    if (bytes[i] == '\0') return line;
    const std::size_t end = lineEndAt(bytes, i);
    if (end > 0) {
      ++line;
      i += end;
    } else {
      ++i;
    }
  }
  return std::nullopt;
}

// The file's lines, each with the line end that followed it in the file.
struct Line {
  std::string text;
  std::string end;
};
std::vector<Line> referenceLines(std::string_view bytes) {
  std::vector<Line> lines;
  std::size_t i = 0;
  while (i < bytes.size()) {
    Line line;
    while (i < bytes.size() && !lineEnd(bytes[i])) line.text += bytes[i++];
    const std::size_t end = lineEndAt(bytes, i);
    line.end = std::string(bytes.substr(i, end));
    i += end;
    lines.push_back(line);
  }
  return lines;
}

// Lines per card, and the buffer (A = 0, B = 1) of each line of a card.
struct Layout {
  std::size_t perCard;
  std::array<int, 2> buffer;
};
// clang-format off
constexpr std::array<Layout, 6> kLayouts = {{
  {1, {1, -1}},  // 1: track 1 in B
  {1, {0, -1}},  // 2: track 2 in A
  {1, {1, -1}},  // 3: track 3 in B
  {2, {1, 0}},   // 4: track 1 in B, then track 2 in A
  {2, {0, 1}},   // 5: track 2 in A, then track 3 in B
  {0, {-1, -1}}, // 6: not written from a file
}};
// clang-format on

std::string bufferBytes(const device::TrackBuffer& buffer) {
  return std::string(buffer.data(), device::TrackBuffer::kSize);
}

std::string filled(const std::string& text) {
  std::string out = text;
  out.resize(device::TrackBuffer::kSize, '\0');
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const cards::TextLines lines = cards::splitLines(bytes);
  const std::vector<Line> expected = referenceLines(bytes);
  const std::optional<std::size_t> zeroLine = referenceZeroLine(bytes);
  FUZZ_CHECK(cards::firstZeroByteLine(lines) == zeroLine);

  // Nothing lost: the lines joined with their own line ends are the file,
  // and only the last line may go without one.
  FUZZ_CHECK(lines.size() == expected.size());
  std::string joined;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    FUZZ_CHECK(lines[i] == expected[i].text);
    FUZZ_CHECK(i + 1 == expected.size() || !expected[i].end.empty());
    joined += std::string(lines[i]) + expected[i].end;
  }
  FUZZ_CHECK(joined == bytes);

  for (int selection = 1; selection <= 6; ++selection) {
    const Layout& layout = kLayouts[static_cast<std::size_t>(selection - 1)];
    std::optional<std::string> refusal;
    if (layout.perCard == 0) {
      refusal = cards::kSelection6Refused;
    } else if (zeroLine) {
      refusal = cards::zeroByteMessage(*zeroLine);
    } else {
      // A two-track run never writes an unpaired last line.
      const std::size_t written = expected.size() - expected.size() % layout.perCard;
      for (std::size_t i = 0; i < written && !refusal; ++i)
        if (expected[i].text.size() > kLimit) refusal = cards::overlongLineMessage(i + 1);
    }
    FUZZ_CHECK(cards::runRefusal(lines, selection) == refusal);
    if (refusal) continue;

    // Reused, as a run reuses them: nothing of one card stays for the next.
    device::TrackBuffer a;
    device::TrackBuffer b;
    for (std::size_t first = 0; first < expected.size(); first += layout.perCard) {
      std::array<std::string, 2> want;
      const bool complete = first + layout.perCard <= expected.size();
      if (complete)
        for (std::size_t k = 0; k < layout.perCard; ++k)
          want[static_cast<std::size_t>(layout.buffer[k])] = expected[first + k].text;
      FUZZ_CHECK(cards::fillCardFromLines(selection, lines, first, a, b) == complete);
      FUZZ_CHECK(bufferBytes(a) == filled(want[0]));
      FUZZ_CHECK(bufferBytes(b) == filled(want[1]));
    }
  }
  return 0;
}
