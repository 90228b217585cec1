// The card pipelines end to end, headless: the page's worker, the library
// (the emulated reader at zero swipe delay), the hand-over to the
// user-interface thread and the log. Beside them the ceiling: the raw call
// rate of the library from one thread.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "EmulatorClient.h"
#include "device/Connection.h"
#include "device/TrackBuffer.h"
#include "pages/Mreadcardframe01.h"
#include "pages/Mwirtecardframe01.h"
#include "pages/Writetextframe01.h"
#include "ui/Application.h"
#include "ui/Form.h"
#include "ui/headless/HeadlessBackend.h"
#include "workers/Readcard.h"
#include "cards/TextLines.h"
#include "workers/Wirtecard.h"

namespace {

using Clock = std::chrono::steady_clock;

emu::Client& reader() {
  static emu::Client client;
  return client;
}

void freshReader() {
  reader().resetState();
  reader().setSwipeDelayMs(0);
  reader().setTrack(1, "CARD BENCH");
  reader().setTrack(2, "6222020200112233445");
}

// Per-card time over the first and the last thousand cards of a run. A
// window of a thousand cards lasts only 15 to 60 ms, so its wall time would
// be decided by one stall inside it (the log's buffer doubling, the core
// taken by another process for 100 ms), and the first window would carry the
// start-up besides. Each card's own time is kept instead, and a window's
// figure is their median; the longest stall of the run is reported on its own.
class Pace {
 public:
  explicit Pace(std::int64_t cards) : cards_(cards), window_(std::min<std::int64_t>(1000, cards)) {
    first_.reserve(static_cast<std::size_t>(window_));
    last_.reserve(static_cast<std::size_t>(window_));
  }
  void begin() { start_ = end_ = lastCard_ = Clock::now(); }
  // Called on the user-interface thread whenever it looks; the counter may
  // have moved on by more than one card since, and they share the time.
  void seen(std::int64_t done) {
    const auto now = Clock::now();
    end_ = now;
    if (done <= done_) return;
    const auto gap = now - lastCard_;
    if (done_ > 0 && gap > stall_) {  // not the start-up before the first card
      stall_ = gap;
      stallAt_ = done;
    }
    const double each = std::chrono::duration<double, std::micro>(gap).count() /
                        static_cast<double>(done - done_);
    for (std::int64_t card = done_ + 1; card <= std::min(done, cards_); ++card) {
      if (card <= window_) first_.push_back(each);
      if (card > cards_ - window_) last_.push_back(each);
    }
    done_ = done;
    lastCard_ = now;
  }
  double seconds() const { return std::chrono::duration<double>(end_ - start_).count(); }
  double firstUs() { return median(first_); }
  double lastUs() { return median(last_); }
  double stallMs() const { return std::chrono::duration<double, std::milli>(stall_).count(); }
  std::int64_t stallAt() const { return stallAt_; }

 private:
  static double median(std::vector<double>& v) {
    if (v.empty()) return 0;
    const auto mid = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
    std::nth_element(v.begin(), mid, v.end());
    return *mid;
  }

