// The emulated reader through its six entry points: the input chooses calls,
// arguments, buffers and control settings; a model built from docs/emulator.md's
// tables predicts every result number, the buffers after each call, the
// virtual card and the call log. Buffers are exactly 300 bytes on the heap,
// so AddressSanitizer sees any access past them. The swipe delay is 0 and
// nothing blocks, so no call waits.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "Check.h"
#include "EmulatorControl.h"
#include "device/CardDevice.h"

extern "C" {
std::int32_t CARD_API detect(std::int32_t port, std::int32_t timeoutMs);
std::int32_t CARD_API reset(std::int32_t port, std::int32_t mode);
std::int32_t CARD_API opencomm(std::int32_t port, std::int32_t mode, std::int32_t timeoutMs);
std::int32_t CARD_API endcard(std::int32_t mode);
std::int32_t CARD_API readcard(std::int32_t port, std::int32_t selection, char* bufferA,
                               char* bufferB, std::int32_t mode, std::int32_t timeoutMs);
std::int32_t CARD_API writecard(std::int32_t port, std::int32_t selection, char* bufferA,
                                char* bufferB, std::int32_t mode, std::int32_t timeoutMs);
}

namespace {

constexpr std::size_t kBufferSize = 300;
constexpr const char* kNames[] = {"detect", "reset", "opencomm", "endcard", "readcard", "writecard"};
enum Entry { kDetect, kReset, kOpencomm, kEndcard, kReadcard, kWritecard };

const std::array<std::string, 3> kSampleCard = {
    "B6200000000000000^DEMO/CARD READER^29121010000000000000",
    "6200000000000000=29121010000012345",
    "996200000000000000=1561560000000000000003000000000000000000000000000000000000=0000"};

struct Model {
  std::int32_t detectAnswer = 2428;
  std::array<std::deque<std::int32_t>, 6> scripts;
  bool unterminated = false;
  std::array<std::string, 3> tracks = kSampleCard;

  std::int32_t scriptedOr(Entry entry, std::int32_t otherwise) {
    auto& queue = scripts[entry];
    if (queue.empty()) return otherwise;
    const std::int32_t result = queue.front();
    queue.pop_front();
    return result;
  }
};

bool validPort(std::int32_t port) { return port >= 1 && port <= 6; }
bool validMode(std::int32_t mode) { return mode == 1 || mode == 2; }

// Interesting numbers most of the time, any 32-bit value now and then.
std::int32_t pickNumber(FuzzedDataProvider& in) {
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0: return in.ConsumeIntegral<std::int32_t>();
    case 1: return in.PickValueInArray({INT32_MIN, INT32_MAX, -100, -14, -13, 100, 1000});
    default: return in.ConsumeIntegralInRange<std::int32_t>(-2, 8);
  }
}

// A valid value for its argument most of the time, so that calls get past
// the checks as often as they fail them.
std::int32_t pickArgument(FuzzedDataProvider& in, std::int32_t low, std::int32_t high) {
  if (in.ConsumeIntegralInRange(0, 3) == 0) return pickNumber(in);
  return in.ConsumeIntegralInRange(low, high);
}

constexpr char kTrack1Chars[] = " !\"#$%&'()*+,-./0123456789:;<=>?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[\\]^_";
constexpr char kTrack23Chars[] = "0123456789:;<=>?";

// Bytes mostly from one encoder alphabet, so that writes get accepted too.
std::string pickText(FuzzedDataProvider& in, std::size_t length) {
  const int alphabet = in.ConsumeIntegralInRange(0, 2);
  std::string text;
  for (std::size_t i = 0; i < length; ++i) {
    const auto byte = in.ConsumeIntegral<std::uint8_t>();
    if (alphabet == 0) {
      text += kTrack1Chars[byte % (sizeof kTrack1Chars - 1)];
    } else if (alphabet == 1) {
      text += kTrack23Chars[byte % (sizeof kTrack23Chars - 1)];
    } else {
      text += static_cast<char>(byte);
    }
  }
  return text;
}

