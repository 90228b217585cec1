#pragma once
// Numbering the attempts and cards of a run, in the 32-bit counters that
// the pages share with their workers. Nothing here wraps round: a run of
// the largest count ends after its last number.
#include <cstdint>
#include <limits>

namespace cards {

// The counter after number n of a run of `count` (counted from 1): n + 1,
// and whether the run goes on with it. At the largest count the counter
// stays at n rather than wrapping to a negative number.
struct Step {
  std::int32_t counter;
  bool goesOn;
};
constexpr Step stepAfter(std::int32_t n, std::int32_t count) {
  const std::int32_t next = n < std::numeric_limits<std::int32_t>::max() ? n + 1 : n;
  return {next, n < count};
}

// Where a text-file run stands: the first line (0-based) of the current
// card in a file of `count` lines, one or two lines per card.
class LineCursor {
 public:
  constexpr LineCursor(std::int32_t count, int perCard)
      : count_(count < 0 ? 0 : count), perCard_(perCard == 2 ? 2 : 1) {}

  constexpr std::int32_t index() const { return index_; }
  constexpr std::int32_t count() const { return count_; }
  constexpr bool done() const { return index_ >= count_; }
  // The card's number: the line's for one line per card, the pair's for two.
  constexpr std::int32_t cardNumber() const { return perCard_ == 2 ? index_ / 2 + 1 : index_ + 1; }
  // The current card is the last line of a two-line file with an odd count.
  constexpr bool pairIncomplete() const { return perCard_ == 2 && count_ - index_ == 1; }
  // Line k (0 or 1) of the current card.
  constexpr std::int32_t line(int k) const { return index_ + k; }

  // The card is done, written or skipped: on to the next one.
  constexpr void next() { index_ = count_ - index_ <= perCard_ ? count_ : index_ + perCard_; }
  // The run ends after this card.
  constexpr void cancel() { index_ = count_; }

 private:
  std::int32_t count_;
  int perCard_;
  std::int32_t index_ = 0;
};

}  // namespace cards
