// Randomized operator sessions against a misbehaving emulated reader.
//
// Each session is a sequence of operator and reader commands, run on a fresh
// main window with real worker threads. After every step a model checks the
// library's exclusion, that no worker outlives its page, the data of every
// writecard of a batch, the card numbering, the page's buttons for its state
// and the step's duration. A failure is shrunk and printed.
//
// Replay: the seed is printed as "Using configuration: seed=S"; run
//   RC_PARAMS="seed=S" CARDTEST_SESSIONS=n CARDTEST_STEPS=m
//   bin/randomized_tests --gtest_filter=OperatorSessions.*
// with the n and m of the failing run (ctest --show-only=json-v1 lists them).
// CARDTEST_SOAK_STEPS=N repeats rounds of sessions, each with a fresh seed,
// until N steps have run, and prints every seed; a failure there is not
// shrunk (its replay line shrinks it). CARDTEST_TRACE=1 prints
// each step with the page state it left.
#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/detail/TestListenerAdapter.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <iostream>
#include <memory>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "EmulatorClient.h"
#include "Model.h"

namespace {

using rtest::Cmd;

int envInt(const char* name, int fallback) {
  const char* v = std::getenv(name);
  if (!v || !*v) return fallback;
  return std::atoi(v);
}

// Runs `sessions` sessions from `seed`; returns the failure text, empty when
// every session passed.
std::string runSessions(std::uint64_t seed, int sessions, int steps, long long& stepsRun, bool shrink = true) {
  rc::detail::TestParams params = rc::detail::configuration().testParams;
  params.seed = seed;
  // A soak reports its failure at once: a replay of a lost call waits out
  // teardowns, and its replay line shrinks it.
  if (!shrink) params.disableShrinking = true;
  params.maxSuccess = sessions;
  rc::detail::TestMetadata metadata;
  metadata.id = "OperatorSessions";
  metadata.description = "randomized operator sessions";
  rc::detail::TestListenerAdapter listener;
  (void)rtest::Runner::takeFirstFailure();
  const auto result = rc::detail::checkTestable(
      [steps, &stepsRun] {
        rtest::Runner runner;
        for (int i = 0; i < steps; ++i) {
          const auto [kind, state] = runner.context();
          // A fixed size keeps the choices uniform in every session.
          runner.step(*rc::gen::resize(100, rtest::commandGen(kind, state)));
        }
        runner.finish();
        stepsRun += runner.stepsRun();
      },
      metadata, params, listener, rc::detail::configuration().reproduce);
  if (result.is<rc::detail::SuccessResult>()) return {};
  std::ostringstream out;
  rc::detail::printResultMessage(result, out);
  // What failed first; the text above is that of the case run again.
  if (const std::string first = rtest::Runner::takeFirstFailure(); !first.empty())
    out << "\nfirst failure: " << first;
  return out.str();
}

TEST(OperatorSessions, KeepEveryRuleAgainstAMisbehavingReader) {
  emu::Client probe;
  ASSERT_TRUE(probe.controllable()) << "the emulated 40x.dll was not found beside the tests";
  const int steps = std::max(1, envInt("CARDTEST_STEPS", 80));
  const int sessions = std::max(1, envInt("CARDTEST_SESSIONS", 20));
  const long long soakSteps = envInt("CARDTEST_SOAK_STEPS", 0);
  long long stepsRun = 0;

  if (soakSteps <= 0) {
    const std::uint64_t seed = rc::detail::configuration().testParams.seed;
    const std::string failure = runSessions(seed, sessions, steps, stepsRun);
    std::cout << "steps run: " << stepsRun << ", seed " << seed << "\n";
    EXPECT_TRUE(failure.empty()) << failure << "\nreplay: RC_PARAMS=\"seed=" << seed
                                 << "\" CARDTEST_SESSIONS=" << sessions
                                 << " CARDTEST_STEPS=" << steps
                                 << " randomized_tests --gtest_filter=OperatorSessions.*";
    return;
  }
  std::random_device device;
  std::mt19937_64 seeds((static_cast<std::uint64_t>(device()) << 32) ^ device());
  while (stepsRun < soakSteps) {
    const std::uint64_t seed = seeds();
    const long long left = (soakSteps - stepsRun + steps - 1) / steps;
    const int round = static_cast<int>(std::min<long long>(sessions, left));
    const std::string failure = runSessions(seed, round, steps, stepsRun, false);
    std::cout << "seed " << seed << ": steps run so far " << stepsRun << std::endl;
    if (!failure.empty()) {
      ADD_FAILURE() << failure << "\nreplay: RC_PARAMS=\"seed=" << seed
                    << "\" CARDTEST_SESSIONS=" << round << " CARDTEST_STEPS=" << steps
                    << " randomized_tests --gtest_filter=OperatorSessions.*";
      break;
    }
  }
  std::cout << "steps run: " << stepsRun << std::endl;
}

}  // namespace
