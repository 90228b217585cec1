#include "Session.h"

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

#include "CardOracle.h"
#include "EmulatorClient.h"
#include "Operator.h"
#include "app/MainForm.h"
#include "device/Connection.h"
#include "device/DynamicLibrary.h"
#include "pages/Mreadcardframe01.h"
#include "pages/Mwirtecardframe01.h"
#include "pages/Readcardframe01.h"
#include "pages/Wirtecardframe01.h"
#include "pages/Writetextframe01.h"
#include "ui/Application.h"
#include "ui/Thread.h"
#include "ui/win32/Text.h"
#include "ui/win32/Win32Backend.h"

namespace wsession {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using ui::win32::handleOf;
using ui::win32::narrow;
using ui::win32::widen;

constexpr auto kAnswerBound = 2000ms;       // the window answers a message within this
constexpr auto kRestBound = 20000ms;         // a step comes to rest within this
constexpr int kHungSeconds = 30;             // no answer this long: the process is ended
constexpr int kStepSeconds = 90;             // a step this long: the process is ended
constexpr int kNoScript = 1;

// ---- seeded choices ----

// splitmix64: small, and the same on every compiler.
class Rng {
 public:
  Rng(std::uint64_t seed, std::uint64_t stream)
      : state_(seed ^ (0x9E3779B97F4A7C15ull * (stream + 1))) {
    next();
  }
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  int below(int n) { return n <= 0 ? 0 : static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
  int range(int lo, int hi) { return lo + below(hi - lo + 1); }
  bool chance(int percent) { return below(100) < percent; }
  template <class T, std::size_t N>
  const T& pick(const T (&items)[N]) {
    return items[below(static_cast<int>(N))];
  }
  // An index by weight.
  int weighted(std::initializer_list<int> weights) {
    int total = 0;
    for (int w : weights) total += w;
    int r = below(total);
    int i = 0;
    for (int w : weights) {
      if (r < w) return i;
      r -= w;
      ++i;
    }
    return 0;
  }

 private:
  std::uint64_t state_;
};

// ---- what the operator and the reader do ----

const char* const kTexts[] = {"1",    "2",     "3",    "5",          "12",   "0",        "7",
                              "-1",   "abc",   "CARD", "A B_",       "=;?",  "磁卡",     "中文读写",
                              "한",   "lower", " 3 ",  "2147483647", "9=9",  "6200000", "1.5"};
const int kTransferResults[] = {0, 0, 0, -1, -4, -6, -13, -14, -100, -100};
const int kOpencommResults[] = {kNoScript, kNoScript, kNoScript, 0, -1, -5, -6, -7, -8, -9};
const int kDetectAnswers[] = {2428, 2428, 2428, 2412, 2423, 2402, 2403, 1402, 1423, 0, 7, -1, -6, -8};
const int kResetResults[] = {kNoScript, kNoScript, 0, -1, -4};
const char* const kFunctions[] = {"readcard", "writecard"};
// Break-offs the library misses: for a while, or until told otherwise.
constexpr int kMissForever = 1000000;
const int kMissCounts[] = {0, 0, 1, 2, 3, kMissForever, kMissForever};
// A teardown waits the time-out and 2 s for a call that never returns: the
// sessions lose calls with the shortest time-out only.
constexpr int kShortTimeout = 5000;

struct Key {
  UINT vk;
  bool ctrl, shift;
  const char* name;
};
const Key kKeys[] = {
    {VK_ESCAPE, false, false, "Esc"},     {VK_RETURN, false, false, "Enter"},
    {VK_TAB, false, false, "Tab"},        {VK_TAB, false, true, "Shift+Tab"},
    {VK_DELETE, false, false, "Delete"},  {VK_BACK, false, false, "Backspace"},
    {VK_LEFT, false, false, "Left"},      {VK_RIGHT, false, false, "Right"},
    {VK_UP, false, false, "Up"},          {VK_DOWN, false, false, "Down"},
    {VK_HOME, false, false, "Home"},      {VK_END, false, true, "Shift+End"},
    {VK_SPACE, false, false, "Space"},    {'A', true, false, "Ctrl+A"},
    {'C', true, false, "Ctrl+C"},         {'V', true, false, "Ctrl+V"},
    {'X', true, false, "Ctrl+X"},         {VK_NEXT, false, false, "PgDn"},
    {VK_HOME, true, false, "Ctrl+Home"},  {VK_INSERT, false, true, "Shift+Insert"},
    {VK_ESCAPE, false, false, "Esc"},     {VK_SPACE, false, false, "Space"},
};

enum class Page { None, Read, Write, MRead, MWrite, Text, Other };

const char* pageName(Page p) {
  switch (p) {
    case Page::None: return "none";
    case Page::Read: return "read card";
    case Page::Write: return "write card";
    case Page::MRead: return "continuous read";
    case Page::MWrite: return "continuous write";
    case Page::Text: return "text file";
    case Page::Other: return "other";
  }
  return "?";
}

Page kindOf(const ui::Frame* p) {
  if (!p) return Page::None;
  if (dynamic_cast<const TMReadCardFrame1*>(p)) return Page::MRead;
  if (dynamic_cast<const TMWirteCardFrame1*>(p)) return Page::MWrite;
  if (dynamic_cast<const TWriteTextFrame1*>(p)) return Page::Text;
  if (dynamic_cast<const TReadCardFrame1*>(p)) return Page::Read;
  if (dynamic_cast<const TWirteCardFrame1*>(p)) return Page::Write;
  return Page::Other;
}

// The page a box's text belongs to, Page::None for the window's own and the
// common ones.
Page boxPage(const std::string& text) {
  auto has = [&](const char* s) { return text.find(s) != std::string::npos; };
  if (text == "请刷卡！" || text == "确定退出连续写卡？" || has("上一次连续写卡尚未结束")) return Page::MWrite;
  if (has("次写卡失败\r\n  是否继续")) return Page::MWrite;
  if (has("次写卡失败！\r\n  错误代码")) return Page::Text;
  if (has("上一次连续读卡尚未结束")) return Page::MRead;
  if (text == "请选择文本文件！" || text == "文件内容为空！" || has("无法读取文件") || has("文件第") ||
      has("文本文件写卡不能选择") || has("上一次写卡尚未结束") || text == "请选择要写卡的磁道！")
    return Page::Text;
  if (has(":读卡失败！") || has("第3轨数据无法读出")) return Page::Read;
  if (text == "写卡成功！" || has(":写卡失败！") || has("未写卡！") || has("第3轨数据未写入")) return Page::Write;
  return Page::None;
}

std::string className(HWND h) { return op::className(h); }

bool effectivelyEnabled(HWND h, HWND top) {
  for (HWND w = h; w; w = GetParent(w)) {
    if (!IsWindowEnabled(w)) return false;
    if (w == top) break;
  }
  return true;
}

RECT clientRect(HWND h) {
  RECT r{};
  GetClientRect(h, &r);
  return r;
}

void postMouse(HWND h, UINT down, UINT up, WPARAM button, POINT at) {
  const LPARAM lp = MAKELPARAM(at.x, at.y);
  PostMessageW(h, down, button, lp);
  PostMessageW(h, up, 0, lp);
}

// Posted keys do not change the keyboard state: the modifiers are set by hand.
void setModifiers(bool ctrl, bool shift) {
  BYTE state[256];
  GetKeyboardState(state);
  state[VK_CONTROL] = ctrl ? 0x80 : 0;
  state[VK_LCONTROL] = 0;
  state[VK_SHIFT] = shift ? 0x80 : 0;
  state[VK_LSHIFT] = 0;
  state[VK_MENU] = 0;
  SetKeyboardState(state);
}

void postKey(HWND h, UINT vk) {
  const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC)) << 16;
  PostMessageW(h, WM_KEYDOWN, vk, scan | 1);
  PostMessageW(h, WM_KEYUP, vk, scan | 1 | static_cast<LPARAM>(0xC0000000u));
}

bool checked(HWND h) { return h && SendMessageW(h, BM_GETCHECK, 0, 0) == BST_CHECKED; }

// A page's "rewrite failed cards" box as a batch asks it later: unknown once
// the page went (a close may take it before the session's own checks).
std::function<std::optional<bool>()> rewriteOf(HWND box) {
  return [box]() -> std::optional<bool> {
    if (!IsWindow(box)) return std::nullopt;
    return checked(box);
  };
}

std::optional<std::string> ansiDevice(const std::string& utf8) {
  const std::wstring w = widen(utf8);
  if (w.empty()) return std::string();
  BOOL usedDefault = FALSE;
  const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, w.data(), static_cast<int>(w.size()),
                                    nullptr, 0, nullptr, &usedDefault);
  std::string out(static_cast<std::size_t>(std::max(n, 0)), '\0');
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, w.data(), static_cast<int>(w.size()), out.data(), n,
                      nullptr, &usedDefault);
  if (usedDefault) return std::nullopt;
  return out;
}

std::string shortText(std::string s) {
  if (s.size() > 40) s = s.substr(0, 24) + "...(" + std::to_string(s.size()) + " bytes)";
  std::string out;
  for (char c : s) {
    if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else out += c;
  }
  return out;
}

// ---- a watch from another thread: the window answers, no step hangs ----