std::size_t pickLength(FuzzedDataProvider& in, std::size_t most) {
  if (in.ConsumeBool()) return in.ConsumeIntegralInRange<std::size_t>(0, most);
  const std::size_t length =
      in.PickValueInArray<std::size_t>({0, 1, 39, 40, 41, 78, 79, 80, 106, 107, 108, 299, 300});
  return length > most ? most : length;
}

using Buffer = std::unique_ptr<char[]>;

// Null, or exactly 300 bytes: text, then a zero and filler, or no zero at all.
Buffer pickBuffer(FuzzedDataProvider& in) {
  if (in.ConsumeIntegralInRange(0, 5) == 0) return nullptr;
  Buffer buffer(new char[kBufferSize]);
  const std::string text = pickText(in, pickLength(in, kBufferSize));
  std::memcpy(buffer.get(), text.data(), text.size());
  if (text.size() < kBufferSize) {
    buffer[text.size()] = '\0';
    const char filler = static_cast<char>(in.ConsumeIntegral<std::uint8_t>());
    std::memset(buffer.get() + text.size() + 1, filler, kBufferSize - text.size() - 1);
  }
  return buffer;
}

std::string contents(const Buffer& buffer) {
  return buffer ? std::string(buffer.get(), kBufferSize) : std::string();
}

// The text the device sees: up to the first zero, at most 300 bytes.
std::string dataOf(const Buffer& buffer) {
  if (!buffer) return {};
  std::size_t length = 0;
  while (length < kBufferSize && buffer[length] != '\0') ++length;
  return std::string(buffer.get(), length);
}

std::string shown(const Buffer& buffer) {
  if (!buffer) return "null";
  std::string out = "\"";
  for (const char c : dataOf(buffer)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte <= 0x7E) {
      out += c;
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      out += escaped;
    }
  }
  return out + "\"";
}

bool encoderTakes(int track, const std::string& data) {
  if (data.size() > (track == 1 ? 79u : track == 2 ? 40u : 107u)) return false;
  for (const char c : data) {
    const auto byte = static_cast<unsigned char>(c);
    const bool ok = track == 1 ? (byte >= 0x20 && byte <= 0x5F) : (byte >= '0' && byte <= '?');
    if (!ok) return false;
  }
  return true;
}

// Tracks per buffer for a selection (0: none); selection 6 has no buffer for track 3.
int trackInA(std::int32_t selection) {
  return selection == 2 || selection == 4 || selection == 5 || selection == 6 ? 2 : 0;
}
int trackInB(std::int32_t selection) {
  if (selection == 1 || selection == 4 || selection == 6) return 1;
  if (selection == 3 || selection == 5) return 3;
  return 0;
}

std::string lastLogLine() {
  const std::int32_t count = emu_log_count();
  FUZZ_CHECK(count > 0);
  const std::int32_t length = emu_log_line(count - 1, nullptr, 0);
  FUZZ_CHECK(length >= 0);
  std::string line(static_cast<std::size_t>(length) + 1, '\0');
  FUZZ_CHECK(emu_log_line(count - 1, line.data(), length + 1) == length);
  line.resize(static_cast<std::size_t>(length));
  return line;
}

std::string callLine(const char* name, std::initializer_list<std::int32_t> args,
                     std::int32_t result) {
  std::string line = std::string(name) + "(";
  const char* separator = "";
  for (const std::int32_t arg : args) {
    line += separator + std::to_string(arg);
    separator = ",";
  }
  return line + ")=" + std::to_string(result);
}

void checkCard(const Model& model) {
  for (int track = 1; track <= 3; ++track) {
    char out[1024];
    const std::int32_t length = emu_get_track(track, out, sizeof out);
    const std::string& expected = model.tracks[static_cast<std::size_t>(track - 1)];
    FUZZ_CHECK(length == static_cast<std::int32_t>(expected.size()));
    FUZZ_CHECK(std::string(out) == expected);
  }
}

