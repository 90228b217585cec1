// The three card pipelines in the real main window, with the log visible and
// the emulated reader beside the program at zero swipe delay: cards per
// second, per-card time over the first and the last 1,000 cards, how long a
// click waits at the end of a long batch, and the time from process start to
// a shown main window. Each pipeline runs with the program's log control and
// again, at 1,000 cards, with the system's plain edit in its place.
// Usage: win32_bench OUT.json [--quick] [--edit-only|--log-only] [--sizes=N,...]
//                   [--pipelines=read,text,write]
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "EmulatorClient.h"
#include "Operator.h"
#include "app/MainForm.h"
#include "device/CardDevice.h"
#include "device/TrackBuffer.h"
#include "pages/Mreadcardframe01.h"
#include "pages/Mwirtecardframe01.h"
#include "pages/Writetextframe01.h"
#include "ui/Application.h"
#include "ui/Controls.h"
#include "ui/win32/Dpi.h"
#include "ui/win32/Peers.h"
#include "ui/win32/Text.h"
#include "ui/win32/Win32Backend.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using ui::win32::handleOf;

double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// For the comparison, logs can get the system's plain edit instead of the log control.
class BenchBackend : public ui::win32::Win32Backend {
 public:
  bool nativeLog = false;
  std::unique_ptr<ui::Peer> createPeer(ui::Control& c) override {
    if (nativeLog && c.kind() == ui::Kind::Memo && !c.prop("log").empty()) {
      auto peer = std::make_unique<ui::win32::TextPeer>(*this, c);
      if (peer->hwnd()) return peer;
    }
    return Win32Backend::createPeer(c);
  }
};

// The emulator copy that the window loaded, with its control interface.
emu::Client& emulator() {
  static emu::Client client;
  return client;
}

// Moments at which the library's call count reached 0, 1, 2, ... cards,
// watched from a thread of its own so that the window's loop does not blur them.
class Watch {
 public:
  explicit Watch(std::int64_t cards) : at_(static_cast<std::size_t>(cards) + 1) {}
  void start() {
    at_[0] = Clock::now();
    thread_ = std::thread([this] {
      std::size_t seen = 0;
      while (!stop_ && seen + 1 < at_.size()) {
        const auto count = static_cast<std::size_t>(std::max(0, emulator().logCount()));
        const auto now = Clock::now();
        for (; seen < count && seen + 1 < at_.size(); ++seen) at_[seen + 1] = now;
        done_ = seen;
        std::this_thread::sleep_for(200us);
      }
    });
  }
  void finish() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  std::size_t done() const { return done_; }
  Clock::time_point at(std::size_t k) const { return at_[k]; }

 private:
  std::vector<Clock::time_point> at_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<std::size_t> done_{0};
};

// Times a click: a subclass sees the moment its BM_CLICK, handler included, has returned.
std::optional<Clock::time_point> g_clicked;
LRESULT CALLBACK clickProbe(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
  const LRESULT r = DefSubclassProc(hwnd, msg, wp, lp);
  if (msg == BM_CLICK) g_clicked = Clock::now();
  return r;
}
double clickMs(HWND target) {
  SetWindowSubclass(target, clickProbe, 77, 0);
  g_clicked.reset();
  const auto t0 = Clock::now();
  op::press(target);
  op::pumpUntil([] { return g_clicked.has_value(); }, 10000ms);
  RemoveWindowSubclass(target, clickProbe, 77);
  return g_clicked ? ms(*g_clicked - t0) : -1.0;
}

struct Result {
  std::string pipeline;
  std::int64_t cards = 0;
  double cardsPerS = 0, firstUs = 0, lastUs = 0;
  std::optional<double> clickMs, clickRunningMs, startupMs, lastFlushMs, startupRatio;
  bool logVisible = false;
};

class Bench {
 public:
  BenchBackend* backend = nullptr;
  std::unique_ptr<TForm1> form;
  HWND top = nullptr;

  bool open() {
    form = std::make_unique<TForm1>();
    ui::app().setMainForm(form.get());
    form->showForm();
    op::pump(150ms);
    top = handleOf(*form);
    if (!top || !emulator().controllable() || !emulator().readcard) return false;
    emulator().resetState();
    emulator().setSwipeDelayMs(0);
    emulator().setTrack(1, "CARD BENCH");
    emulator().setTrack(2, "6222020200112233445");
    op::BoxAnswerer answerer(IDOK);
    op::press(op::findByText(top, "自动连机", "Button"));  // the emulator answers the three-track model
    return answerer.waitFor(1);
  }