class Watchdog {
 public:
  explicit Watchdog(std::uint64_t seed) : seed_(seed), thread_([this] { loop(); }) {}
  ~Watchdog() {
    stop_ = true;
    thread_.join();
  }
  void watch(HWND top) { top_ = top; }
  void step(int n) {
    step_ = n;
    stepStarted_ = Clock::now().time_since_epoch().count();
    worst_ = 0;
  }
  // The longest wait for an answer since the step began, an unanswered
  // ping included.
  long long worstMs() const {
    long long worst = worst_;
    const long long since = pingSince_;
    if (since != 0) {
      const long long ms = (Clock::now().time_since_epoch().count() - since) / 1000000;
      worst = std::max(worst, ms);
    }
    return worst;
  }

 private:
  void loop() {
    while (!stop_) {
      std::this_thread::sleep_for(100ms);
      HWND top = top_;
      if (!top) continue;
      const long long begun = Clock::now().time_since_epoch().count();
      pingSince_ = begun;
      DWORD_PTR result = 0;
      const LRESULT ok = SendMessageTimeoutW(top, WM_NULL, 0, 0, SMTO_NORMAL, kHungSeconds * 1000, &result);
      const DWORD error = ok ? 0 : GetLastError();
      pingSince_ = 0;
      const long long ms = (Clock::now().time_since_epoch().count() - begun) / 1000000;
      worst_ = std::max<long long>(worst_, ms);
      if (!ok && error == ERROR_TIMEOUT && top_ == top) die("the main window has not answered for " + std::to_string(kHungSeconds) + " s");
      const long long stepMs = (Clock::now().time_since_epoch().count() - stepStarted_) / 1000000;
      if (step_ > 0 && stepMs > kStepSeconds * 1000) die("the step has not ended in " + std::to_string(kStepSeconds) + " s");
    }
  }
  [[noreturn]] void die(const std::string& what) {
    std::printf("\nFAILED: seed %llu, step %d: %s\nreplay: CARDTEST_SEED=%llu CARDTEST_STEPS=%d win32_sessions.exe\n",
                static_cast<unsigned long long>(seed_), step_.load(), what.c_str(),
                static_cast<unsigned long long>(seed_), step_.load());
    std::fflush(stdout);
    TerminateProcess(GetCurrentProcess(), 3);
    std::abort();
  }

  std::uint64_t seed_;
  std::atomic<HWND> top_{nullptr};
  std::atomic<int> step_{0};
  std::atomic<long long> stepStarted_{0};
  std::atomic<long long> worst_{0};
  std::atomic<long long> pingSince_{0};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// ---- the session ----

struct Broken {
  std::string rule, what;
};

struct Action {
  enum Kind { Wait, Click, Type, Key, Replace, Fill, Drag, Wheel, Menu, Close, Reader, Batch } kind = Wait;
  HWND target = nullptr;
  std::string text;
  std::string what;
};

struct BoxSeen {
  std::string text;
  bool file = false;
  bool menu = false;
  Page page = Page::None;
  std::string pageSerial;
  Clock::time_point opened, due;
  int answer = 0;  // what to do when due
  int tries = 0;
  bool closeFirst = false;  // the main window is asked to close while it is open
};

class Driver;
Driver* g_driver = nullptr;
std::atomic<bool> g_active{false};
std::atomic<int> g_step{0};
std::uint64_t g_seed = 0;

class Driver {
 public:
  explicit Driver(const Options& options);
  ~Driver();
  Outcome run();

 private:
  // steps
  void takeStep(int number);
  Action choose(Rng& rng);
  void perform(Action& act, Rng& rng);
  void settle(Rng& rng);
  void check(const Action& act);
  void takeStartedBatch(ui::Frame* p, Page kind);
  bool sawBox(const char* text) const {
    return std::find(stepBoxes_.begin(), stepBoxes_.end(), text) != stepBoxes_.end();
  }
  [[noreturn]] void broken(const std::string& rule, const std::string& what) { throw Broken{rule, what}; }

  // the window
  void openWindow();
  void closeWindow(bool byOperator);
  ui::Frame* page() const { return form_ ? form_->OperationPage.get() : nullptr; }
  std::string serialOf(const ui::Frame* p) const { return p ? p->prop("ws.serial") : std::string(); }
  void markPage();
  int windowsUnder(HWND h) const;
  std::string nameOf(HWND h) const;
  std::string describe(HWND h) const;
  std::vector<HWND> clickables() const;
  std::vector<HWND> logs() const;
  Page pageButton(HWND h) const;

  // what was there before the step
  struct Before {
    std::string serial;
    Page kind = Page::None;
    oracle::WriteFields fields;
    int selection = 0;
    std::string count;
    std::string path;
    int textSelection = 0;
    bool noTimeout = false;
    const ui::Thread* textWorker = nullptr;
    HWND textStart = nullptr;  // the text page's Start
    std::optional<bool> rewrite;
  } before_;
  void snapshot();
  std::optional<bool> rewriteBox() const;

  // boxes, menus and the file dialog, answered from a thread timer that
  // every modal loop dispatches
  static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD);
  void answerBoxes();
  void answer(HWND box, BoxSeen& seen);
  bool anyOpen() const;

  // the library's call log
  void processLines();
  std::vector<std::string> linesFrom(int index);

  // lost calls: a worker given up inside the library by a teardown
  // The library holds a call while it misses every break-off; one that
  // returns by itself does so within its time-out, which a teardown outwaits.
  bool stuck() { return emu_.pendingCalls() > 0 && missForever_; }
  bool lost() const { return orphaned_ && ui::Thread::running() != 0; }
  void outlived(const std::string& what);
  void releaseLostCalls();
  // the window asked to close from outside, as another program's "End task"
  void postClose();
  void closeTick();

 public:
  // The main window took a posted WM_CLOSE.
  void closeArrived();

 private:

  Options options_;
  Outcome out_;
  emu::Client emu_;
  Watchdog watchdog_;
  std::unique_ptr<TForm1> form_;
  HWND top_ = nullptr;
  HWND sentinel_ = nullptr;
  UINT_PTR timer_ = 0;
  HHOOK hook_ = nullptr;
  int workersBefore_ = 0;
  std::wstring folder_;
  std::vector<oracle::FileCase> files_;
  std::vector<std::string> paths_;
  oracle::Tracker tracker_;
  int logSeen_ = 0;
  int serials_ = 0;
  std::map<std::string, int> pageWindows_;
  bool blocking_[2] = {false, false};
  bool manual_ = false;       // swipes only by emu_swipe()
  bool missForever_ = false;  // break-offs are missed until told otherwise
  bool orphaned_ = false;     // a teardown gave a worker up inside the library
  std::optional<Clock::time_point> closeAt_;  // a WM_CLOSE to post then
  bool closeArrived_ = false;
  int closeLog_ = 0;       // the call log's length when the WM_CLOSE came
  int closeInFlight_ = 0;  // workers that may finish the call they are in

  // the step now
  int step_ = 0;
  Rng* rng_ = nullptr;
  std::map<HWND, BoxSeen> boxes_;
  std::vector<std::string> stepBoxes_;
  std::optional<Broken> tickBroken_;
  bool sentinelSeen_ = false;
  HWND pressed_ = nullptr;       // a push button the step pressed for sure
  HWND maybePressed_ = nullptr;  // one a key may have pressed
  bool closeAsked_ = false;
  bool closePosted_ = false;
  bool lostBefore_ = false;  // a lost call at the step's start
  int logAtStart_ = 0;
  Clock::time_point stepBegan_;
};

// Posted input reaches a window whatever its state; the keyboard and the
// mouse never reach one that a modal box has disabled. What the step posted
// before a box opened (a worker's question) is dropped here, as the system
// drops an operator's input to a disabled window.
HWND g_top = nullptr;
bool g_dropped = false;

bool isInput(UINT m) {
  return (m >= WM_KEYFIRST && m <= WM_KEYLAST) || (m >= WM_MOUSEFIRST && m <= WM_MOUSELAST) ||
         m == WM_CONTEXTMENU || m == WM_SYSCOMMAND || m == BM_CLICK;
}

