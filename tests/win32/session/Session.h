#pragma once
// Randomized operator sessions through the real program's windows, in this
// process, with the Win32 backend and the emulated reader misbehaving at
// random. Every step is one thing an operator does (a click, a key, a drag,
// a context menu, an answer to a box, a file chosen in the file dialog,
// closing the window) or one change of the reader's behaviour, posted
// through the real message loop; after every step the rules are checked.
//
// A step's choices come from the seed and the step's number alone, so a
// session replays from its seed, and leaving steps out keeps the others as
// they were (that is how a failure is shrunk). The threads' timing is the
// machine's: a replay takes the same steps, not always the same path.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace wsession {

struct Options {
  std::uint64_t seed = 1;
  int steps = 1000;
  // Steps left out, as [from, to) ranges of step numbers from 1.
  std::vector<std::pair<int, int>> skip;
  // Prints each step and what it left.
  bool trace = false;
};

struct Failure {
  int step = 0;       // the step's number, from 1
  std::string rule;   // which rule broke, for the shrinker
  std::string what;   // what was seen
};

struct Outcome {
  std::optional<Failure> failure;
  int steps = 0;          // steps taken
  int boxes = 0;          // message boxes and questions answered
  int batches = 0;        // batches whose writes were checked
  int writesChecked = 0;  // writecard calls checked against their card
  int windows = 0;        // main windows opened
  int milliseconds = 0;
};

Outcome run(const Options& options);

// "3-10,15" for [3, 11) and [15, 16); parse() reads it back.
std::string formatSkip(const std::vector<std::pair<int, int>>& skip);
std::vector<std::pair<int, int>> parseSkip(const std::string& text);

// Tries leaving steps out of a failing session while it still fails by the
// same rule, for at most `seconds`; returns the smallest failing options.
Options shrink(const Options& failing, const Failure& failure, int seconds);

// Reports an exit or a fault of the process during a session with its seed
// and step; once per process.
void watchTheProcess();

}  // namespace wsession
