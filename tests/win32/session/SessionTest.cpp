// Randomized operator sessions through the real program's windows, under
// Wine, against a misbehaving emulated reader.
//
//   CARDTEST_SEED=S             the seed (default a fixed one; "fresh": a new one)
//   CARDTEST_STEPS=N            steps of a session (default 1000)
//   CARDTEST_SKIP=3-10,15       steps left out, as a shrunk failure prints them
//   CARDTEST_SOAK_STEPS=N       sessions with fresh seeds until N steps have run
//   CARDTEST_SHRINK_SECONDS=T   time to shrink a failure in (default 120; 0: none)
//   CARDTEST_TRACE=1            prints every step and what it left
// A failure prints its seed, its step and the replay line.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "Session.h"

namespace {

long long envNumber(const char* name, long long fallback) {
  const char* v = std::getenv(name);
  return v && *v ? std::atoll(v) : fallback;
}

std::uint64_t freshSeed() {
  std::random_device device;
  return (static_cast<std::uint64_t>(device()) << 32) ^ device() ^
         static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
}

std::string replayLine(const wsession::Options& o) {
  std::string line = "CARDTEST_SEED=" + std::to_string(o.seed) + " CARDTEST_STEPS=" + std::to_string(o.steps);
  if (!o.skip.empty()) line += " CARDTEST_SKIP=" + wsession::formatSkip(o.skip);
  return line + " win32_sessions.exe --gtest_filter=WindowSessions.*";
}

// Runs one session; true when it kept every rule. A failure is printed,
// shrunk and printed again.
bool session(const wsession::Options& options, long long& stepsRun) {
  std::printf("seed %llu: %d steps%s\n", static_cast<unsigned long long>(options.seed), options.steps,
              options.skip.empty() ? "" : (" without " + wsession::formatSkip(options.skip)).c_str());
  std::fflush(stdout);
  const wsession::Outcome out = wsession::run(options);
  stepsRun += out.steps;
  std::printf("seed %llu: %d steps in %.1f s, %d boxes answered, %d writes checked in %d batches, %d windows\n",
              static_cast<unsigned long long>(options.seed), out.steps, out.milliseconds / 1000.0, out.boxes,
              out.writesChecked, out.batches, out.windows);
  if (!out.failure) return true;
  const wsession::Failure& f = *out.failure;
  std::printf("FAILED: seed %llu, step %d: %s\n  %s\nreplay: %s\n", static_cast<unsigned long long>(options.seed),
              f.step, f.rule.c_str(), f.what.c_str(), replayLine(options).c_str());
  std::fflush(stdout);
  const int seconds = static_cast<int>(envNumber("CARDTEST_SHRINK_SECONDS", 120));
  if (seconds > 0) {
    std::printf("shrinking for at most %d s\n", seconds);
    std::fflush(stdout);
    const wsession::Options small = wsession::shrink(options, f, seconds);
    std::printf("shrunk: %s\n", replayLine(small).c_str());
  }
  ADD_FAILURE() << "seed " << options.seed << ", step " << f.step << ": " << f.rule << ": " << f.what
                << "\nreplay: " << replayLine(options);
  return false;
}

TEST(WindowSessions, KeepEveryRuleThroughTheRealWindows) {
  wsession::watchTheProcess();
  wsession::Options options;
  options.steps = static_cast<int>(envNumber("CARDTEST_STEPS", 1000));
  options.trace = envNumber("CARDTEST_TRACE", 0) != 0;
  if (const char* skip = std::getenv("CARDTEST_SKIP")) options.skip = wsession::parseSkip(skip);
  const long long soak = envNumber("CARDTEST_SOAK_STEPS", 0);
  const char* seed = std::getenv("CARDTEST_SEED");
  long long stepsRun = 0;
  if (soak <= 0) {
    options.seed = !seed || !*seed ? 20240519ull
                   : std::string(seed) == "fresh" ? freshSeed()
                                                  : std::strtoull(seed, nullptr, 10);
    session(options, stepsRun);
  } else {
    while (stepsRun < soak) {
      options.seed = freshSeed();
      if (!session(options, stepsRun)) break;
      std::printf("steps run so far: %lld\n", stepsRun);
    }
  }
  std::printf("steps run: %lld\n", stepsRun);
}

}  // namespace