LRESULT CALLBACK inputFilter(int code, WPARAM wp, LPARAM lp) {
  if (code == HC_ACTION && wp == PM_REMOVE) {
    MSG* m = reinterpret_cast<MSG*>(lp);
    if (g_top && m->hwnd == g_top && m->message == WM_CLOSE && g_driver) g_driver->closeArrived();
    if (g_top && m->hwnd && isInput(m->message) && (m->hwnd == g_top || IsChild(g_top, m->hwnd)) &&
        !IsWindowEnabled(g_top)) {
      m->message = WM_NULL;
      g_dropped = true;
    }
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}

LRESULT CALLBACK sentinelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_APP + 7) {
    if (g_driver) *reinterpret_cast<bool*>(lp) = true;
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

Driver::Driver(const Options& options) : options_(options), watchdog_(options.seed) {
  g_driver = this;
  g_seed = options.seed;
  if (!emu_.controllable()) throw Broken{"setup", "the emulated 40x.dll was not found beside the program"};
  device::DynamicLibrary::setSearchFolderForTests("");
  emu_.resetState();
  emu_.setSwipeDelayMs(0);
  device::PortNumber = 0;
  device::CommandMode = 0;
  device::TimeoutMs = 0;
  device::DeviceType = 0;

  // The session's text files, one with a Chinese name for the wide API.
  static int serial = 0;
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  folder_ = std::wstring(temp) + L"wsession-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(serial++);
  CreateDirectoryW(folder_.c_str(), nullptr);
  files_ = oracle::fileCases();
  files_.push_back({"磁卡数据.txt", "6200\r\n7300\r\n", std::vector<std::string>{"6200", "7300"}});
  for (const oracle::FileCase& f : files_) {
    const std::wstring path = folder_ + L"\\" + widen(f.name);
    if (f.lines) {
      HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
      DWORD written = 0;
      if (!f.bytes.empty()) WriteFile(h, f.bytes.data(), static_cast<DWORD>(f.bytes.size()), &written, nullptr);
      CloseHandle(h);
    }
    paths_.push_back(narrow(path));
  }

  WNDCLASSW wc{};
  wc.lpfnWndProc = sentinelProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"CardTestSessionSentinel";
  RegisterClassW(&wc);
  sentinel_ = CreateWindowExW(0, wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              wc.hInstance, nullptr);
  // A thread timer: the loops of boxes, menus and the file dialog run it too.
  timer_ = SetTimer(nullptr, 0, 20, tick);
  hook_ = SetWindowsHookExW(WH_GETMESSAGE, inputFilter, nullptr, GetCurrentThreadId());
  openWindow();
  emu_.clearLog();
  emu_.resetMostConcurrentTransfers();
}

Driver::~Driver() {
  KillTimer(nullptr, timer_);
  if (hook_) UnhookWindowsHookEx(hook_);
  g_top = nullptr;
  watchdog_.watch(nullptr);
  releaseLostCalls();
  form_.reset();
  ui::app().setMainForm(nullptr);
  ui::app().runUntil([] { return ui::Thread::running() == 0; }, 5000ms);
  ui::app().resetTerminated();
  emu_.resetState();
  if (sentinel_) DestroyWindow(sentinel_);
  for (const std::string& p : paths_) DeleteFileW(widen(p).c_str());
  RemoveDirectoryW(folder_.c_str());
  setModifiers(false, false);
  g_driver = nullptr;
}

void Driver::openWindow() {
  ui::app().resetTerminated();
  form_ = std::make_unique<TForm1>();
  ui::app().setMainForm(form_.get());
  form_->showForm();
  op::pump(30ms);
  top_ = handleOf(*form_);
  g_top = top_;
  watchdog_.watch(top_);
  ++out_.windows;
}

void Driver::closeWindow(bool byOperator) {
  watchdog_.watch(nullptr);
  g_top = nullptr;
  tracker_.pageGone();
  // The real program ends here; the window object goes with its pages,
  // which end their workers first.
  form_.reset();
  ui::app().setMainForm(nullptr);
  outlived(std::string("a worker still ran after the window ") + (byOperator ? "was closed" : "went"));
  if (closeArrived_) {
    closeArrived_ = false;
    if (const auto wrong = oracle::afterClose(linesFrom(closeLog_), closeInFlight_)) broken("no call after the close", *wrong);
  }
  processLines();
  if (ui::Thread::running() == 0) tracker_.clear();
  else tracker_.stop();  // a worker given up inside the library may still log its call
}

void Driver::outlived(const std::string& what) {
  if (ui::Thread::running() == 0) return;
  if (emu_.pendingCalls() > 0 && (orphaned_ || stuck())) {
    orphaned_ = true;
    return;
  }
  // A lost call that returned a moment ago: its worker ends at once.
  if (orphaned_ && ui::app().runUntil([] { return ui::Thread::running() == 0; }, 1000ms)) return;
  const bool ended = ui::app().runUntil([] { return ui::Thread::running() == 0; }, 3000ms);
  broken("worker outlived its page", what + (ended ? " (it ended within 3 s)" : " (still running 3 s later)") +
                                         ", library calls waiting: " + std::to_string(emu_.pendingCalls()));
}

void Driver::releaseLostCalls() {
  emu_.missBreakOffs(0);
  missForever_ = false;
  emu_.swipe();
  if (emu_.endcard) emu_.endcard(2);
}

void Driver::postClose() {
  closeAt_.reset();
  if (!top_ || !IsWindow(top_)) return;
  closeAsked_ = true;
  closePosted_ = true;
  PostMessageW(top_, WM_CLOSE, 0, 0);
  if (options_.trace) std::printf("    WM_CLOSE posted\n");
}

void Driver::closeTick() {
  if (closeAt_ && Clock::now() >= *closeAt_) postClose();
}

void Driver::closeArrived() {
  if (closeArrived_) return;
  closeArrived_ = true;
  closeLog_ = emu_.logCount();
  closeInFlight_ = ui::Thread::running();
}

std::vector<std::string> Driver::linesFrom(int index) {
  std::vector<std::string> out;
  const int count = emu_.logCount();
  for (int i = index; i < count; ++i) {
    const int length = emu_.logLine(i, nullptr, 0);
    std::string line(static_cast<std::size_t>(std::max(length, 0)) + 1, '\0');
    emu_.logLine(i, line.data(), length + 1);
    line.resize(static_cast<std::size_t>(std::max(length, 0)));
    out.push_back(std::move(line));
  }
  return out;
}

void Driver::markPage() {
  ui::Frame* p = page();
  if (!p || !p->prop("ws.serial").empty()) return;
  const std::string serial = std::to_string(++serials_);
  p->setProp("ws.serial", serial);
  pageWindows_[serial] = windowsUnder(handleOf(*p));
}

BOOL CALLBACK countWindow(HWND, LPARAM lp) {
  ++*reinterpret_cast<int*>(lp);
  return TRUE;
}

int Driver::windowsUnder(HWND h) const {
  int n = 0;
  EnumChildWindows(h, countWindow, reinterpret_cast<LPARAM>(&n));
  return n;
}

std::string Driver::nameOf(HWND h) const {
  if (!form_) return {};
  std::function<std::string(const ui::Control&)> find = [&](const ui::Control& c) -> std::string {
    if (handleOf(c) == h) return c.name();
    for (const ui::Control* k : c.children()) {
      std::string n = find(*k);
      if (!n.empty()) return n;
    }
    return {};
  };
  return find(*form_);
}

std::string Driver::describe(HWND h) const {
  if (!h) return "(no window)";
  std::string s = nameOf(h);
  if (s.empty()) s = className(h);
  const std::string text = op::text(h);
  if (!text.empty() && className(h) != "CardTestLog" && _stricmp(className(h).c_str(), "Edit") != 0)
    s += " \"" + shortText(text) + "\"";
  return s;
}

struct Clickables {
  HWND top;
  std::vector<HWND> found;
};

BOOL CALLBACK collectClickable(HWND h, LPARAM lp) {
  auto& c = *reinterpret_cast<Clickables*>(lp);
  if (!IsWindowVisible(h) || !effectivelyEnabled(h, c.top)) return TRUE;
  const std::string cls = className(h);
  if (_stricmp(cls.c_str(), "Button") == 0) {
    if ((GetWindowLongW(h, GWL_STYLE) & BS_TYPEMASK) != BS_GROUPBOX) c.found.push_back(h);
  } else if (cls == "SysTabControl32" || cls == "msctls_updown32" || cls == "CardTestLog" ||
             _stricmp(cls.c_str(), "Edit") == 0) {
    c.found.push_back(h);
  }
  return TRUE;
}

std::vector<HWND> Driver::clickables() const {
  if (!top_) return {};
  Clickables c{top_, {}};
  EnumChildWindows(top_, collectClickable, reinterpret_cast<LPARAM>(&c));
  return c.found;
}

std::vector<HWND> Driver::logs() const {
  std::vector<HWND> out;
  for (HWND h : clickables())
    if (className(h) == "CardTestLog") out.push_back(h);
  return out;
}

Page Driver::pageButton(HWND h) const {
  if (!form_ || !h) return Page::None;
  if (h == handleOf(*form_->Button1)) return Page::Read;
  if (h == handleOf(*form_->Button2)) return Page::Write;
  if (h == handleOf(*form_->Button4)) return Page::MRead;
  if (h == handleOf(*form_->Button5)) return Page::MWrite;
  if (h == handleOf(*form_->Button6)) return Page::Text;
  return Page::None;
}

std::optional<bool> Driver::rewriteBox() const {
  ui::Frame* p = page();
  if (auto* w = dynamic_cast<TMWirteCardFrame1*>(p)) return checked(handleOf(*w->CheckBox1));
  if (auto* t = dynamic_cast<TWriteTextFrame1*>(p)) return checked(handleOf(*t->CheckBox1));
  return std::nullopt;
}

void Driver::snapshot() {
  Before b;
  ui::Frame* p = page();
  b.serial = serialOf(p);
  b.kind = kindOf(p);
  if (auto* w = dynamic_cast<TMWirteCardFrame1*>(p)) {
    auto t = [](ui::Control* c) { return op::text(handleOf(*c)); };
    b.fields.text = {t(w->Memo1), t(w->Memo2), t(w->Memo3)};
    b.fields.start = {t(w->Edit2), t(w->Edit4), t(w->Edit6)};
    b.fields.step = {t(w->Edit3), t(w->Edit5), t(w->Edit7)};
    ui::RadioButton* const r[] = {w->RadioButton1, w->RadioButton2, w->RadioButton3,
                                  w->RadioButton4, w->RadioButton5, w->RadioButton6};
    for (int i = 0; i < 6; ++i)
      if (checked(handleOf(*r[i]))) b.selection = i + 1;
    b.count = t(w->Edit1);
  }
  if (auto* t = dynamic_cast<TWriteTextFrame1*>(p)) {
    b.path = op::text(handleOf(*t->Edit1));
    const std::vector<HWND> items = op::children(handleOf(*t->RadioGroup1));
    for (std::size_t i = 0; i < items.size(); ++i)
      if (checked(items[i])) b.textSelection = static_cast<int>(i) + 1;
    b.noTimeout = checked(handleOf(*t->CheckBox2));
    b.textWorker = t->lastWorker().get();
    b.textStart = handleOf(*t->Button3);
  }
  b.rewrite = rewriteBox();
  before_ = std::move(b);
}

void Driver::processLines() {
  const int count = emu_.logCount();
  for (int i = logSeen_; i < count; ++i) {
    const int length = emu_.logLine(i, nullptr, 0);
    std::string line(static_cast<std::size_t>(std::max(length, 0)) + 1, '\0');
    emu_.logLine(i, line.data(), length + 1);
    line.resize(static_cast<std::size_t>(std::max(length, 0)));
    if (line.rfind("writecard(", 0) != 0) continue;
    // The write-card test page writes one card per press, on its own.
    if (!tracker_.running() && (before_.kind == Page::Write || kindOf(page()) == Page::Write)) continue;
    // Two calls at once explain a card of another run: say that first.
    if (emu_.mostConcurrentTransfers() > 1)
      broken("one call at a time", "two readcard/writecard calls were inside the library at once");
    if (const auto wrong = tracker_.take(line)) broken("card data", *wrong);
    ++out_.writesChecked;
  }
  logSeen_ = count;
}

// ---- boxes ----

struct Dialogs {
  std::vector<HWND> found;
};

BOOL CALLBACK collectDialogs(HWND hwnd, LPARAM lp) {
  if (IsWindowVisible(hwnd) && (className(hwnd) == "#32770" || className(hwnd) == "#32768"))
    reinterpret_cast<Dialogs*>(lp)->found.push_back(hwnd);
  return TRUE;
}

std::vector<HWND> openDialogs() {
  Dialogs d;
  EnumThreadWindows(GetCurrentThreadId(), collectDialogs, reinterpret_cast<LPARAM>(&d));
  // A menu of the thread is a top-level window that EnumThreadWindows may
  // not list.
  HWND menu = FindWindowW(L"#32768", nullptr);
  if (menu && IsWindowVisible(menu) && GetWindowThreadProcessId(menu, nullptr) == GetCurrentThreadId() &&
      std::find(d.found.begin(), d.found.end(), menu) == d.found.end())
    d.found.push_back(menu);
  return d.found;
}

std::string boxText(HWND box) {
  for (HWND c : op::children(box)) {
    if (_stricmp(className(c).c_str(), "Static") != 0) continue;
    if ((GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) continue;
    const std::string t = op::text(c);
    if (!t.empty()) return t;
  }
  return {};
}

constexpr int kFileNameCombo = 0x47c;
constexpr int kFileNameEdit = 0x480;

bool Driver::anyOpen() const { return !openDialogs().empty(); }

void CALLBACK Driver::tick(HWND, UINT, UINT_PTR, DWORD) {
  if (g_driver) {
    g_driver->closeTick();
    g_driver->answerBoxes();
  }
}

void Driver::answerBoxes() {
  const std::vector<HWND> open = openDialogs();
  const auto now = Clock::now();
  for (auto it = boxes_.begin(); it != boxes_.end();) {
    if (std::find(open.begin(), open.end(), it->first) == open.end()) it = boxes_.erase(it);
    else ++it;
  }
  for (HWND box : open) {
    auto found = boxes_.find(box);
    if (found == boxes_.end()) {
      // First sight: whose box it is, and the answer.
      BoxSeen seen;
      seen.opened = now;
      seen.menu = className(box) == "#32768";
      seen.file = !seen.menu && (GetDlgItem(box, kFileNameCombo) || GetDlgItem(box, kFileNameEdit));
      seen.text = seen.menu ? std::string("(context menu)") : seen.file ? std::string("(file dialog)") : boxText(box);
      seen.page = boxPage(seen.text);
      const ui::Frame* p = page();
      seen.pageSerial = serialOf(p);
      Rng fallback(options_.seed ^ 0xB0C5u, static_cast<std::uint64_t>(step_) * 131 + boxes_.size());
      Rng& rng = rng_ ? *rng_ : fallback;
      seen.answer = rng.below(100);
      seen.closeFirst = rng.chance(2);
      const int delay = seen.file ? rng.range(60, 250) : seen.menu ? rng.range(20, 150) : rng.range(0, 120);
      seen.due = now + std::chrono::milliseconds(delay);
      if (!seen.menu) {
        stepBoxes_.push_back(seen.text);
        ++out_.boxes;
        HWND owner = GetWindow(box, GW_OWNER);
        if (!seen.file && owner != top_ && !tickBroken_ && GetWindow(owner, GW_OWNER) != top_)
          tickBroken_ = Broken{"box owner", "the box \"" + shortText(seen.text) + "\" is not owned by the main window"};
      }
      if (seen.page != Page::None && seen.page != kindOf(p) && !tickBroken_)
        tickBroken_ = Broken{"box of a gone page", "the box \"" + shortText(seen.text) + "\" of the " +
                                                       pageName(seen.page) + " page opened while the " +
                                                       pageName(kindOf(p)) + " page is shown"};
      if (options_.trace) std::printf("    box: %s\n", shortText(seen.text).c_str());
      found = boxes_.emplace(box, std::move(seen)).first;
    }
    BoxSeen& seen = found->second;
    if (seen.page != Page::None && serialOf(page()) != seen.pageSerial && !tickBroken_)
      tickBroken_ = Broken{"box of a gone page", "the box \"" + shortText(seen.text) + "\" is still open after its " +
                                                     pageName(seen.page) + " page went"};
    if (now < seen.due) continue;
    answer(box, seen);
  }
}

void Driver::answer(HWND box, BoxSeen& seen) {
  if (seen.closeFirst) {
    // Another program ends this one while the box is open; the box is
    // answered after that.
    seen.closeFirst = false;
    seen.due = Clock::now() + 60ms;
    postClose();
    return;
  }
  setModifiers(false, false);
  const int tries = seen.tries++;
  seen.due = Clock::now() + 400ms;
  if (tries > 25 && !tickBroken_)
    tickBroken_ = Broken{"box does not close", "\"" + shortText(seen.text) + "\" stayed open after " +
                                                   std::to_string(tries) + " answers"};
  const int a = tries > 3 ? 0 : seen.answer;  // later tries: the plainest answer
  if (seen.menu) {
    // An item by its letter, or Esc; a greyed item leaves the menu open, and
    // the next try is Esc.
    const char letters[] = {'t', 'c', 'p', 'd', 'a'};
    if (tries == 0 && a < 70) PostMessageW(box, WM_CHAR, static_cast<WPARAM>(letters[a % 5]), 0);
    else postKey(box, VK_ESCAPE);
    return;
  }
  if (seen.file) {
    if (tries == 0 && a < 70) {
      const std::size_t i = static_cast<std::size_t>(a) % paths_.size();
      HWND name = GetDlgItem(box, kFileNameCombo);
      if (!name) name = GetDlgItem(box, kFileNameEdit);
      SetWindowTextW(name, widen(paths_[i]).c_str());
      if (options_.trace) std::printf("    file: %s\n", files_[i].name);
      PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    } else if (a < 80 || tries > 0) {
      PostMessageW(GetDlgItem(box, IDCANCEL), BM_CLICK, 0, 0);
    } else if (a < 90) {
      HWND focus = GetFocus();
      postKey(focus && IsChild(box, focus) ? focus : box, VK_ESCAPE);
    } else {
      PostMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
    return;
  }
  // A message box or question: OK, Cancel, Esc, Enter or its close box.
  HWND focus = GetFocus();
  HWND keys = focus && IsChild(box, focus) ? focus : box;
  if (a < 45) {
    if (HWND ok = GetDlgItem(box, IDOK)) PostMessageW(ok, BM_CLICK, 0, 0);
    else PostMessageW(box, WM_COMMAND, IDOK, 0);
  } else if (a < 65) {
    if (HWND cancel = GetDlgItem(box, IDCANCEL)) PostMessageW(cancel, BM_CLICK, 0, 0);
    else PostMessageW(box, WM_CLOSE, 0, 0);
  } else if (a < 78) {
    postKey(keys, VK_ESCAPE);
  } else if (a < 88) {
    postKey(keys, VK_RETURN);
  } else {
    PostMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0);
  }
}

// ---- steps ----

Outcome Driver::run() {
  const auto started = Clock::now();
  g_active = true;
  try {
    for (int i = 0; i < options_.steps; ++i) {
      const int number = i + 1;
      bool skipped = false;
      for (const auto& [from, to] : options_.skip)
        if (number >= from && number < to) skipped = true;
      if (skipped) continue;
      takeStep(number);
      ++out_.steps;
    }
    step_ = options_.steps + 1;
    if (options_.trace) std::printf("end of the session\n");
    if (options_.steps >= 500 && !std::getenv("CARDTEST_NO_SCREENSHOT")) op::screenshot(top_, "window-session-end");
    closeWindow(false);
    if (emu_.mostConcurrentTransfers() > 1)
      broken("one call at a time", "two readcard/writecard calls were inside the library at once");
  } catch (const Broken& b) {
    out_.failure = Failure{step_, b.rule, b.what};
  }
  g_active = false;
  out_.milliseconds = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started).count());
  return out_;
}