  template <class Page>
  Page* page() { return dynamic_cast<Page*>(form->OperationPage.get()); }

  // A fresh page each batch, so that each log starts empty.
  template <class Page>
  Page* openPage(const char* button) {
    op::press(op::findByText(top, "读卡测试", "Button"));
    op::pumpUntil([&] { return !page<Page>(); });
    op::press(op::findByText(top, button, "Button"));
    op::pumpUntil([&] { return page<Page>() != nullptr; });
    op::pump(100ms);
    return page<Page>();
  }

  static void typeInto(ui::Control* c, const std::string& text) {
    HWND h = handleOf(*c);
    SetFocus(h);
    SendMessageW(h, EM_SETSEL, 0, -1);
    op::type(h, text);
  }

  // Runs one batch already set up; `start` presses Start, `finished` says
  // when the page is done, `probe` is a cheap control to click.
  Result run(const std::string& label, std::int64_t cards, ui::Control* log,
             const std::function<void()>& start, const std::function<bool()>& finished,
             const std::function<HWND()>& probe) {
    Result r;
    r.pipeline = label;
    r.cards = cards;
    emulator().clearLog();
    Watch watch(cards);
    watch.start();
    start();
    // A click while the last thousand cards go through.
    op::pumpUntil([&] { return watch.done() + 1000 >= static_cast<std::size_t>(cards) || finished(); }, 60min);
    r.logVisible = IsWindowVisible(handleOf(*log)) != FALSE;
    if (!finished()) {
      HWND p = probe();
      if (p && IsWindowEnabled(p) && IsWindowVisible(p)) r.clickRunningMs = clickMs(p);
    }
    op::pumpUntil([&] { return watch.done() >= static_cast<std::size_t>(cards) && finished(); }, 60min);
    watch.finish();
    r.logVisible = r.logVisible && IsWindowVisible(handleOf(*log));
    const std::size_t n = std::min<std::size_t>(watch.done(), static_cast<std::size_t>(cards));
    const std::size_t k = std::min<std::size_t>(1000, n > 1 ? n - 1 : 1);
    if (n > k) {
      r.cardsPerS = static_cast<double>(n) / (ms(watch.at(n) - watch.at(0)) / 1000.0);
      // From the first card on: the write page's "请刷卡！" box comes before it.
      r.firstUs = ms(watch.at(k + 1) - watch.at(1)) * 1000.0 / static_cast<double>(k);
      r.lastUs = ms(watch.at(n) - watch.at(n - k)) * 1000.0 / static_cast<double>(k);
    }
    r.cards = static_cast<std::int64_t>(n);
    // One more append at the log's final size, brought in and painted at once:
    // what each 50 ms flush of the log control, or each append to the plain
    // edit, costs by now.
    op::pump(200ms);
    if (ui::Peer* peer = log->peer()) {
      const auto f0 = Clock::now();
      peer->appendText("\r\n---");
      peer->firstVisibleLine();
      UpdateWindow(handleOf(*log));
      r.lastFlushMs = ms(Clock::now() - f0);
    }
    op::pump(200ms);
    double worst = 0;
    for (int i = 0; i < 5; ++i) {
      HWND p = probe();
      if (!p || !IsWindowEnabled(p)) break;
      worst = std::max(worst, clickMs(p));
      op::pump(20ms);
    }
    r.clickMs = worst;
    return r;
  }

  // The floors under every pipeline here: library calls from one thread, and
  // hand-overs of an empty request from a worker to the window's thread.
  Result rawReadcard(std::int64_t calls) {
    Result r;
    r.pipeline = "raw readcard";
    r.cards = calls;
    device::TrackBuffer a, b;
    const auto t0 = Clock::now();
    for (std::int64_t i = 0; i < calls; ++i) {
      a.clear();
      b.clear();
      emulator().readcard(1, 4, a.data(), b.data(), 2, 5000);
      if ((i & 0xFFFF) == 0xFFFF) emulator().clearLog();
    }
    r.cardsPerS = static_cast<double>(calls) / (ms(Clock::now() - t0) / 1000.0);
    emulator().clearLog();
    return r;
  }
  Result handOver(std::int64_t count) {
    Result r;
    r.pipeline = "hand-over only";
    r.cards = count;
    std::atomic<std::int64_t> done{0};
    std::vector<Clock::time_point> at(static_cast<std::size_t>(count) + 1);
    at[0] = Clock::now();
    std::thread worker([&] {
      for (std::int64_t i = 1; i <= count; ++i) {
        ui::app().synchronize(nullptr, [] {});
        at[static_cast<std::size_t>(i)] = Clock::now();
        done = i;
      }
    });
    op::pumpUntil([&] { return done.load() == count; }, 10min);
    worker.join();
    const std::size_t n = static_cast<std::size_t>(count);
    const std::size_t k = std::min<std::size_t>(1000, n - 1);
    r.cardsPerS = static_cast<double>(n) / (ms(at[n] - at[0]) / 1000.0);
    r.firstUs = ms(at[k + 1] - at[1]) * 1000.0 / static_cast<double>(k);
    r.lastUs = ms(at[n] - at[n - k]) * 1000.0 / static_cast<double>(k);
    return r;
  }

