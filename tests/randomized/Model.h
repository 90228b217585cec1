#pragma once
// The commands of a randomized operator session, their generators, and the
// runner that performs them on a real main window and checks a model of the
// pages after every step.
#include <rapidcheck.h>

#include <cstdint>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace rtest {

enum class Op {
  Nop,  // first: failing sequences shrink towards it
  ConnectManual,
  ConnectAuto,
  ResetDevice,
  PageButton,
  CloseWindow,
  Track,
  Count,
  Field,
  Arrow,
  Start,
  Stop,
  PauseContinue,
  Back,
  EscLog,
  Clear,
  ChooseFile,
  ToggleBox,
  Answer,
  Script,
  Blocking,
  Swipe,
  Unterminated,
  MissBreakOffs,
  ManualSwipe,
  SwipeNow,
  CloseOutside,
  SinglePress,
  LoseCalls,
};

struct Cmd {
  Op op = Op::Nop;
  int a = 0;
  int b = 0;
  int c = 0;
  int d = 0;
  int r = 0;
  std::string text;
};

void showValue(const Cmd& cmd, std::ostream& os);
std::string describe(const Cmd& cmd);

// Commands weighted for the page on show and its state (Runner::context()).
rc::Gen<Cmd> commandGen(int pageKind, int pageState);

// Performs a sequence; model checks fail through RapidCheck's assertions.
class Runner {
 public:
  Runner();
  ~Runner();
  Runner(const Runner&) = delete;
  Runner& operator=(const Runner&) = delete;

  std::pair<int, int> context() const;  // page kind and state, for commandGen
  void step(const Cmd& cmd);
  void finish();
  long long stepsRun() const { return steps_; }
  // The first failure since the last take: rapidcheck may run a failed
  // case again to print it, and a session that fails by timing may then pass.
  static std::string takeFirstFailure();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  long long steps_ = 0;
};

}  // namespace rtest