void Driver::takeStep(int number) {
  Rng rng(options_.seed, static_cast<std::uint64_t>(number));
  step_ = number;
  g_step = number;
  rng_ = &rng;
  watchdog_.step(number);
  stepBoxes_.clear();
  pressed_ = maybePressed_ = nullptr;
  closeAsked_ = false;
  closePosted_ = false;
  closeAt_.reset();
  g_dropped = false;
  workersBefore_ = ui::Thread::running();
  markPage();
  processLines();
  snapshot();
  lostBefore_ = lost();
  logAtStart_ = emu_.logCount();
  if (missForever_ && device::TimeoutMs > kShortTimeout) {
    emu_.missBreakOffs(3);
    missForever_ = false;
  }

  stepBegan_ = Clock::now();
  Action act = choose(rng);
  // Now and then another program ends this one at a moment of the step.
  if (rng.chance(1)) {
    const int ms = rng.range(0, 300);
    closeAt_ = Clock::now() + std::chrono::milliseconds(ms);
    act.what += " (WM_CLOSE after " + std::to_string(ms) + " ms)";
  }
  try {
    perform(act, rng);
    if (options_.trace) std::printf("%d: %s\n", number, act.what.c_str());
    settle(rng);
    check(act);
  } catch (Broken& b) {
    b.what = act.what + ": " + b.what;
    throw;
  }
  rng_ = nullptr;
}