  Result read(std::int64_t cards, const std::string& label) {
    auto* p = openPage<TMReadCardFrame1>("连续读卡");
    op::press(handleOf(*p->RadioButton4));  // tracks 1 and 2: two track lines per card
    op::pumpUntil([&] { return p->TrackSelection == 4; });
    typeInto(p->Edit1, std::to_string(cards));
    bool toggle = false;
    return run(label, cards, p->Memo1, [&] { op::press(handleOf(*p->Button1)); },
               [&] { return !p->running() && IsWindowEnabled(handleOf(*p->Button1)); },
               [&] {
                 toggle = !toggle;
                 return handleOf(toggle ? *p->RadioButton1 : *p->RadioButton2);
               });
  }

  Result write(std::int64_t cards, const std::string& label) {
    auto* p = openPage<TMWirteCardFrame1>("连续写卡");
    op::press(handleOf(*p->RadioButton4));
    op::pumpUntil([&] { return p->TrackSelection == 4; });
    typeInto(p->Memo1, "CARD ");
    typeInto(p->Edit2, "1");
    typeInto(p->Edit3, "1");
    typeInto(p->Memo2, "62220202");
    typeInto(p->Edit4, "100000");
    typeInto(p->Edit5, "1");
    typeInto(p->Edit1, std::to_string(cards));
    std::unique_ptr<op::BoxAnswerer> answerer;
    return run(label, cards, p->Memo4,
               [&] {
                 answerer = std::make_unique<op::BoxAnswerer>(IDOK);
                 op::press(handleOf(*p->Button1));
               },
               [&] { return !p->running() && IsWindowEnabled(handleOf(*p->Button1)); },
               [&] { return handleOf(*p->CheckBox1); });
  }

  Result textFile(std::int64_t cards, const std::string& label) {
    wchar_t dir[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, dir);
    const std::wstring path = std::wstring(dir) + L"cardtest-winbench-" + std::to_wstring(cards) + L".txt";
    {
      std::ofstream out(path.c_str(), std::ios::binary);
      for (std::int64_t i = 0; i < cards; ++i) out << 6222020200000000 + i << "\r\n";
    }
    auto* p = openPage<TWriteTextFrame1>("写文本文件");
    SetWindowTextW(handleOf(*p->Edit1), path.c_str());
    op::press(op::children(handleOf(*p->RadioGroup1))[1]);  // "2股": track 2
    op::pumpUntil([&] { return p->RadioGroup1->itemIndex() == 1; });
    bool toggle = false;
    Result r = run(label, cards, p->Memo1, [&] { op::press(handleOf(*p->Button3)); },
                   [&] { return !p->running() && IsWindowEnabled(handleOf(*p->Button3)); },
                   [&] {
                     toggle = !toggle;
                     return handleOf(*p->CheckBox1);
                   });
    DeleteFileW(path.c_str());
    return r;
  }
};