void transfer(FuzzedDataProvider& in, Model& model, Entry entry) {
  const std::int32_t port = pickArgument(in, 1, 6);
  const std::int32_t selection = pickArgument(in, 1, 6);
  const std::int32_t mode = pickArgument(in, 1, 2);
  const std::int32_t timeout = pickArgument(in, 0, 1000);
  Buffer a = pickBuffer(in);
  Buffer b = pickBuffer(in);
  const std::string beforeA = contents(a);
  const std::string beforeB = contents(b);
  const std::string shownBeforeA = shown(a);
  const std::string shownBeforeB = shown(b);
  const int inA = trackInA(selection);
  const int inB = trackInB(selection);

  std::int32_t expected = 0;
  if (!validPort(port)) {
    expected = -1;
  } else if (!validMode(mode) || (inA == 0 && inB == 0) || (inA != 0 && !a) || (inB != 0 && !b)) {
    expected = -4;
  } else if (timeout < 0 || (timeout == 0 && mode == 1)) {
    expected = -13;
  } else {
    expected = model.scriptedOr(entry, 0);
  }

  const bool reading = entry == kReadcard;
  if (expected == 0 && !reading) {
    const std::string dataA = dataOf(a);
    const std::string dataB = dataOf(b);
    if ((inA != 0 && !encoderTakes(inA, dataA)) || (inB != 0 && !encoderTakes(inB, dataB))) {
      expected = -14;
    } else {
      if (inA != 0) model.tracks[static_cast<std::size_t>(inA - 1)] = dataA;
      if (inB != 0) model.tracks[static_cast<std::size_t>(inB - 1)] = dataB;
    }
  }

  const std::int32_t countBefore = emu_log_count();
  const std::int32_t result = reading ? readcard(port, selection, a.get(), b.get(), mode, timeout)
                                      : writecard(port, selection, a.get(), b.get(), mode, timeout);
  FUZZ_CHECK(result == expected);
  FUZZ_CHECK(emu_log_count() == countBefore + 1);

  if (reading && result == 0) {
    const auto filled = [&](const std::string& before, int track) {
      std::string after = before;
      const std::string data = track == 0 ? std::string()
                                          : model.tracks[static_cast<std::size_t>(track - 1)];
      if (model.unterminated) {
        after.assign(kBufferSize, '#');
        after.replace(0, std::min(data.size(), kBufferSize), data, 0, kBufferSize);
      } else if (track != 0) {
        const std::size_t length = std::min(data.size(), kBufferSize - 1);
        after.replace(0, length + 1, data.substr(0, length) + '\0');
      }
      return after;
    };
    if (a) FUZZ_CHECK(contents(a) == filled(beforeA, inA));
    if (b) FUZZ_CHECK(contents(b) == filled(beforeB, inB));
  } else {
    // Refused calls and writes leave the caller's buffers alone.
    FUZZ_CHECK(contents(a) == beforeA);
    FUZZ_CHECK(contents(b) == beforeB);
  }
  const std::string logA = reading ? shown(a) : shownBeforeA;
  const std::string logB = reading ? shown(b) : shownBeforeB;
  FUZZ_CHECK(lastLogLine() == std::string(kNames[entry]) + "(" + std::to_string(port) + "," +
                                  std::to_string(selection) + "," + logA + "," + logB + "," +
                                  std::to_string(mode) + "," + std::to_string(timeout) +
                                  ")=" + std::to_string(result));
  checkCard(model);
}