Action Driver::choose(Rng& rng) {
  Action act;
  const Page shownPage = kindOf(page());
  const bool continuous = shownPage == Page::MRead || shownPage == Page::MWrite || shownPage == Page::Text;
  const bool onTab = form_ && form_->PageControl1->activeSheet() == form_->TabSheet2;
  const int kind = rng.weighted({3, 36, 6, 13, 3, 3, 1, 3, 1, 11, 16, continuous && onTab ? 8 : 0});
  HWND focus = GetFocus();
  if (focus && focus != top_ && !IsChild(top_, focus)) focus = nullptr;
  switch (kind) {
    case 10: {
      // A field filled in: clicked, all of it chosen, the new text typed.
      std::vector<HWND> edits;
      for (HWND h : clickables())
        if (_stricmp(className(h).c_str(), "Edit") == 0) edits.push_back(h);
      if (edits.empty()) break;
      act.kind = Action::Fill;
      act.target = edits[static_cast<std::size_t>(rng.below(static_cast<int>(edits.size())))];
      const char* const numbers[] = {"1", "2", "3", "4", "5", "2", "3", "12", "0", "10", "0", "1"};
      const char* const tracks[] = {"CARD", "62", "12=34", "A B_", "", "7", "9;?", "B62^X"};
      const bool memo = (GetWindowLongW(act.target, GWL_STYLE) & ES_MULTILINE) != 0;
      act.text = rng.chance(80) ? std::string(memo ? rng.pick(tracks) : rng.pick(numbers)) : std::string(rng.pick(kTexts));
      act.what = "fill " + describe(act.target) + " with \"" + shortText(act.text) + "\"";
      break;
    }
    case 11:
      // What an operator does to start a run: the count (or the file), then Start.
      act.kind = Action::Batch;
      act.text = std::to_string(rng.range(1, 6));
      act.what = shownPage == Page::Text ? "choose a file and start" : "start a run of " + act.text;
      break;
    case 0:
      act.kind = Action::Wait;
      act.text = std::to_string(rng.range(10, 150));
      act.what = "wait " + act.text + " ms";
      break;
    case 1: {
      // Buttons that do something more often than radio buttons; the exit
      // seldom, so that sessions get somewhere between two windows.
      const std::vector<HWND> all = clickables();
      std::vector<int> weights;
      int total = 0;
      for (HWND h : all) {
        const std::string cls = className(h);
        int w = 2;
        if (_stricmp(cls.c_str(), "Button") == 0) {
          const LONG type = GetWindowLongW(h, GWL_STYLE) & BS_TYPEMASK;
          const bool push = type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
          w = push ? 3 : type == BS_AUTORADIOBUTTON || type == BS_RADIOBUTTON ? 1 : 2;
          // A page's own buttons most: that is where batches start and stop.
          if (push && page() && IsChild(handleOf(*page()), h)) w = 12;
          if (form_ && (h == handleOf(*form_->Button3) || h == handleOf(*form_->Button12)))
            w = form_->OperationPage ? 2 : 6;
          if (form_ && h == handleOf(*form_->Button11)) w = 1;
        } else if (cls == "SysTabControl32") {
          w = 5;
        }
        weights.push_back(w);
        total += w;
      }
      if (all.empty()) break;
      int r = rng.below(total);
      std::size_t i = 0;
      while (r >= weights[i]) r -= weights[i++];
      act.kind = Action::Click;
      act.target = all[i];
      act.what = "click " + describe(act.target);
      break;
    }
    case 2:
    case 4: {
      act.kind = kind == 2 ? Action::Type : Action::Replace;
      act.target = focus ? focus : top_;
      act.text = rng.chance(4) ? std::string(320, '7') : std::string(rng.pick(kTexts));
      act.what = std::string(kind == 2 ? "type \"" : "Ctrl+A, type \"") + shortText(act.text) + "\" into " + describe(act.target);
      break;
    }
    case 3: {
      act.kind = Action::Key;
      act.target = focus ? focus : top_;
      const Key& k = rng.pick(kKeys);
      act.text = k.name;
      act.what = std::string("key ") + k.name + " on " + describe(act.target);
      break;
    }
    case 5:
    case 6:
    case 7: {
      const std::vector<HWND> l = logs();
      if (l.empty()) break;
      act.target = l[static_cast<std::size_t>(rng.below(static_cast<int>(l.size())))];
      act.kind = kind == 5 ? Action::Drag : kind == 6 ? Action::Wheel : Action::Menu;
      act.what = std::string(kind == 5 ? "drag in " : kind == 6 ? "wheel in " : "context menu of ") + describe(act.target);
      break;
    }
    case 8:
      act.kind = Action::Close;
      act.what = "close the window from its title bar";
      break;
    default:
      act.kind = Action::Reader;
      act.what = "reader: ";
      break;
  }
  if (act.kind == Action::Wait && act.what.empty()) {
    act.text = "50";
    act.what = "wait 50 ms";
  }
  return act;
}