// Start-up: from CreateProcess to a visible top-level window of that process
// with the main window's caption.
struct Seek {
  DWORD pid;
  bool found;
};
BOOL CALLBACK seekMain(HWND hwnd, LPARAM lp) {
  auto* s = reinterpret_cast<Seek*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  // The demo library names itself in the caption: match its beginning.
  if (pid == s->pid && IsWindowVisible(hwnd) && op::text(hwnd).rfind("磁卡读写器测试程序", 0) == 0) {
    s->found = true;
    PostMessageW(hwnd, WM_CLOSE, 0, 0);
    return FALSE;
  }
  return TRUE;
}
double startupMs(bool program) {
  wchar_t exe[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring path = exe;
  if (program) path = path.substr(0, path.find_last_of(L"\\/") + 1) + L"cardtest.exe";
  std::wstring cmd = L"\"" + path + L"\"" + (program ? L"" : L" --empty-window");
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  const auto t0 = Clock::now();
  if (!CreateProcessW(path.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return -1;
  Seek s{pi.dwProcessId, false};
  double result = -1;
  while (Clock::now() - t0 < 20s) {
    EnumWindows(seekMain, reinterpret_cast<LPARAM>(&s));
    if (s.found) {
      result = ms(Clock::now() - t0);
      break;
    }
    if (WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0) break;
    Sleep(1);
  }
  if (WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return result;
}

LRESULT CALLBACK emptyWindowProc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcW(h, m, w, l);
}

// The floor under the program's start-up: a process of this size that shows
// one empty window with the same caption.
int emptyWindow() {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = emptyWindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = L"CardTestBenchEmpty";
  RegisterClassExW(&wc);
  // As large as the program's window at the screen's scaling.
  const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  const int dpi = ui::win32::systemDpi();
  const RECT frame =
      ui::win32::frameAround(ui::win32::scaled(680, dpi), ui::win32::scaled(435, dpi), style, 0, dpi);
  HWND w = CreateWindowExW(0, wc.lpszClassName, ui::win32::widen("磁卡读写器测试程序").c_str(), style, 226,
                           168, frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr,
                           wc.hInstance, nullptr);
  ShowWindow(w, SW_SHOW);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}

std::string num(double v, int digits) {
  char b[64];
  std::snprintf(b, sizeof b, "%.*f", digits, v);
  return b;
}

void writeJson(const std::string& file, const std::vector<Result>& results) {
  std::ofstream out(ui::win32::widen(file).c_str(), std::ios::binary);
  out << "[\n";
  for (std::size_t i = 0; i < results.size(); ++i) {
    const Result& r = results[i];
    out << "  {\"pipeline\": \"" << r.pipeline << "\", \"build\": \"" << (sizeof(void*) == 4 ? "wine32" : "wine64")
        << "\"";
    if (r.cards) {
      out << ", \"cards\": " << r.cards << ", \"cards_per_s\": " << num(r.cardsPerS, 1);
      if (r.firstUs > 0)
        out << ", \"tail_ratio\": " << num(r.lastUs / r.firstUs, 3) << ", \"first1000_us\": " << num(r.firstUs, 1)
            << ", \"last1000_us\": " << num(r.lastUs, 1);
      else
        out << ", \"tail_ratio\": null";
      if (r.clickMs) out << ", \"log_visible\": " << (r.logVisible ? "true" : "false");
    } else {
      out << ", \"cards\": null, \"cards_per_s\": null, \"tail_ratio\": null";
    }
    if (r.clickMs) out << ", \"click_ms\": " << num(*r.clickMs, 1);
    if (r.clickRunningMs) out << ", \"click_running_ms\": " << num(*r.clickRunningMs, 1);
    if (r.lastFlushMs) out << ", \"append_ms\": " << num(*r.lastFlushMs, 1);
    if (r.startupMs) out << ", \"startup_ms\": " << num(*r.startupMs, 1);
    if (r.startupRatio) out << ", \"startup_ratio\": " << num(*r.startupRatio, 2);
    out << "}" << (i + 1 < results.size() ? "," : "") << "\n";
  }
  out << "]\n";
}

}  // namespace

int main(int argc, char** argv) {
  std::string outFile;
  bool quick = false, editOnly = false, logOnly = false, startupOnly = false;
  std::string only = "read,text,write";
  std::vector<std::int64_t> sizes;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--empty-window") return emptyWindow();
    if (a == "--quick") quick = true;
    else if (a == "--startup-only") startupOnly = true;
    else if (a == "--edit-only") editOnly = true;
    else if (a == "--log-only") logOnly = true;
    else if (a.rfind("--pipelines=", 0) == 0) only = a.substr(12);
    else if (a.rfind("--sizes=", 0) == 0) {
      sizes.clear();
      for (std::size_t at = 8; at < a.size();) {
        const std::size_t comma = std::min(a.find(',', at), a.size());
        sizes.push_back(std::stoll(a.substr(at, comma - at)));
        at = comma + 1;
      }
    }
    else outFile = a;
  }
  if (outFile.empty()) {
    std::fprintf(stderr, "usage: win32_bench OUT.json [--quick] [--edit-only|--log-only]\n");
    return 2;
  }
  std::vector<Result> results;

  // Before any window of our own: nothing here waits for this process. The
  // program and the empty window take turns, so that both meet the same load.
  {
    std::vector<double> starts[2];
    for (int i = 0; i < 5; ++i)
      for (bool program : {true, false}) starts[program ? 0 : 1].push_back(startupMs(program));
    for (bool program : {true, false}) {
      std::vector<double>& v = starts[program ? 0 : 1];
      std::sort(v.begin(), v.end());
      Result s;
      s.pipeline = program ? "start-up" : "start-up, empty window";
      if (const int dpi = ui::win32::systemDpi(); dpi != ui::win32::kBaseDpi)
        s.pipeline += " at " + std::to_string(dpi) + " DPI";
      s.startupMs = v[v.size() / 2];
      results.push_back(s);
      std::printf("%s: %s ms to a shown window (median of %zu; %s .. %s)\n", s.pipeline.c_str(),
                  num(*s.startupMs, 0).c_str(), v.size(), num(v.front(), 0).c_str(),
                  num(v.back(), 0).c_str());
    }
    const double ratio = *results[results.size() - 2].startupMs / *results.back().startupMs;
    results[results.size() - 2].startupRatio = ratio;
    std::printf("start-up: %s times the empty window\n", num(ratio, 2).c_str());
    std::fflush(stdout);
  }

  if (startupOnly) {
    writeJson(outFile, results);
    return 0;
  }
  auto owned = std::make_unique<BenchBackend>();
  BenchBackend* backend = owned.get();
  ui::app().setBackend(std::move(owned));
  ui::app().setTitle("");
  {
    Bench b;
    b.backend = backend;
    if (!b.open()) {
      std::fprintf(stderr, "the main window or the emulated reader did not come up\n");
      return 1;
    }
    if (sizes.empty()) sizes = quick ? std::vector<std::int64_t>{1000, 10000} : std::vector<std::int64_t>{10000, 100000};
    std::printf("%-30s%9s%10s%10s%10s%7s%10s%10s%11s\n", sizeof(void*) == 4 ? "pipeline (wine32)" : "pipeline (wine64)", "cards", "cards/s", "first us",
                "last us", "tail", "click ms", "run click", "append ms");
    for (Result r : {b.rawReadcard(200000), b.handOver(std::min<std::int64_t>(sizes.back(), 10000))}) {
      std::printf("%-30s%9lld%10.0f%10.1f%10.1f\n", r.pipeline.c_str(), static_cast<long long>(r.cards),
                  r.cardsPerS, r.firstUs, r.lastUs);
      results.push_back(r);
    }
    // Each batch with the log control, then with the plain edit in its place.
    // The plain edit repaints with every append (about 30 cards a second here
    // at 1,000 cards, fewer as its text grows), so it runs at 1,000 cards at
    // the most, or at the sizes given with --edit-only.
    constexpr std::int64_t kEditCards = 1000;
    for (int pipeline = 0; pipeline < 3; ++pipeline) {
      if (only.find(pipeline == 0 ? "read" : pipeline == 1 ? "text" : "write") == std::string::npos) continue;
      std::vector<std::pair<std::int64_t, bool>> batches;  // cards, plain edit
      if (!editOnly)
        for (std::int64_t cards : sizes) batches.emplace_back(cards, false);
      if (editOnly)
        for (std::int64_t cards : sizes) batches.emplace_back(cards, true);
      else if (!logOnly)
        batches.emplace_back(std::min(kEditCards, sizes.front()), true);
      for (const auto& [cards, native] : batches) {
        backend->nativeLog = native;
        const std::string suffix = native ? ", native edit" : "";
        Result r = pipeline == 0   ? b.read(cards, "continuous read" + suffix)
                   : pipeline == 1 ? b.textFile(cards, "text file" + suffix)
                                   : b.write(cards, "continuous write" + suffix);
        std::printf("%-30s%9lld%10.0f%10.1f%10.1f%7.2f%10.1f%10s%11.1f%s\n", r.pipeline.c_str(),
                    static_cast<long long>(r.cards), r.cardsPerS, r.firstUs, r.lastUs,
                    r.firstUs > 0 ? r.lastUs / r.firstUs : 0.0, r.clickMs.value_or(-1),
                    r.clickRunningMs ? num(*r.clickRunningMs, 1).c_str() : "-", r.lastFlushMs.value_or(-1),
                    r.logVisible ? "" : "  (log not visible!)");
        std::fflush(stdout);
        results.push_back(r);
        writeJson(outFile, results);
      }
    }
    backend->nativeLog = false;
    b.openPage<TMReadCardFrame1>("连续读卡");
    ui::app().setMainForm(nullptr);
    b.form.reset();
  }
  writeJson(outFile, results);
  ui::app().setBackend(nullptr);
  return 0;
}
