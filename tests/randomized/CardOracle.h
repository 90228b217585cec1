#pragma once
// What the randomized sessions expect of the library's call log, worked out
// on their own (not with the program's card rules): the buffers of card n of
// a continuous-write batch or of a text-file run, the session's text files,
// and a tracker that checks every writecard of a batch against them. Shared
// by the headless sessions and the window sessions under Wine; no threads,
// no windows, no test framework.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "device/LibraryTexts.h"

namespace oracle {

// An integer as the program takes it: blanks around, an optional sign, 32 bits.
std::optional<std::int32_t> toInt(const std::string& text);

// One writecard line of the call log: "writecard(P,S,"A","B",M,T)=R".
struct WriteLine {
  int port = 0, selection = 0, mode = 0, timeout = 0, result = 0;
  std::string a, b;  // quoted, as logged
};
// Nothing for another entry point's line. The sessions' data hold no double
// quote, so a buffer ends at the next one.
std::optional<WriteLine> parseWrite(const std::string& line);

// The text files of a session: their bytes and lines as the page reads
// them, or no lines for a file that does not exist. zeroLine: the line of
// the first zero byte (from 1), 0 when there is none; such a file is
// refused before the first card.
struct FileCase {
  const char* name;
  std::string bytes;
  std::optional<std::vector<std::string>> lines;
  int zeroLine = 0;
};
std::vector<FileCase> fileCases();

// Lines of a file without zero bytes: CR LF, a lone CR and a lone LF each
// end one, and a line end at the very end adds no empty line.
std::vector<std::string> linesOf(const std::string& bytes);
// The line of the first zero byte (from 1), 0 when there is none.
int zeroByteLine(const std::string& bytes);
// The refusal of a file with a zero byte in this line.
std::string zeroByteMessage(int line);

// The refusal of a device call while a worker is still inside the library.
inline constexpr const char* kLastCallPending = device::kLastCallPending;
// The main window's refusal while a batch runs on a page.
inline constexpr const char* kBatchRunning = "连续读写卡正在进行，请先停止后再联机或复位！";

// The entry point of a call-log line ("readcard", "endcard", ...).
std::string entryOf(const std::string& line);
// After the window was asked to close: only endcard, and at most
// `inFlight` readcard/writecard calls that were already under way when the
// close came. The reason when a line breaks that.
std::optional<std::string> afterClose(const std::vector<std::string>& lines, int inFlight);

// UI text (UTF-8) to the bytes the device gets; nothing when a character
// has no form in the device's code page.
using ToDevice = std::function<std::optional<std::string>(const std::string&)>;
// The identity: device text is UTF-8 outside Windows.
std::optional<std::string> utf8Device(const std::string& text);

// The continuous-write page's fields at Start, by track (index 0 = track 1).
struct WriteFields {
  std::array<std::string, 3> text, start, step;
};

// Buffers A and B (quoted) of one card; nothing when it is never sent.
using Card = std::optional<std::pair<std::string, std::string>>;

// Card n of a continuous-write batch: per track the fixed text, followed by
// start + step x (n - 1) in 32-bit arithmetic unless both are 0. Nothing when
// a field holds no integer, or the data does not fit or has no device form.
Card continuousWriteCard(const WriteFields& fields, int selection, int n, const ToDevice& toDevice);

// Card n of a text-file run; the lines go to the card byte for byte.
Card textFileCard(const std::vector<std::string>& lines, int selection, int n);
int textFileCards(const std::vector<std::string>& lines, int selection);

// A batch of writes and what each card must carry.
struct Batch {
  std::string page;
  int selection = 0, port = 0, mode = 0, timeout = 0;
  int cards = 0;
  std::function<Card(int)> expected;
  // The rewrite check box as it is now; nothing when unknown (the page is
  // gone). toggled: it changed since the last card.
  std::function<std::optional<bool>()> rewrite;
  bool toggled = false;
  int last = 0;
  int lastResult = 0;
};

// The batches of a session: the current one, and the one stopped before it,
// which may still log the call it was inside.
class Tracker {
 public:
  // A new batch in place of the current one.
  void start(Batch batch);
  // The current batch was stopped.
  void stop();
  // The page of the batches went: their check boxes are unknown from now on.
  void pageGone();
  // Both batches are over.
  void clear();
  // No worker runs: nothing more comes from a stopped batch.
  void quiet() { stopped_.reset(); }
  // The batches' rewrite box was clicked.
  void toggled();
  bool running() const { return current_.has_value(); }
  // Checks one line of the call log; the reason when it breaks a rule.
  // Other entry points' lines pass.
  std::optional<std::string> take(const std::string& line);

 private:
  std::optional<Batch> current_;
  std::optional<Batch> stopped_;
};

}  // namespace oracle