void Driver::perform(Action& act, Rng& rng) {
  // The single-card pages call the library on the user-interface thread, by
  // design: a call that blocks there would hold the window. While such a page
  // is shown, no call blocks.
  const Page shown = kindOf(page());
  if ((shown == Page::Read || shown == Page::Write) && (blocking_[0] || blocking_[1] || manual_)) {
    for (int i = 0; i < 2; ++i) {
      emu_.setBlocking(kFunctions[i], 0);
      blocking_[i] = false;
    }
    emu_.setManualSwipe(0);
    manual_ = false;
  }
  switch (act.kind) {
    case Action::Wait: op::pump(std::chrono::milliseconds(std::atoi(act.text.c_str()))); break;
    case Action::Click: {
      HWND h = act.target;
      const std::string cls = className(h);
      const RECT r = clientRect(h);
      if (cls == "SysTabControl32") {
        const int n = static_cast<int>(SendMessageW(h, TCM_GETITEMCOUNT, 0, 0));
        const int item = rng.below(std::max(n, 1));
        RECT ir{};
        SendMessageW(h, TCM_GETITEMRECT, item, reinterpret_cast<LPARAM>(&ir));
        act.what += " tab " + std::to_string(item + 1) + (n > item ? " \"" + op::tabTexts(h)[static_cast<std::size_t>(item)] + "\"" : "");
        postMouse(h, WM_LBUTTONDOWN, WM_LBUTTONUP, MK_LBUTTON, {(ir.left + ir.right) / 2, (ir.top + ir.bottom) / 2});
      } else if (cls == "msctls_updown32") {
        const bool up = rng.chance(50);
        act.what += up ? " up" : " down";
        postMouse(h, WM_LBUTTONDOWN, WM_LBUTTONUP, MK_LBUTTON, {r.right / 2, up ? r.bottom / 4 : r.bottom * 3 / 4});
      } else if (_stricmp(cls.c_str(), "Button") == 0) {
        const LONG type = GetWindowLongW(h, GWL_STYLE) & BS_TYPEMASK;
        if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) pressed_ = h;
        if (form_ && h == handleOf(*form_->Button11)) closeAsked_ = true;
        postMouse(h, WM_LBUTTONDOWN, WM_LBUTTONUP, MK_LBUTTON, {r.right / 2, r.bottom / 2});
      } else {
        const POINT at{rng.range(1, std::max(1L, r.right - 2)), rng.range(1, std::max(1L, r.bottom - 2))};
        const bool shift = cls == "CardTestLog" && rng.chance(20);
        if (rng.chance(15)) {
          act.what += " twice";
          PostMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(at.x, at.y));
          PostMessageW(h, WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
          PostMessageW(h, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(at.x, at.y));
          PostMessageW(h, WM_LBUTTONUP, 0, MAKELPARAM(at.x, at.y));
        } else {
          postMouse(h, WM_LBUTTONDOWN, WM_LBUTTONUP, MK_LBUTTON | (shift ? MK_SHIFT : 0), at);
        }
      }
      break;
    }
    case Action::Type:
    case Action::Replace:
    case Action::Fill: {
      HWND h = act.target;
      if (act.kind == Action::Fill) {
        const RECT r = clientRect(h);
        postMouse(h, WM_LBUTTONDOWN, WM_LBUTTONUP, MK_LBUTTON, {r.right / 2, r.bottom / 2});
        settle(rng);
      }
      if (act.kind != Action::Type) {
        setModifiers(true, false);
        postKey(h, 'A');
        settle(rng);
        setModifiers(false, false);
      }
      for (wchar_t c : widen(act.text)) PostMessageW(h, WM_CHAR, c, 1);
      if (act.text.find(' ') != std::string::npos) maybePressed_ = h;
      break;
    }
    case Action::Key: {
      const Key* k = nullptr;
      for (const Key& key : kKeys)
        if (act.text == key.name) k = &key;
      if (!k) break;
      if (k->vk == VK_SPACE || k->vk == VK_RETURN) maybePressed_ = act.target;
      if (k->vk == VK_SPACE && act.target && _stricmp(className(act.target).c_str(), "Button") == 0) {
        const LONG type = GetWindowLongW(act.target, GWL_STYLE) & BS_TYPEMASK;
        if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) pressed_ = act.target;
        if (form_ && act.target == handleOf(*form_->Button11)) closeAsked_ = true;
      }
      if (k->vk == VK_RETURN && form_ && act.target == handleOf(*form_->Button11)) closeAsked_ = true;
      if (rng.chance(10)) {
        // Something to paste, as if copied in another program.
        op::setClipboardText(rng.pick(kTexts));
      }
      setModifiers(k->ctrl, k->shift);
      postKey(act.target, k->vk);
      break;
    }
    case Action::Drag: {
      HWND h = act.target;
      const RECT r = clientRect(h);
      const POINT a{rng.range(0, std::max(0L, r.right - 1)), rng.range(0, std::max(0L, r.bottom - 1))};
      // Sometimes past the lower edge, where the view scrolls.
      const POINT b{rng.range(0, std::max(0L, r.right - 1)), rng.range(0, static_cast<int>(r.bottom + 40))};
      PostMessageW(h, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(a.x, a.y));
      for (int i = 1; i <= 4; ++i)
        PostMessageW(h, WM_MOUSEMOVE, MK_LBUTTON,
                     MAKELPARAM(a.x + (b.x - a.x) * i / 4, a.y + (b.y - a.y) * i / 4));
      PostMessageW(h, WM_LBUTTONUP, 0, MAKELPARAM(b.x, b.y));
      break;
    }
    case Action::Wheel: {
      RECT wr{};
      GetWindowRect(act.target, &wr);
      const short delta = static_cast<short>(rng.chance(50) ? 120 : -240);
      PostMessageW(act.target, WM_MOUSEWHEEL, MAKEWPARAM(0, delta), MAKELPARAM(wr.left + 5, wr.top + 5));
      break;
    }
    case Action::Menu: {
      HWND h = act.target;
      if (rng.chance(70)) {
        const RECT r = clientRect(h);
        postMouse(h, WM_RBUTTONDOWN, WM_RBUTTONUP, MK_RBUTTON,
                  {rng.range(0, std::max(0L, r.right - 1)), rng.range(0, std::max(0L, r.bottom - 1))});
      } else {
        act.what += " (from the keyboard)";
        PostMessageW(h, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(h), -1);
      }
      break;
    }
    case Action::Batch: {
      ui::Frame* p = page();
      HWND count = nullptr, start = nullptr, file = nullptr;
      if (auto* r = dynamic_cast<TMReadCardFrame1*>(p)) count = handleOf(*r->Edit1), start = handleOf(*r->Button1);
      if (auto* w = dynamic_cast<TMWirteCardFrame1*>(p)) count = handleOf(*w->Edit1), start = handleOf(*w->Button1);
      if (auto* t = dynamic_cast<TWriteTextFrame1*>(p)) file = handleOf(*t->Button1), start = handleOf(*t->Button3);
      auto usable = [&](HWND h) { return h && IsWindowVisible(h) && effectivelyEnabled(h, top_); };
      if (usable(count)) {
        const RECT r = clientRect(count);
        postMouse(count, WM_LBUTTONDOWN, WM_LBUTTONUP, MK_LBUTTON, {r.right / 2, r.bottom / 2});
        settle(rng);
        setModifiers(true, false);
        postKey(count, 'A');
        settle(rng);
        for (wchar_t c : widen(act.text)) PostMessageW(count, WM_CHAR, c, 1);
        settle(rng);
      }
      if (usable(file)) {
        const RECT r = clientRect(file);
        postMouse(file, WM_LBUTTONDOWN, WM_LBUTTONUP, MK_LBUTTON, {r.right / 2, r.bottom / 2});
        settle(rng);
      }
      // The fields as Start finds them.
      processLines();
      snapshot();
      if (usable(start)) {
        pressed_ = start;
        const RECT r = clientRect(start);
        postMouse(start, WM_LBUTTONDOWN, WM_LBUTTONUP, MK_LBUTTON, {r.right / 2, r.bottom / 2});
      }
      break;
    }
    case Action::Close:
      closeAsked_ = true;
      PostMessageW(top_, WM_SYSCOMMAND, SC_CLOSE, 0);
      break;
    case Action::Reader: {
      const Page now = kindOf(page());
      const bool continuous = now == Page::MRead || now == Page::MWrite || now == Page::Text;
      const bool text = now == Page::Text;
      const bool isLost = lost();
      switch (rng.weighted({10, continuous ? 3 : 0, 3, 2, 1, 1, 1, (continuous ? 2 : 1) + (isLost ? 3 : 0),
                            continuous ? 2 : 0, 2 + (isLost ? 6 : 0), text ? 4 : continuous ? 1 : 0})) {
        case 0: {
          const int f = rng.below(2);
          const int r = rng.pick(kTransferResults);
          emu_.script(kFunctions[f], {r});
          act.what += std::string(kFunctions[f]) + " answers " + std::to_string(r) + " next";
          break;
        }
        case 1: {
          const int f = rng.below(2);
          blocking_[f] = !blocking_[f] && rng.chance(40);
          emu_.setBlocking(kFunctions[f], blocking_[f]);
          act.what += std::string(kFunctions[f]) + (blocking_[f] ? " blocks" : " does not block");
          break;
        }
        case 2: {
          const int ms = rng.range(0, 50);
          emu_.setSwipeDelayMs(ms);
          act.what += "swipe after " + std::to_string(ms) + " ms";
          break;
        }
        case 3: {
          const bool on = rng.chance(40);
          emu_.setUnterminatedBuffers(on);
          act.what += std::string("buffers ") + (on ? "without" : "with") + " a terminating zero";
          break;
        }
        case 4: {
          const int a = rng.pick(kDetectAnswers);
          emu_.setDetectAnswer(a);
          act.what += "detect answers " + std::to_string(a);
          break;
        }
        case 5: {
          const int r = rng.pick(kOpencommResults);
          if (r != kNoScript) emu_.script("opencomm", {r});
          act.what += "opencomm answers " + (r == kNoScript ? std::string("as usual") : std::to_string(r)) + " next";
          break;
        }
        case 7: {
          int count = rng.pick(kMissCounts);
          if (count >= kMissForever && device::TimeoutMs > kShortTimeout) count = 3;
          emu_.missBreakOffs(count);
          missForever_ = count >= kMissForever;
          act.what += missForever_ ? std::string("misses every break-off") : "misses the next " + std::to_string(count) + " break-offs";
          break;
        }
        case 8: {
          manual_ = !manual_ && rng.chance(50);
          emu_.setManualSwipe(manual_);
          act.what += manual_ ? "swipes by hand" : "swipes by itself";
          break;
        }
        case 9:
          emu_.swipe();
          act.what += "a card is swiped";
          break;
        case 10: {
          // The reader goes silent: every break-off missed, and the next call
          // waits for a swipe nobody makes (a run without a time-out), or
          // blocks (now and then; its teardown waits the time-out and 2 s).
          auto* t = dynamic_cast<TWriteTextFrame1*>(page());
          const bool noTimeout = t && checked(handleOf(*t->CheckBox2));
          const bool block = !noTimeout && rng.chance(20);
          if (device::TimeoutMs > kShortTimeout || (!noTimeout && !block)) {
            act.what += "stays as it is";
            break;
          }
          if (noTimeout) {
            manual_ = true;
            emu_.setManualSwipe(1);
          } else {
            for (int f = 0; f < 2; ++f) {
              blocking_[f] = true;
              emu_.setBlocking(kFunctions[f], 1);
            }
          }
          emu_.missBreakOffs(kMissForever);
          missForever_ = true;
          act.what += noTimeout ? "goes silent: misses every break-off, waits for a swipe" : "goes silent: misses every break-off, blocks";
          break;
        }
        default: {
          const int r = rng.pick(kResetResults);
          if (r != kNoScript) emu_.script("reset", {r});
          act.what += "reset answers " + (r == kNoScript ? std::string("as usual") : std::to_string(r)) + " next";
          break;
        }
      }
      break;
    }
  }
}