  std::int64_t cards_, window_;
  std::int64_t done_ = 0;
  Clock::time_point start_, end_, lastCard_;
  Clock::duration stall_{};
  std::int64_t stallAt_ = 0;
  std::vector<double> first_, last_;
};

void report(benchmark::State& state, Pace& pace, std::int64_t cards) {
  state.counters["cards"] = static_cast<double>(cards);
  state.counters["cards_per_s"] = static_cast<double>(cards) / pace.seconds();
  const double first = pace.firstUs(), last = pace.lastUs();
  state.counters["first1000_us"] = first;
  state.counters["last1000_us"] = last;
  state.counters["tail_ratio"] = last / first;
  // The longest wait for a card and the card that ended it.
  state.counters["stall_ms"] = pace.stallMs();
  state.counters["stall_at"] = static_cast<double>(pace.stallAt());
}

void BM_RawReadcard(benchmark::State& state) {
  freshReader();
  device::TrackBuffer a, b;
  for (auto _ : state) {
    a.clear();
    b.clear();
    benchmark::DoNotOptimize(reader().readcard(1, 4, a.data(), b.data(), 2, 5000));
    if (reader().logCount() > 100000) reader().clearLog();
  }
  state.counters["cards_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_RawWritecard(benchmark::State& state) {
  freshReader();
  device::TrackBuffer a, b;
  for (auto _ : state) {
    a.assign("6222020200112233445");
    b.assign("CARD BENCH");
    benchmark::DoNotOptimize(reader().writecard(1, 4, a.data(), b.data(), 2, 5000));
    if (reader().logCount() > 100000) reader().clearLog();
  }
  state.counters["cards_per_s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// Runs one batch on a page hosted in a shown form: `start` presses Start,
// `done` counts the cards that have gone through, `running` tells whether
// the worker still runs.
template <class Page>
void runBatch(benchmark::State& state, const std::function<void()>& resetCounter,
              const std::function<void(Page&)>& start,
              const std::function<std::int64_t()>& done,
              const std::function<bool(Page&)>& running) {
  const std::int64_t cards = state.range(0);
  ui::headless::Session session;
  device::PortNumber = 1;
  device::CommandMode = 2;
  device::TimeoutMs = 5000;
  device::DeviceType = 4;
  for (auto _ : state) {
    freshReader();
    ui::Form host("Host");
    host.showForm();
    auto page = std::make_unique<Page>();
    page->setParent(&host);
    Pace pace(cards);
    resetCounter();
    pace.begin();
    start(*page);
    ui::app().runUntil(
        [&] {
          pace.seen(done());
          return !running(*page);
        },
        std::chrono::minutes(30));
    state.SetIterationTime(pace.seconds());
    report(state, pace, cards);
    page.reset();
  }
}

void BM_ContinuousRead(benchmark::State& state) {
  runBatch<TMReadCardFrame1>(
      state, [] { ReadCounter = 1; },
      [&](TMReadCardFrame1& page) {
        page.RadioButton4->setChecked(true);  // tracks 1 and 2: two track lines per card
        page.Edit1->setText(std::to_string(state.range(0)));
        page.Button1->click();
      },
      [] { return static_cast<std::int64_t>(ReadCounter.load()) - 1; },
      [](TMReadCardFrame1& page) { return page.running(); });
}

// Tracks 1 and 2, each a fixed text and a running number.
void BM_ContinuousWrite(benchmark::State& state) {
  runBatch<TMWirteCardFrame1>(
      state, [] { WriteCounter = 1; },
      [&](TMWirteCardFrame1& page) {
        page.RadioButton4->setChecked(true);
        page.Memo1->setText("CARD ");
        page.Edit2->setText("1");
        page.Edit3->setText("1");
        page.Memo2->setText("62220202");
        page.Edit4->setText("100000");
        page.Edit5->setText("1");
        page.Edit1->setText(std::to_string(state.range(0)));
        page.Button1->click();  // "请刷卡！" is answered at once without windows
      },
      [] { return static_cast<std::int64_t>(WriteCounter.load()) - 1; },
      [](TMWirteCardFrame1& page) { return page.running(); });
}

// A file of track 2 data, one line per card, in the temporary folder.
std::string cardFile(std::int64_t cards) {
  const auto path = std::filesystem::temp_directory_path() /
                    ("cardtest-bench-" + std::to_string(cards) + ".txt");
  std::ofstream out(path, std::ios::binary);
  for (std::int64_t i = 0; i < cards; ++i) out << 6222020200000000 + i << "\r\n";
  return path.string();
}

void BM_TextFileWrite(benchmark::State& state) {
  const std::string path = cardFile(state.range(0));
  std::int32_t callsBefore = 0;
  runBatch<TWriteTextFrame1>(
      state, [&] { callsBefore = reader().logCount(); },
      [&](TWriteTextFrame1& page) {
        page.Edit1->setText(path);
        page.RadioGroup1->setItemIndex(1);  // "2股": track 2
        page.Button3->click();
      },
      [&] { return static_cast<std::int64_t>(reader().logCount() - callsBefore); },
      [](TWriteTextFrame1& page) { return page.running(); });
  std::filesystem::remove(path);
}

// Reading and dividing a 10 MB file of a million short lines.
void BM_ReadTextFile(benchmark::State& state) {
  const auto path = std::filesystem::temp_directory_path() / "cardtest-bench-million.txt";
  {
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < 1000000; ++i) out << 10000000 + i << "\r\n";  // 10 bytes a line
  }
  for (auto _ : state) benchmark::DoNotOptimize(cards::readTextLines(path.string()).size());
  state.counters["lines"] = 1e6;
  state.counters["lines_per_s"] =
      benchmark::Counter(1e6 * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  std::filesystem::remove(path);
}

double smallest(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }
double largest(const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); }

// One batch meets the machine in one state: another build on the other core,
// or both threads put on one core, changes the pace of a whole stretch of
// cards several times over. So five batches of each size, reported as their
// medians with the smallest and largest figures beside them.
void batches(benchmark::internal::Benchmark* b) {
  b->Arg(1000)
      ->Arg(10000)
      ->Arg(100000)
      ->UseManualTime()
      ->Iterations(1)
      ->Repetitions(5)
      ->ReportAggregatesOnly(true)
      ->ComputeStatistics("min", smallest)
      ->ComputeStatistics("max", largest)
      ->Unit(benchmark::kMillisecond);
}

}  // namespace

BENCHMARK(BM_ReadTextFile)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RawReadcard)->UseRealTime();
BENCHMARK(BM_RawWritecard)->UseRealTime();
BENCHMARK(BM_ContinuousRead)->Apply(batches);
BENCHMARK(BM_ContinuousWrite)->Apply(batches);
BENCHMARK(BM_TextFileWrite)->Apply(batches);

BENCHMARK_MAIN();