void simpleCall(FuzzedDataProvider& in, Model& model, Entry entry) {
  // Port (mode for endcard), then mode or time-out, then time-out.
  const std::int32_t first = entry == kEndcard ? pickArgument(in, 1, 2) : pickArgument(in, 1, 6);
  const std::int32_t second = entry == kDetect ? pickArgument(in, 0, 1000) : pickArgument(in, 1, 2);
  const std::int32_t third = pickArgument(in, 0, 1000);
  std::int32_t expected = 0;
  std::int32_t result = 0;
  std::string line;
  switch (entry) {
    case kDetect:
      expected = !validPort(first) ? -6 : second < 0 ? -7 : model.scriptedOr(entry, model.detectAnswer);
      result = detect(first, second);
      line = callLine("detect", {first, second}, result);
      break;
    case kOpencomm:
      expected = !validPort(first)   ? -6
                 : third < 0         ? -7
                 : !validMode(second) ? -8
                                      : model.scriptedOr(entry, 0);
      result = opencomm(first, second, third);
      line = callLine("opencomm", {first, second, third}, result);
      break;
    case kReset:
      expected = !validPort(first) ? -1 : !validMode(second) ? -4 : model.scriptedOr(entry, 0);
      result = reset(first, second);
      line = callLine("reset", {first, second}, result);
      break;
    default:
      expected = !validMode(first) ? -4 : model.scriptedOr(entry, 0);
      result = endcard(first);
      line = callLine("endcard", {first}, result);
      break;
  }
  FUZZ_CHECK(result == expected);
  FUZZ_CHECK(lastLogLine() == line);
  checkCard(model);
}

void control(FuzzedDataProvider& in, Model& model) {
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0: {
      const std::int32_t track = pickArgument(in, 1, 3);
      const bool null = in.ConsumeIntegralInRange(0, 7) == 0;
      const std::string text = pickText(in, pickLength(in, 400));
      emu_set_track(track, null ? nullptr : text.c_str());
      if (track >= 1 && track <= 3)
        model.tracks[static_cast<std::size_t>(track - 1)] = null ? "" : text.c_str();
      char out[4] = "xyz";
      if (track < 1 || track > 3) FUZZ_CHECK(emu_get_track(track, out, sizeof out) == -1);
      checkCard(model);
      break;
    }
    case 1:
      model.unterminated = in.ConsumeBool();
      emu_set_unterminated_buffers(model.unterminated ? pickNumber(in) | 1 : 0);
      break;
    case 2:
      model.detectAnswer = pickNumber(in);
      emu_set_detect_answer(model.detectAnswer);
      break;
    default: {
      const int name = in.ConsumeIntegralInRange(0, 7);
      std::vector<std::int32_t> results(in.ConsumeIntegralInRange<std::size_t>(0, 4));
      for (auto& r : results) r = in.PickValueInArray({0, 0, -1, -6, -100, pickNumber(in)});
      // Never more than given: the count is the caller's promise.
      const auto given = static_cast<std::int32_t>(results.size());
      const std::int32_t count = in.ConsumeBool() ? given : in.ConsumeIntegralInRange(-2, given);
      const char* function = name < 6 ? kNames[name] : name == 6 ? "cardreader" : nullptr;
      emu_script_results(function, results.empty() ? nullptr : results.data(), count);
      if (name < 6 && !results.empty() && count > 0) {
        const std::size_t used = std::min<std::size_t>(results.size(), static_cast<std::size_t>(count));
        model.scripts[static_cast<std::size_t>(name)].insert(
            model.scripts[static_cast<std::size_t>(name)].end(), results.begin(),
            results.begin() + static_cast<std::ptrdiff_t>(used));
      }
      break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  emu_reset_state();
  emu_set_swipe_delay_ms(0);
  Model model;
  for (int step = 0; step < 64 && in.remaining_bytes() > 0; ++step) {
    const int op = in.ConsumeIntegralInRange(0, 11);
    if (op <= 3) {
      simpleCall(in, model, static_cast<Entry>(op));
    } else if (op <= 6) {
      transfer(in, model, kWritecard);
    } else if (op <= 8) {
      transfer(in, model, kReadcard);
    } else {
      control(in, model);
    }
  }
  return 0;
}