void Driver::settle(Rng& rng) {
  // Posted messages come in order: once the sentinel is through, so is what
  // the step posted (and what that posted in turn, after a second round).
  for (int round = 0; round < 2; ++round) {
    sentinelSeen_ = false;
    PostMessageW(sentinel_, WM_APP + 7, 0, reinterpret_cast<LPARAM>(&sentinelSeen_));
    const bool rest = ui::app().runUntil([&] { return sentinelSeen_ && !anyOpen(); }, kRestBound);
    setModifiers(false, false);
    if (tickBroken_) {
      const Broken b = *tickBroken_;
      tickBroken_.reset();
      throw b;
    }
    if (!rest) broken("step comes to rest", "a box, menu or dialog was still open after " +
                                                std::to_string(kRestBound.count() / 1000) + " s");
  }
  // A moment for the workers, as the operator would give them.
  const int ms = rng.range(0, 25);
  if (ms > 0) op::pump(std::chrono::milliseconds(ms));
}

// A run started in this step on the page of its start, checked card by card
// from here on; p is null when a close in the same step took the page.
void Driver::takeStartedBatch(ui::Frame* p, Page kind) {
  // Without a worker at the step's start the last batch is over: a batch
  // with the same fields must not pass for it.
  auto newBatch = [&](oracle::Batch b) {
    if (workersBefore_ == 0) tracker_.clear();
    else tracker_.stop();  // its worker may still log the call it was inside
    tracker_.start(std::move(b));
    ++out_.batches;
  };
  if (kind == Page::MWrite && sawBox("请刷卡！")) {
    auto* w = static_cast<TMWirteCardFrame1*>(p);
    oracle::Batch b;
    b.page = "continuous write";
    b.selection = before_.selection;
    b.port = device::PortNumber;
    b.mode = device::CommandMode;
    b.timeout = device::TimeoutMs;
    b.cards = oracle::toInt(before_.count).value_or(0);
    // Without its page (a close in the same step) the answer is unknown.
    if (w) b.rewrite = rewriteOf(handleOf(*w->CheckBox1));
    const oracle::WriteFields fields = before_.fields;
    const int selection = before_.selection;
    b.expected = [fields, selection](int n) { return oracle::continuousWriteCard(fields, selection, n, ansiDevice); };
    newBatch(std::move(b));
  }
  if (kind == Page::Text) {
    auto* t = static_cast<TWriteTextFrame1*>(p);
    // Without its page a pressed Start may have started a run: its cards
    // are then those of the file, if it could start one at all.
    const bool sure = t && t->lastWorker().get() != before_.textWorker && t->lastWorker();
    const bool maybe = !t && before_.textStart && (pressed_ == before_.textStart || maybePressed_ == before_.textStart);
    if (sure || maybe) {
      const auto at = std::find(paths_.begin(), paths_.end(), before_.path);
      if (at == paths_.end() && maybe) return;
      if (at == paths_.end()) broken("card data", "a text-file run started from \"" + before_.path + "\", no file of the session");
      const oracle::FileCase& f = files_[static_cast<std::size_t>(at - paths_.begin())];
      if (maybe && (f.zeroLine || !f.lines)) return;
      if (f.zeroLine)
        broken("zero byte", std::string("a text-file run started from ") + f.name + ", which has a zero byte in line " +
                                std::to_string(f.zeroLine));
      if (!f.lines) broken("card data", std::string("a text-file run started from the missing file ") + f.name);
      oracle::Batch b;
      b.page = std::string("text file ") + f.name;
      b.selection = before_.textSelection;
      b.port = device::PortNumber;
      b.mode = device::CommandMode;
      b.timeout = before_.noTimeout ? 0 : device::TimeoutMs;
      b.cards = oracle::textFileCards(*f.lines, b.selection);
      if (t) b.rewrite = rewriteOf(handleOf(*t->CheckBox1));
      const std::vector<std::string> lines = *f.lines;
      const int selection = b.selection;
      b.expected = [lines, selection](int n) { return oracle::textFileCard(lines, selection, n); };
      newBatch(std::move(b));
    }
  }
}

void Driver::check(const Action& act) {
  // A WM_CLOSE planned for later than the step lasted is not sent; one
  // that was sent is taken before the step is judged.
  closeAt_.reset();
  // A close that came while a handler waited in a box takes effect from the
  // loop once that handler has returned, a moment after the box.
  if (closePosted_)
    ui::app().runUntil([&] { return !form_ || form_->closed() || ui::app().terminated(); }, 2000ms);
  // The window: closed only when the operator or another program closed it.
  if (!form_ || form_->closed() || ui::app().terminated()) {
    if (!closeAsked_) {
      closeWindow(false);
      broken("window stays", "the main window closed by itself");
    }
    // A run may have started before the close took the page; its cards
    // came from that run.
    ui::Frame* const p = page();
    takeStartedBatch(p && serialOf(p) == before_.serial ? p : nullptr, before_.kind);
    closeWindow(true);
    openWindow();
    snapshot();
    before_.kind = Page::None;
    return;
  }
  if (closeAsked_ && !g_dropped && (pressed_ == handleOf(*form_->Button11) || act.kind == Action::Close))
    broken("window closes", "the window did not close on " + act.what);
  if (closeArrived_) broken("window closes", "the window took a WM_CLOSE from outside and stayed open");
  if (!IsWindow(top_) || !IsWindowVisible(top_)) broken("window stays", "the main window is not shown");
  if (emu_.mostConcurrentTransfers() > 1)
    broken("one call at a time", "two readcard/writecard calls were inside the library at once");
  if (watchdog_.worstMs() > kAnswerBound.count())
    broken("window answers", "the main window took " + std::to_string(watchdog_.worstMs()) +
                                 " ms to answer a message");

  // The page: replaced only when asked, and its worker gone with it.
  ui::Frame* p = page();
  const std::string serial = serialOf(p);
  const Page kind = kindOf(p);
  const bool replaced = p && (serial.empty() || serial != before_.serial);
  const Page asked = pageButton(pressed_);
  const Page maybe = pageButton(maybePressed_);
  const bool connected = sawBox("联机成功！");
  if (replaced || (!p && !before_.serial.empty())) {
    outlived("a worker still ran after its page went");
    tracker_.pageGone();
    processLines();
    if (ui::Thread::running() == 0) tracker_.clear();
    else tracker_.stop();  // given up inside the library: it may still log its call
    // A connection replaces the page with a read page: after "联机成功！", and
    // after an automatic one that found a device of an unknown model.
    const bool connecting = form_ && (pressed_ == handleOf(*form_->Button12) ||
                                      maybePressed_ == handleOf(*form_->Button12));
    const bool wanted = kind == asked || kind == maybe || ((connected || connecting) && kind == Page::Read);
    if (!wanted)
      broken("page shown", std::string("the ") + pageName(kind) + " page came without being asked for");
    markPage();
  } else {
    if (asked != Page::None && !g_dropped)
      broken("page shown", std::string("the ") + pageName(asked) + " page button left the page as it was (button " +
                               (IsWindowEnabled(pressed_) ? "enabled" : "disabled") + ", " +
                               (IsWindowVisible(pressed_) ? "shown" : "hidden") + ", capture " + describe(GetCapture()) +
                               ", focus " + describe(GetFocus()) + ", workers at the start " +
                               std::to_string(workersBefore_) + ")");
    if (connected) broken("page shown", "a connection left the page as it was");
  }
  if (p) {
    if (GetParent(handleOf(*p)) != handleOf(*form_->Panel1)) broken("page shown", "the page is not in its panel");
    const bool onTab = form_->PageControl1->activeSheet() == form_->TabSheet2;
    if ((IsWindowVisible(handleOf(*p)) != FALSE) != onTab)
      broken("page shown", std::string("the page is ") + (onTab ? "hidden on its tab" : "shown on another tab"));
    const int windows = windowsUnder(handleOf(*p));
    if (windows != pageWindows_[serialOf(p)])
      broken("page keeps its controls", "the page had " + std::to_string(pageWindows_[serialOf(p)]) +
                                            " windows, now " + std::to_string(windows));
  }
  // The tab row and the sheet on show agree.
  {
    HWND tabs = handleOf(*form_->PageControl1);
    const int sel = static_cast<int>(SendMessageW(tabs, TCM_GETCURSEL, 0, 0));
    const auto row = op::tabTexts(tabs);
    const ui::TabSheet* active = form_->PageControl1->activeSheet();
    if (sel < 0 || sel >= static_cast<int>(row.size()) || !active || row[static_cast<std::size_t>(sel)] != active->caption())
      broken("page shown", "the tab row's selection and the sheet on show differ");
    for (ui::TabSheet* s : {form_->TabSheet1, form_->TabSheet2, form_->TabSheet3})
      if ((IsWindowVisible(handleOf(*s)) != FALSE) != (s == active))
        broken("page shown", "sheet \"" + s->caption() + "\" is " + (s == active ? "hidden" : "shown"));
  }

  // Batches: started in this step on the same page, checked card by card.
  if (!replaced && p) {
    takeStartedBatch(p, kind);
    if (rewriteBox() != before_.rewrite) tracker_.toggled();
  }
  processLines();

  // The page's buttons are those of a state of its table.
  if (auto* w = dynamic_cast<TMWirteCardFrame1*>(p)) {
    auto on = [](ui::Control* c) { return IsWindowEnabled(handleOf(*c)) != FALSE; };
    // Its own visibility: the whole page is hidden while another tab is on show.
    auto shownNow = [](ui::Control* c) { return (GetWindowLongW(handleOf(*c), GWL_STYLE) & WS_VISIBLE) != 0; };
    const bool b1 = on(w->Button1), b2 = on(w->Button2), b3 = on(w->Button3);
    const std::string cap = op::text(handleOf(*w->Button2));
    bool valid = false;
    if (!shownNow(w->Memo4)) valid = shownNow(w->Memo1) && b1 && !b2 && !b3;
    else if (shownNow(w->Memo1)) valid = false;
    else valid = (b1 && !b2 && !b3 && cap == "暂停写卡") || (!b1 && b2 && b3 && cap == "继续写卡") ||
                 (!b1 && b2 && b3 && (cap == "暂停刷卡" || cap == "暂停写卡"));
    if (!valid) broken("page state", "the continuous-write page's buttons match no state of its table");
  }
  if (auto* t = dynamic_cast<TWriteTextFrame1*>(p)) {
    if (!IsWindowEnabled(handleOf(*t->Button3)) && !IsWindowEnabled(handleOf(*t->Button5)))
      broken("page state", "the text-file page has neither Start nor Stop enabled");
  }

  // A file with a zero byte is refused with the line named.
  {
    ui::Frame* shownPage = page();
    const auto at = std::find(paths_.begin(), paths_.end(), before_.path);
    const oracle::FileCase* f = at == paths_.end() ? nullptr : &files_[static_cast<std::size_t>(at - paths_.begin())];
    const std::string want = f && f->zeroLine ? oracle::zeroByteMessage(f->zeroLine) : std::string();
    for (const std::string& b : stepBoxes_)
      if (b.find("零字节") != std::string::npos && b != want)
        broken("zero byte", "\"" + shortText(b) + "\" for " + (f ? f->name : before_.path.c_str()) +
                                (want.empty() ? ", which has no zero byte" : ", not \"" + want + "\""));
    auto* t = dynamic_cast<TWriteTextFrame1*>(shownPage);
    if (t && !want.empty() && pressed_ == handleOf(*t->Button3) && !replaced && !g_dropped && workersBefore_ == 0 &&
        before_.textSelection != 6 && !stepBoxes_.empty() && !sawBox(want.c_str()))
      broken("zero byte", std::string("Start with ") + f->name + " showed \"" + shortText(stepBoxes_.back()) +
                              "\", not \"" + want + "\"");
  }

  // Beside a lost call nothing but endcard is called, the call itself may
  // come back once, and the device buttons say why they do nothing.
  if (sawBox(oracle::kLastCallPending) && workersBefore_ == 0)
    broken("refusal", "refused for a pending call with no worker running");
  if (lostBefore_ && lost()) {
    int transfers = 0;
    for (const std::string& line : linesFrom(logAtStart_)) {
      const std::string entry = oracle::entryOf(line);
      if (entry == "opencomm" || entry == "detect" || entry == "reset" ||
          ((entry == "readcard" || entry == "writecard") && ++transfers > 1))
        broken("no call beside a lost call", "the library was called beside a worker given up inside it: " + line);
    }
    std::vector<HWND> device = {handleOf(*form_->Button3), handleOf(*form_->Button12), handleOf(*form_->Button7)};
    if (auto* s1 = dynamic_cast<TReadCardFrame1*>(p)) device.push_back(handleOf(*s1->Button1));
    if (auto* s2 = dynamic_cast<TWirteCardFrame1*>(p)) device.push_back(handleOf(*s2->Button1));
    if (auto* r = dynamic_cast<TMReadCardFrame1*>(p)) device.push_back(handleOf(*r->Button1));
    if (auto* w = dynamic_cast<TMWirteCardFrame1*>(p)) device.push_back(handleOf(*w->Button1));
    if (auto* t = dynamic_cast<TWriteTextFrame1*>(p)) device.push_back(handleOf(*t->Button3));
    const bool pressedDevice = pressed_ && std::find(device.begin(), device.end(), pressed_) != device.end();
    bool wrong = stepBoxes_.empty();
    for (const std::string& b : stepBoxes_)
      if (b == oracle::kBatchRunning || b.find("尚未结束") != std::string::npos) wrong = true;
    if (pressedDevice && !g_dropped && !replaced && !sawBox(oracle::kLastCallPending) && wrong)
      broken("refusal", describe(pressed_) + " beside a lost call showed " +
                            (stepBoxes_.empty() ? std::string("nothing") : "\"" + shortText(stepBoxes_.back()) + "\"") +
                            ", not \"" + oracle::kLastCallPending + "\"");
  }

  const bool idle = ui::Thread::running() == 0;
  if (idle) {
    orphaned_ = false;
    tracker_.quiet();
    // A long session's call log is emptied while nothing can add to it.
    if (emu_.logCount() > 2000) {
      emu_.clearLog();
      logSeen_ = 0;
    }
  }
  if (options_.trace)
    std::printf("    -> %s page, workers %d, log %d%s%s, %lld ms\n", pageName(kind), ui::Thread::running(), emu_.logCount(),
                tracker_.running() ? ", batch" : "", g_dropped ? ", input dropped" : "",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - stepBegan_).count()));
}

}  // namespace

Outcome run(const Options& options) {
  try {
    Driver driver(options);
    return driver.run();
  } catch (const Broken& b) {
    Outcome out;
    out.failure = Failure{g_step, b.rule, b.what};
    return out;
  }
}

std::string formatSkip(const std::vector<std::pair<int, int>>& skip) {
  std::string out;
  for (const auto& [from, to] : skip) {
    if (!out.empty()) out += ",";
    out += std::to_string(from);
    if (to - 1 > from) {
      out += '-';
      out += std::to_string(to - 1);
    }
  }
  return out;
}

std::vector<std::pair<int, int>> parseSkip(const std::string& text) {
  std::vector<std::pair<int, int>> out;
  std::stringstream in(text);
  std::string part;
  while (std::getline(in, part, ',')) {
    if (part.empty()) continue;
    const auto dash = part.find('-');
    const int from = std::atoi(part.substr(0, dash).c_str());
    const int to = dash == std::string::npos ? from : std::atoi(part.substr(dash + 1).c_str());
    if (from > 0 && to >= from) out.emplace_back(from, to + 1);
  }
  return out;
}

namespace {

std::vector<int> activeSteps(const Options& o) {
  std::vector<int> out;
  for (int n = 1; n <= o.steps; ++n) {
    bool skipped = false;
    for (const auto& [from, to] : o.skip)
      if (n >= from && n < to) skipped = true;
    if (!skipped) out.push_back(n);
  }
  return out;
}

std::vector<std::pair<int, int>> rangesOf(const std::vector<int>& skipped) {
  std::vector<std::pair<int, int>> out;
  for (int n : skipped) {
    if (!out.empty() && out.back().second == n) ++out.back().second;
    else out.emplace_back(n, n + 1);
  }
  return out;
}

}  // namespace

Options shrink(const Options& failing, const Failure& failure, int seconds) {
  const auto deadline = Clock::now() + std::chrono::seconds(seconds);
  Options best = failing;
  best.trace = false;
  best.steps = failure.step;
  std::vector<int> active = activeSteps(best);
  std::size_t chunk = std::max<std::size_t>(1, active.size() / 2);
  while (Clock::now() < deadline) {
    bool removed = false;
    // Never the failing step itself: it is the last one.
    for (std::size_t from = 0; from + 1 < active.size() && Clock::now() < deadline;) {
      const std::size_t to = std::min(from + chunk, active.size() - 1);
      std::vector<int> keep(active.begin(), active.begin() + static_cast<long>(from));
      keep.insert(keep.end(), active.begin() + static_cast<long>(to), active.end());
      std::vector<int> skipped;
      for (int n = 1, k = 0; n <= best.steps; ++n) {
        if (k < static_cast<int>(keep.size()) && keep[static_cast<std::size_t>(k)] == n) ++k;
        else skipped.push_back(n);
      }
      Options candidate = best;
      candidate.skip = rangesOf(skipped);
      const Outcome o = run(candidate);
      if (o.failure && o.failure->rule == failure.rule) {
        candidate.steps = o.failure->step;
        best = candidate;
        active = activeSteps(best);
        removed = true;
        std::printf("  shrunk to %zu steps (%s)\n", active.size(), formatSkip(best.skip).c_str());
        std::fflush(stdout);
      } else {
        from = to;
      }
    }
    if (chunk == 1 && !removed) break;
    if (!removed) chunk = std::max<std::size_t>(1, chunk / 2);
  }
  return best;
}

namespace {

LONG WINAPI reportFault(EXCEPTION_POINTERS* e) {
  std::printf("\nFAILED: seed %llu, step %d: fault 0x%08lX at %p\n", static_cast<unsigned long long>(g_seed),
              g_step.load(), static_cast<unsigned long>(e->ExceptionRecord->ExceptionCode),
              e->ExceptionRecord->ExceptionAddress);
  std::fflush(stdout);
  return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace

// The process never ends by itself: an exit or a fault during a session is
// reported with the seed and the step.
void watchTheProcess() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  std::atexit([] {
    if (g_active) {
      std::printf("\nFAILED: seed %llu, step %d: the process is ending by itself\n",
                  static_cast<unsigned long long>(g_seed), g_step.load());
      std::fflush(stdout);
    }
  });
  SetUnhandledExceptionFilter(reportFault);
}

}  // namespace wsession
