#include "Model.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <ostream>
#include <set>
#include <sstream>
#include <system_error>

#include "CardOracle.h"
#include "EmulatorClient.h"
#include "app/MainForm.h"
#include "cards/Selections.h"
#include "device/Connection.h"
#include "device/DynamicLibrary.h"
#include "device/LibraryTexts.h"
#include "pages/Mreadcardframe01.h"
#include "pages/Mwirtecardframe01.h"
#include "pages/Readcardframe01.h"
#include "pages/Wirtecardframe01.h"
#include "pages/Writetextframe01.h"
#include "ui/Application.h"
#include "ui/Controls.h"
#include "ui/Thread.h"
#include "ui/WorkerSlot.h"
#include "ui/headless/HeadlessBackend.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace rtest {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Well below a second natively; generous for the sanitizers.
constexpr auto kStepBound = 2000ms;
// How long a step waits for a worker to reach a quiet point.
constexpr auto kSettle = 15ms;
constexpr int kNoScript = 1;

const char* const kFunctions[] = {"readcard", "writecard"};

// Results of the result tables, -100 included.
const int kTransferResults[] = {0, 0, 0, -1, -4, -6, -13, -14, -100};
const int kOpencommResults[] = {kNoScript, kNoScript, 0, -1, -2, -5, -6, -7, -8, -9};
const int kDetectAnswers[] = {2428, 2428, 2412, 2423, 2402, 2403, 1402, 1423, 0, 7,
                              -1,   -3,   -6,   -8};
const int kResetResults[] = {kNoScript, 0, -1, -4};
// Break-offs the library misses: for a while, or until told otherwise.
constexpr int kMissForever = 1000000;
constexpr int kShortTimeout = 5000;
constexpr int kLostFlag = 0x100;
const int kMissCounts[] = {0, 0, 1, 2, 3, kMissForever, kMissForever};

const char* const kCounts[] = {"1", "2", "3", "4", " 2 ", "5", "0", "-1", "-2147483648",
                               "2147483647", "99999999999", "abc", "", "1.5", "1000000"};
const char* const kNumbers[] = {"0",  "1",   "7",          "-5",  "2147483647", "-2147483648",
                                " 3 ", "100", "abc",        "",    "1.5",        "2147483648"};

std::string fixedText(int i) {
  switch (i) {
    case 0: return "";
    case 1: return "CARD";
    case 2: return "62";
    case 3: return "12=34";
    case 4: return "lower";  // outside every track's character set
    case 5: return "A B_";
    case 6: return std::string(294, '7');  // fits, unless the number is long
    default: return std::string(320, '1');  // never fits
  }
}

using oracle::Batch;
using oracle::FileCase;
using oracle::fileCases;
using oracle::toInt;

enum class Kind { None, Other, MRead, MWrite, Text };
enum class St { None, Idle, Busy, Input, Active, Paused, Finished, Ended, Invalid };

const char* name(St s) {
  switch (s) {
    case St::None: return "-";
    case St::Idle: return "Idle";
    case St::Busy: return "Running";
    case St::Input: return "Input";
    case St::Active: return "Running/Halted";
    case St::Paused: return "Paused";
    case St::Finished: return "Finished";
    case St::Ended: return "Ended";
    case St::Invalid: return "INVALID";
  }
  return "?";
}

}  // namespace

struct Runner::Impl {
  Impl();
  ~Impl();

  void perform(const Cmd& cmd);
  // took: the step's duration; slack: what a lost call may add to it.
  void check(const Cmd& cmd, std::size_t index, Clock::duration took, Clock::duration slack);

  // helpers
  [[noreturn]] void fail(const std::string& what);
  [[noreturn]] void failOutlived(const std::string& what);
  Kind kind() const;
  St observe() const;
  bool clickOnTab(ui::Control* control);
  void newWindow();
  void settle();
  void syncDialogs();
  void processLines();
  void pageWent();  // the page of the batches is gone
  void takeLine(const std::string& line);
  std::string lineAt(int i);  // line i of the emulator's call log
  // A box since dialogsFrom refused for the pending call.
  bool refused(std::size_t dialogsFrom) {
    const auto records = ui.dialogs().records();
    for (std::size_t i = dialogsFrom; i < records.size(); ++i)
      if (records[i].text == oracle::kLastCallPending) return true;
    return false;
  }
  bool waitForWorkers(std::chrono::milliseconds limit);
  std::set<St> successors(const std::set<St>& from) const;

  void doStart();
  void doStop(const Cmd& cmd);

  // The library holds a call while it misses every break-off: one that
  // blocked or waited for a swipe when it began never returns by itself
  // (any other returns within its time-out, which the teardown outwaits).
  bool stuck() { return emu.pendingCalls() > 0 && missForever; }
  // A worker given up by a teardown is still inside the library.
  bool lost() const { return orphaned && ui::Thread::running() != 0; }
  // A worker still runs after its page or window went: allowed only while
  // the library holds its call.
  void outlived(const std::string& what);
  // A device action while a worker has not ended: refused with one message,
  // no call made.
  void expectRefusal(std::size_t dialogsFrom, int logFrom, const std::string& what, bool ownWorker);
  // The window is asked to close from outside (the system's "End task").
  void closeNow();
  void closed(const std::string& where);
  // Makes a lost call return, as a swipe would.
  void releaseLostCalls();

  ui::headless::Session ui;
  emu::Client emu;
  std::filesystem::path folder;
  std::vector<FileCase> files;
  std::vector<std::string> paths;
  std::unique_ptr<TForm1> form;

  // model
  St state = St::None;
  std::set<St> allowed;
  bool pausedFlag = false;  // the write page's Paused, as the clicks leave it
  std::optional<std::size_t> textFile;  // index of the chosen file
  std::deque<bool> answers;              // queued confirmations, mirrored
  std::size_t dialogsSeen = 0;
  std::vector<std::pair<std::string, bool>> confirmsAnswered;  // of this step
  bool blocking[2] = {false, false};
  int logSeen = 0;
  oracle::Tracker batches;
  bool pageGone = false;
  std::size_t dialogsBefore = 0;
  bool quietAtEnd = true;  // no worker was counted when the last step ended
  bool manual = false;       // swipes only by emu_swipe()
  bool missForever = false;  // break-offs are missed until told otherwise
  bool orphaned = false;     // a teardown gave a worker up inside the library
  bool inStep = false;
  bool closeArmed = false;  // close while the next box is open
  bool closeAsked = false;
  int closeLog = 0;       // the call log's length when the close came
  int closeInFlight = 0;  // workers that may finish the call they are in
};

Runner::Impl::Impl() {
  device::DynamicLibrary::setSearchFolderForTests("");
  emu.resetState();
  emu.setSwipeDelayMs(0);
  device::PortNumber = 0;
  device::CommandMode = 0;
  device::TimeoutMs = 0;
  device::DeviceType = 0;
  static std::atomic<int> serial{0};
#ifndef _WIN32
  const int pid = static_cast<int>(::getpid());
#else
  const int pid = 0;
#endif
  folder = std::filesystem::temp_directory_path() /
           ("randomized-" + std::to_string(pid) + "-" + std::to_string(serial++));
  std::filesystem::create_directories(folder);
  files = fileCases();
  for (const FileCase& f : files) {
    const auto p = folder / f.name;
    if (f.lines) {
      std::ofstream out(p, std::ios::binary | std::ios::trunc);
      out.write(f.bytes.data(), static_cast<std::streamsize>(f.bytes.size()));
    }
    paths.push_back(p.string());
  }
  ui.dialogs().whileOpen = [this](const ui::headless::DialogRecord&) {
    if (!closeArmed || !inStep || !form || form->closed()) return;
    closeArmed = false;
    closeNow();
  };
  newWindow();
  if (const int left = ui::Thread::running(); left != 0) {
    const auto t0 = Clock::now();
    const bool ended = waitForWorkers(3000ms);
    fail("at the start of a session " + std::to_string(left) + " worker(s) counted as running" +
            (ended ? ", gone " + std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count()) + " ms later"
                   : ", still there 3 s later"));
  }
  emu.clearLog();
  emu.resetMostConcurrentTransfers();
}

Runner::Impl::~Impl() {
  ui.dialogs().whileOpen = nullptr;
  releaseLostCalls();
  ui::app().setMainForm(nullptr);
  form.reset();
  ui::app().runUntil([] { return ui::Thread::running() == 0; }, 5s);
  ui::app().resetTerminated();
  emu.resetState();
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

namespace {
std::string g_firstFailure;
}  // namespace

std::string Runner::takeFirstFailure() { return std::exchange(g_firstFailure, {}); }

void Runner::Impl::fail(const std::string& what) {
  if (g_firstFailure.empty()) g_firstFailure = what;
  RC_FAIL(what);
}

void Runner::Impl::failOutlived(const std::string& what) {
  const auto t0 = Clock::now();
  const bool ended = waitForWorkers(3000ms);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count();
  fail(what + (ended ? " (it ended " + std::to_string(ms) + " ms later)" : " (still running 3 s later)") +
       ", library calls waiting: " + std::to_string(emu.pendingCalls()));
}

void Runner::Impl::newWindow() {
  ui::app().resetTerminated();
  form = std::make_unique<TForm1>();
  ui::app().setMainForm(form.get());
  form->showForm();
  state = St::None;
  allowed = {St::None};
}

Kind Runner::Impl::kind() const {
  ui::Frame* p = form ? form->OperationPage.get() : nullptr;
  if (!p) return Kind::None;
  if (dynamic_cast<TMReadCardFrame1*>(p)) return Kind::MRead;
  if (dynamic_cast<TMWirteCardFrame1*>(p)) return Kind::MWrite;
  if (dynamic_cast<TWriteTextFrame1*>(p)) return Kind::Text;
  return Kind::Other;
}

St Runner::Impl::observe() const {
  ui::Frame* p = form ? form->OperationPage.get() : nullptr;
  switch (kind()) {
    case Kind::None:
    case Kind::Other: return St::None;
    case Kind::MRead: return static_cast<TMReadCardFrame1*>(p)->Button1->enabled() ? St::Idle : St::Busy;
    case Kind::MWrite: {
      auto* w = static_cast<TMWirteCardFrame1*>(p);
      const bool b1 = w->Button1->enabled(), b2 = w->Button2->enabled(), b3 = w->Button3->enabled();
      const std::string cap = w->Button2->caption();
      if (!w->Memo4->visible()) {
        const bool fields = w->GroupBox1->visible() && w->Memo1->visible() && w->Edit7->visible();
        return fields && b1 && !b2 && !b3 ? St::Input : St::Invalid;
      }
      if (w->GroupBox1->visible()) return St::Invalid;
      if (b1 && !b2 && !b3 && cap == "暂停写卡") return St::Finished;
      if (!b1 && b2 && b3 && cap == "继续写卡") return St::Paused;
      if (!b1 && b2 && b3 && (cap == "暂停刷卡" || cap == "暂停写卡")) return St::Active;
      return St::Invalid;
    }
    case Kind::Text: {
      auto* t = static_cast<TWriteTextFrame1*>(p);
      const bool b3 = t->Button3->enabled(), b5 = t->Button5->enabled();
      if (b3 && !b5) return St::Idle;
      if (!b3 && b5) return St::Active;
      if (b3 && b5) return St::Ended;
      return St::Invalid;
    }
  }
  return St::Invalid;
}

std::set<St> Runner::Impl::successors(const std::set<St>& from) const {
  std::set<St> out = from;
  for (St s : from) {
    if (s == St::Busy) out.insert(St::Idle);
    if (s == St::Active || s == St::Paused) out.insert(kind() == Kind::Text ? St::Ended : St::Finished);
  }
  return out;
}

bool Runner::Impl::clickOnTab(ui::Control* control) {
  for (ui::Control* c = control->parent(); c; c = c->parent()) {
    if (auto* sheet = dynamic_cast<ui::TabSheet*>(c)) {
      if (!form->PageControl1->selectTab(sheet)) return false;
      break;
    }
  }
  if (auto* b = dynamic_cast<ui::Button*>(control)) return b->click();
  return false;
}

bool Runner::Impl::waitForWorkers(std::chrono::milliseconds limit) {
  return ui::app().runUntil([] { return ui::Thread::running() == 0; }, limit);
}

void Runner::Impl::settle() {
  ui::app().runUntil(
      [&] {
        if (ui::Thread::running() == 0) return true;
        // A call that waits without limit stays until broken off.
        return emu.pendingCalls() > 0 && (blocking[0] || blocking[1] || manual || missForever);
      },
      kSettle);
}

void Runner::Impl::syncDialogs() {
  const auto records = ui.dialogs().records();
  for (std::size_t i = dialogsSeen; i < records.size(); ++i) {
    if (records[i].kind != ui::DialogKind::Confirm) continue;
    bool ok = false;
    if (!answers.empty()) {
      ok = answers.front();
      answers.pop_front();
    }
    confirmsAnswered.emplace_back(records[i].text, ok);
  }
  dialogsSeen = records.size();
}

void Runner::Impl::takeLine(const std::string& line) {
  if (const auto broken = batches.take(line)) fail(*broken);
}

void Runner::Impl::pageWent() {
  batches.pageGone();
  processLines();
  // A worker given up inside the library may still log the call it is in.
  if (ui::Thread::running() == 0) batches.clear();
  else batches.stop();
}

void Runner::Impl::outlived(const std::string& what) {
  if (ui::Thread::running() == 0) return;
  if (emu.pendingCalls() > 0 && (orphaned || stuck())) {
    orphaned = true;
    return;
  }
  // A lost call that returned a moment ago: its worker ends at once.
  if (orphaned && waitForWorkers(1000ms)) return;
  failOutlived(what);
}

void Runner::Impl::expectRefusal(std::size_t dialogsFrom, int logFrom, const std::string& what,
                                 bool ownWorker) {
  const auto records = ui.dialogs().records();
  std::string shown;
  bool pending = false, wrong = records.size() == dialogsFrom;
  for (std::size_t i = dialogsFrom; i < records.size(); ++i) {
    const std::string& t = records[i].text;
    shown += " \"" + t + "\"";
    if (t == oracle::kLastCallPending) pending = true;
    // A batch that merely runs, or the page's own stopped worker, is not
    // what holds the device; a refusal of the page's own input is fine.
    if (t == oracle::kBatchRunning || (!ownWorker && t.find("尚未结束") != std::string::npos)) wrong = true;
  }
  if (!pending && wrong)
    fail(what + " while a worker was inside the library showed" + (shown.empty() ? " nothing" : shown) +
         ", not \"" + oracle::kLastCallPending + "\" (workers " + std::to_string(ui::Thread::running()) +
         ", given up " + std::to_string(ui::Thread::givenUp()) + ", calls waiting " +
         std::to_string(emu.pendingCalls()) + (ui::app().closing() ? ", closing" : "") + ")");
  const int count = emu.logCount();
  for (int i = logFrom; i < count; ++i) {
    const std::string line = lineAt(i);
    const std::string entry = oracle::entryOf(line);
    // The continuous write breaks its own stopped worker off with reset,
    // repeatedly for a while after its Stop.
    if (entry == "opencomm" || entry == "detect" || (entry == "reset" && !ownWorker))
      fail(what + " called the library beside a worker inside it: " + line);
  }
}

void Runner::Impl::closeNow() {
  closeAsked = true;
  closeLog = emu.logCount();
  closeInFlight = ui::Thread::running();
  form->close();
}

void Runner::Impl::closed(const std::string& where) {
  if (!closeAsked) return;
  // A close during a box takes effect once the handler has returned.
  ui::app().runUntil([&] { return form->closed(); }, 500ms);
  closeAsked = false;
  if (!form->closed()) fail(where + "the window was asked to close and stayed open");
  if (!ui::app().terminated()) fail(where + "the program did not end with its window");
  batches.pageGone();
  ui::app().setMainForm(nullptr);
  form.reset();
  outlived(where + "a worker outlived the window closed from outside");
  std::vector<std::string> lines;
  const int count = emu.logCount();
  for (int i = closeLog; i < count; ++i) {
    const std::string line = lineAt(i);
    lines.push_back(line);
  }
  if (const auto wrong = oracle::afterClose(lines, closeInFlight)) fail(where + *wrong);
  pageGone = true;
  pageWent();
  newWindow();
}

void Runner::Impl::releaseLostCalls() {
  emu.missBreakOffs(0);
  missForever = false;
  emu.swipe();
  if (emu.endcard) emu.endcard(2);
}

std::string Runner::Impl::lineAt(int i) {
  const int length = emu.logLine(i, nullptr, 0);
  std::string line(static_cast<std::size_t>(std::max(length, 0)) + 1, '\0');
  emu.logLine(i, line.data(), length + 1);
  line.resize(static_cast<std::size_t>(std::max(length, 0)));
  return line;
}

void Runner::Impl::processLines() {
  const int count = emu.logCount();
  for (int i = logSeen; i < count; ++i) {
    const std::string line = lineAt(i);
    takeLine(line);
  }
  logSeen = count;
}

void Runner::Impl::doStart() {
  ui::Button* start = nullptr;
  if (kind() == Kind::MRead) start = static_cast<TMReadCardFrame1*>(form->OperationPage.get())->Button1;
  if (kind() == Kind::MWrite) start = static_cast<TMWirteCardFrame1*>(form->OperationPage.get())->Button1;
  if (kind() == Kind::Text) start = static_cast<TWriteTextFrame1*>(form->OperationPage.get())->Button3;
  if (!start) return;
  if (!start->operable()) {
    if (start->click()) fail("a disabled Start took the click");
    return;
  }
  // The operator waits for a stopped worker; Start's own wait is covered by
  // the page tests.
  if (!waitForWorkers(300ms) && !stuck()) {
    if (std::getenv("CARDTEST_TRACE")) std::fprintf(stderr, "Start skipped: a worker is still running\n");
    return;
  }
  // A worker inside a call that only a swipe ends makes Start refuse; a call
  // that still times out may end during Start's wait and let the run start.
  const bool held = ui::Thread::running() != 0;
  const bool own = !lost();
  const int logFrom = emu.logCount();
  if (!held) {
    processLines();
    batches.quiet();
  }
  ui::Frame* p = form->OperationPage.get();
  const auto records = ui.dialogs().records().size();
  auto refused = [&] {
    if (held && stuck()) expectRefusal(records, logFrom, "Start", own);
  };
  switch (kind()) {
    case Kind::MRead: {
      auto* r = static_cast<TMReadCardFrame1*>(p);
      if (!clickOnTab(r->Button1)) return;
      if (!r->Button1->enabled()) allowed = {St::Busy, St::Idle};
      else refused();
      break;
    }
    case Kind::MWrite: {
      auto* w = static_cast<TMWirteCardFrame1*>(p);
      std::array<std::string, 3> text{w->Memo1->text(), w->Memo2->text(), w->Memo3->text()};
      std::array<std::string, 3> start{w->Edit2->text(), w->Edit4->text(), w->Edit6->text()};
      std::array<std::string, 3> step{w->Edit3->text(), w->Edit5->text(), w->Edit7->text()};
      const int selection = w->TrackSelection;
      const auto cards = toInt(w->Edit1->text());
      if (!clickOnTab(w->Button1)) return;
      const auto shown = ui.dialogs().records();
      const bool accepted = shown.size() > records && shown[records].text == "请刷卡！";
      if (!accepted) {
        refused();
        return;
      }
      allowed = {St::Active, St::Finished};
      pausedFlag = false;  // a batch starts unpaused
      Batch b;
      b.page = "continuous write";
      b.selection = selection;
      b.port = device::PortNumber;
      b.mode = device::CommandMode;
      b.timeout = device::TimeoutMs;
      b.cards = cards.value_or(0);
      const ui::CheckBox* box = w->CheckBox1;
      b.rewrite = [box]() -> std::optional<bool> { return box->checked(); };
      oracle::WriteFields fields{text, start, step};
      b.expected = [fields, selection](int n) {
        return oracle::continuousWriteCard(fields, selection, n, oracle::utf8Device);
      };
      batches.start(std::move(b));
      break;
    }
    case Kind::Text: {
      auto* t = static_cast<TWriteTextFrame1*>(p);
      if (!t->Button3->operable()) {
        (void)clickOnTab(t->Button3);
        return;
      }
      const int selection = t->RadioGroup1->itemIndex() + 1;
      const int timeout = t->CheckBox2->checked() ? 0 : device::TimeoutMs;
      if (!clickOnTab(t->Button3)) return;
      const int zero = textFile ? files[*textFile].zeroLine : 0;
      if (t->Button3->enabled()) {  // refused
        refused();
        const auto shown = ui.dialogs().records();
        const std::string want = oracle::zeroByteMessage(zero);
        // Selection 6 may be refused first.
        if (zero && selection != 6 &&
            std::none_of(shown.begin() + static_cast<long>(records), shown.end(),
                         [&](const ui::headless::DialogRecord& r) { return r.text == want; }))
          fail(std::string("the file ") + files[*textFile].name + " was refused without \"" + want + "\"");
        return;
      }
      allowed = {St::Active, St::Ended};
      if (zero) fail(std::string("the file ") + files[*textFile].name + " with a zero byte in line " +
                     std::to_string(zero) + " started a run");
      if (!textFile || !files[*textFile].lines) fail("the text page started without a readable file");
      const std::vector<std::string> lines = *files[*textFile].lines;
      Batch b;
      b.page = std::string("text file ") + files[*textFile].name;
      b.selection = selection;
      b.port = device::PortNumber;
      b.mode = device::CommandMode;
      b.timeout = timeout;
      b.cards = oracle::textFileCards(lines, selection);
      const ui::CheckBox* box = t->CheckBox1;
      b.rewrite = [box]() -> std::optional<bool> { return box->checked(); };
      b.expected = [lines, selection](int n) { return oracle::textFileCard(lines, selection, n); };
      batches.start(std::move(b));
      break;
    }
    default: break;
  }
}

void Runner::Impl::doStop(const Cmd& cmd) {
  ui::Frame* p = form->OperationPage.get();
  switch (kind()) {
    case Kind::MRead: {
      auto* r = static_cast<TMReadCardFrame1*>(p);
      if (clickOnTab(r->Button3)) allowed = {St::Idle};
      break;
    }
    case Kind::MWrite: {
      auto* w = static_cast<TMWirteCardFrame1*>(p);
      const bool esc = cmd.op == Op::EscLog;
      ui::Control* target = esc ? static_cast<ui::Control*>(w->Memo4) : w->Button3;
      if (!form->PageControl1->selectTab(form->TabSheet2) || !target->operable()) break;
      answers.push_back(cmd.b != 0);
      ui.dialogs().answerConfirm(cmd.b != 0);
      if (esc) {
        const char32_t left = w->Memo4->keyPress(27);
        if (left != 0) fail("Esc reached the write log's text");
      } else {
        w->Button3->click();
      }
      syncDialogs();
      const bool ok = !confirmsAnswered.empty() && confirmsAnswered.back().first == "确定退出连续写卡？" &&
                      confirmsAnswered.back().second;
      if (ok) {
        allowed = {St::Input};
        batches.stop();
      }
      break;
    }
    case Kind::Text: {
      auto* t = static_cast<TWriteTextFrame1*>(p);
      const auto before = ui.dialogs().records().size();
      if (!clickOnTab(t->Button5)) break;
      const auto records = ui.dialogs().records();
      if (records.size() > before && records.back().text == device::kLibraryNotLoaded) break;
      allowed = {St::Idle};
      batches.stop();
      break;
    }
    default: break;
  }
}

void Runner::Impl::perform(const Cmd& cmd) {
  ui::Frame* p = form->OperationPage.get();
  const Kind k = kind();
  auto* mread = k == Kind::MRead ? static_cast<TMReadCardFrame1*>(p) : nullptr;
  auto* mwrite = k == Kind::MWrite ? static_cast<TMWirteCardFrame1*>(p) : nullptr;
  auto* text = k == Kind::Text ? static_cast<TWriteTextFrame1*>(p) : nullptr;
  auto onPage = [&] { return form->PageControl1->selectTab(form->TabSheet2); };
  // Connecting or resetting beside a running worker waits a whole second by
  // design; the main-window tests cover it, the sessions leave it out.
  const bool quiet = ui::Thread::running() == 0;
  const bool lostBefore = lost();
  const std::size_t dialogsFrom = ui.dialogs().records().size();
  const int logFrom = emu.logCount();

  switch (cmd.op) {
    case Op::Nop: break;
    case Op::ConnectManual:
      if (!quiet && !lostBefore) break;
      form->PageControl1->selectTab(form->TabSheet1);
      form->RadioGroup1->clickItem(cmd.a);
      form->RadioGroup2->clickItem(cmd.b);
      form->RadioGroup3->clickItem(cmd.c);
      form->RadioGroup4->clickItem(missForever ? 0 : cmd.d);
      if (cmd.r != kNoScript) emu.script("opencomm", {cmd.r});
      if (clickOnTab(form->Button3) && lostBefore && lost()) expectRefusal(dialogsFrom, logFrom, "手动连机", false);
      break;
    case Op::ConnectAuto:
      if (!quiet && !lostBefore) break;
      form->PageControl1->selectTab(form->TabSheet1);
      form->RadioGroup2->clickItem(cmd.b);
      form->RadioGroup4->clickItem(missForever ? 0 : cmd.d);
      emu.setDetectAnswer(cmd.r);
      if (clickOnTab(form->Button12) && lostBefore && lost()) expectRefusal(dialogsFrom, logFrom, "自动连机", false);
      break;
    case Op::ResetDevice:
      if (!quiet && !lostBefore) break;
      if (cmd.r != kNoScript) emu.script("reset", {cmd.r});
      if (clickOnTab(form->Button7) && lostBefore && lost()) expectRefusal(dialogsFrom, logFrom, "卡机复位", false);
      break;
    case Op::PageButton: {
      ui::Button* const buttons[] = {form->Button1, form->Button2, form->Button4, form->Button5,
                                     form->Button6};
      clickOnTab(buttons[std::clamp(cmd.a, 0, 4)]);
      break;
    }
    case Op::CloseWindow:
      if (clickOnTab(form->Button11)) {
        if (!form->closed()) fail("the window did not close");
        ui::app().setMainForm(nullptr);
        form.reset();
        outlived("a worker outlived the closed window");
        pageGone = true;
        pageWent();
        newWindow();
      }
      break;
    case Op::Track:
      if (!onPage()) break;
      if (mread) {
        ui::RadioButton* const r[] = {mread->RadioButton1, mread->RadioButton2, mread->RadioButton3,
                                      mread->RadioButton4, mread->RadioButton5, mread->RadioButton6};
        r[cmd.a % 6]->click();
      } else if (mwrite) {
        ui::RadioButton* const r[] = {mwrite->RadioButton1, mwrite->RadioButton2, mwrite->RadioButton3,
                                      mwrite->RadioButton4, mwrite->RadioButton5, mwrite->RadioButton6};
        r[cmd.a % 6]->click();
      } else if (text) {
        text->RadioGroup1->clickItem(cmd.a);
      }
      break;
    case Op::Count: {
      if (!onPage()) break;
      ui::Edit* e = mread ? mread->Edit1 : mwrite ? mwrite->Edit1 : nullptr;
      if (e && e->operable()) e->setText(cmd.text);
      break;
    }
    case Op::Field: {
      if (!onPage() || !mwrite) break;
      ui::TextControl* const f[] = {mwrite->Memo1, mwrite->Memo2, mwrite->Memo3,
                                    mwrite->Edit2, mwrite->Edit3, mwrite->Edit4,
                                    mwrite->Edit5, mwrite->Edit6, mwrite->Edit7};
      ui::TextControl* e = f[cmd.a % 9];
      if (e->operable()) e->setText(cmd.text);
      break;
    }
    case Op::Arrow: {
      if (!onPage()) break;
      ui::UpDown* u = nullptr;
      if (mread) u = mread->UpDown1;
      if (mwrite) {
        ui::UpDown* const a[] = {mwrite->UpDown1, mwrite->UpDown2, mwrite->UpDown3, mwrite->UpDown4,
                                 mwrite->UpDown5, mwrite->UpDown6, mwrite->UpDown7};
        u = a[cmd.a % 7];
      }
      if (u && u->operable() && u->associate() && u->associate()->operable())
        cmd.b ? u->clickUp() : u->clickDown();
      break;
    }
    case Op::Start:
      if (onPage()) doStart();
      break;
    case Op::Stop:
    case Op::EscLog:
      if (onPage() && (cmd.op == Op::Stop || mwrite)) doStop(cmd);
      break;
    case Op::PauseContinue:
      if (mwrite && onPage() && mwrite->Button2->click()) {
        pausedFlag = !pausedFlag;
        if (pausedFlag) {
          allowed = {St::Paused, St::Finished};
        } else {
          allowed = {St::Active, St::Finished};
        }
      }
      break;
    case Op::Back:
      if (mwrite && onPage() && mwrite->Button4->click()) {
        allowed = {St::Input};
        batches.stop();
      }
      break;
    case Op::Clear:
      if (!onPage()) break;
      if (mread) mread->Button2->click();
      if (text) text->Button4->click();
      break;
    case Op::ChooseFile:
      if (text && onPage() && text->Button1->operable()) {
        const bool cancel = cmd.a < 0 || cmd.a >= static_cast<int>(paths.size());
        ui.dialogs().answerFile(cancel ? std::nullopt : std::optional<std::string>(paths[static_cast<std::size_t>(cmd.a)]));
        text->Button1->click();
        if (!cancel) {
          textFile = static_cast<std::size_t>(cmd.a);
          if (text->Edit1->text() != paths[*textFile]) fail("the chosen file is not shown");
        }
      }
      break;
    case Op::ToggleBox: {
      if (!onPage()) break;
      ui::CheckBox* box = mwrite ? mwrite->CheckBox1
                          : text ? (cmd.a == 2 ? text->CheckBox2 : text->CheckBox1)
                                 : nullptr;
      // Only the rewrite box matters to a batch; the time-out box is read at Start.
      const bool rewriteBox = box && (mwrite ? box == mwrite->CheckBox1 : box == text->CheckBox1);
      if (box && box->click() && rewriteBox) batches.toggled();
      break;
    }
    case Op::Answer:
      answers.push_back(cmd.b != 0);
      ui.dialogs().answerConfirm(cmd.b != 0);
      break;
    case Op::Script:
      emu.script(kFunctions[cmd.a % 2], {cmd.r});
      break;
    case Op::Blocking:
      blocking[cmd.a % 2] = cmd.b != 0;
      emu.setBlocking(kFunctions[cmd.a % 2], cmd.b);
      break;
    case Op::Swipe: emu.setSwipeDelayMs(cmd.a); break;
    case Op::Unterminated: emu.setUnterminatedBuffers(cmd.b); break;
    case Op::MissBreakOffs: {
      // A teardown waits the time-out and 2 s for a call that never returns:
      // the sessions lose calls mostly on runs without a time-out, now and
      // then with the shortest one.
      const bool cheap = text && text->CheckBox2->checked();
      const bool forever = cmd.a >= kMissForever && (cheap || cmd.b == 0) && device::TimeoutMs <= kShortTimeout;
      const int count = cmd.a >= kMissForever && !forever ? 3 : cmd.a;
      emu.missBreakOffs(count);
      missForever = count >= kMissForever;
      break;
    }
    case Op::ManualSwipe:
      manual = cmd.b != 0;
      emu.setManualSwipe(cmd.b);
      break;
    case Op::LoseCalls:
      // The reader goes silent: every break-off missed, and the next call
      // waits for a swipe nobody makes (a run without a time-out), or blocks
      // (now and then; its teardown waits the time-out and 2 s).
      if (device::TimeoutMs > kShortTimeout) break;
      if (text && text->CheckBox2->checked()) {
        manual = true;
        emu.setManualSwipe(1);
      } else if (cmd.b == 0) {
        for (int f = 0; f < 2; ++f) {
          blocking[f] = true;
          emu.setBlocking(kFunctions[f], 1);
        }
      } else {
        break;
      }
      emu.missBreakOffs(kMissForever);
      missForever = true;
      break;
    case Op::SwipeNow: emu.swipe(); break;
    case Op::CloseOutside:
      if (cmd.a == 0) closeNow();
      else closeArmed = true;
      break;
    case Op::SinglePress: {
      // The single-card pages call the library on this thread: only with a
      // card that comes by itself, or beside a lost call (refused).
      auto* single = dynamic_cast<pages::SingleCardFrame*>(p);
      if (!single || !onPage()) break;
      if (!lostBefore && (!quiet || manual || blocking[0] || blocking[1])) break;
      const bool taken = single->Button1->click();
      if (taken && lostBefore && lost()) expectRefusal(dialogsFrom, logFrom, single->Button1->caption(), false);
      // One card on its own, not a batch's.
      if (!lostBefore) logSeen = emu.logCount();
      // The lost call came back while the press waited for it, and the
      // press went on: its own call is the last line, the lost call's come
      // before it.
      if (taken && lostBefore && !lost() && !refused(dialogsFrom)) {
        const int count = emu.logCount();
        const std::string own = single->Button1->caption() == "写卡" ? "writecard(" : "readcard(";
        if (count > logSeen && lineAt(count - 1).rfind(own, 0) == 0) {
          for (int i = logSeen; i < count - 1; ++i) takeLine(lineAt(i));
          logSeen = count;
        }
      }
      break;
    }
  }
}

void Runner::Impl::check(const Cmd& cmd, std::size_t index, Clock::duration took, Clock::duration slack) {
  const std::string where = "step " + std::to_string(index + 1) + " (" + describe(cmd) + "): ";
  if (took > kStepBound + slack)
    fail(where + "took " +
         std::to_string(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()) + " ms");
  if (emu.mostConcurrentTransfers() > 1)
    fail(where + "two readcard/writecard calls were inside the library at once");
  if (pageGone && ui::Thread::running() != 0 && !orphaned) fail(where + "a worker outlived its page");
  // Refused for a pending call: only while a worker has not ended.
  if (quietAtEnd) {
    const auto records = ui.dialogs().records();
    for (std::size_t i = dialogsBefore; i < records.size(); ++i)
      if (records[i].text == oracle::kLastCallPending)
        fail(where + "refused for a pending call with no worker running");
  }

  const bool idle = ui::Thread::running() == 0;
  if (idle) orphaned = false;
  quietAtEnd = idle;
  processLines();
  if (idle) batches.quiet();

  const St seen = observe();
  if (seen == St::Invalid) fail(where + "the page's buttons match no state of its table");
  const std::set<St> can = successors(allowed);
  if (!can.count(seen)) {
    std::string list;
    for (St s : can) list += std::string(" ") + name(s);
    fail(where + "page state " + name(seen) + ", the model allows" + list);
  }
  state = seen;
  allowed = {seen};
  if (std::getenv("CARDTEST_TRACE")) {
    const auto records = ui.dialogs().records();
    std::fprintf(stderr, "%s -> %s, page %d, log %d, workers %d%s, %lld ms%s%s\n", describe(cmd).c_str(),
                 name(seen), static_cast<int>(kind()), emu.logCount(), ui::Thread::running(),
                 lost() ? " (lost call)" : "", static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(took).count()),
                 records.size() > dialogsBefore ? ", last dialog: " : "",
                 records.size() > dialogsBefore ? records.back().text.c_str() : "");
  }
  if (kind() == Kind::MWrite) {
    auto* w = static_cast<TMWirteCardFrame1*>(form->OperationPage.get());
    if (w->Paused != pausedFlag) fail(where + "Paused differs from the clicks of pause/continue");
  }
  // A long session's call log is emptied while nothing can add to it.
  if (idle && emu.logCount() > 2000) {
    emu.clearLog();
    logSeen = 0;
  }
  if (ui::Frame* p = form->OperationPage.get()) p->setProp("rtest.seen", "1");
}

Runner::Runner() : impl_(std::make_unique<Impl>()) {}
Runner::~Runner() = default;

std::pair<int, int> Runner::context() const {
  // A lost call rides on the state: the sessions then try the device and
  // end the call soon (a lost call slows every teardown and start).
  return {static_cast<int>(impl_->kind()), static_cast<int>(impl_->state) + (impl_->lost() ? kLostFlag : 0)};
}

void Runner::step(const Cmd& cmd) {
  Impl& m = *impl_;
  const std::size_t i = static_cast<std::size_t>(steps_);
  ++steps_;
  if (cmd.op == Op::Nop) return;
  m.confirmsAnswered.clear();
  m.dialogsBefore = m.ui.dialogs().records().size();
  m.pageGone = false;
  const int logBefore = m.emu.logCount();
  const auto dialogsBefore = m.ui.dialogs().records().size();
  if (m.quietAtEnd && (logBefore != m.logSeen || dialogsBefore != m.dialogsSeen))
    m.fail("step " + std::to_string(i + 1) +
           ": the library was called or a dialog shown between steps with no worker running");
  const bool hadPage = m.form->OperationPage != nullptr;
  // A teardown or a start may wait for a call that never returns by itself.
  const bool mayHang = m.missForever || m.orphaned;
  const int timeoutBefore = device::TimeoutMs;
  const bool lostBefore = m.lost();
  const int logFrom = m.logSeen;
  const std::string where = "step " + std::to_string(i + 1) + " (" + describe(cmd) + "): ";
  const auto t0 = Clock::now();
  m.inStep = true;
  m.perform(cmd);
  m.closed(where);
  const ui::Frame* now = m.form->OperationPage.get();
  // Each page is marked after its steps: a page without the mark is new.
  if (m.pageGone || (now && now->prop("rtest.seen").empty()) || (hadPage && !now)) {
    // The old page is gone: its worker must have ended with it.
    m.outlived(where + "a worker outlived its page");
    m.pageGone = true;
    m.pageWent();
    m.allowed = {St::None, St::Idle, St::Input};
    m.pausedFlag = m.kind() == Kind::MWrite &&
                   static_cast<TMWirteCardFrame1*>(m.form->OperationPage.get())->Paused;
    m.textFile.reset();
  }
  m.settle();
  m.closed(where);
  m.inStep = false;
  m.syncDialogs();
  // Beside a lost call the window calls nothing but endcard; the call
  // itself may come back once.
  if (lostBefore && m.lost()) {
    int transfers = 0;
    const int count = m.emu.logCount();
    for (int k = logFrom; k < count; ++k) {
      const int length = m.emu.logLine(k, nullptr, 0);
      std::string line(static_cast<std::size_t>(std::max(length, 0)) + 1, '\0');
      m.emu.logLine(k, line.data(), length + 1);
      line.resize(static_cast<std::size_t>(std::max(length, 0)));
      const std::string entry = oracle::entryOf(line);
      if (entry == "opencomm" || entry == "detect" || entry == "reset" ||
          ((entry == "readcard" || entry == "writecard") && ++transfers > 1))
        m.fail(where + "the library was called beside a worker given up inside it: " + line);
    }
  }
  const auto slack = mayHang ? ui::WorkerSlot::teardownBound(std::max(timeoutBefore, device::TimeoutMs)) +
                                   ui::WorkerSlot::kStartPatience
                             : Clock::duration::zero();
  m.check(cmd, i, Clock::now() - t0, slack);
}

void Runner::finish() {
  Impl& m = *impl_;
  m.closeArmed = false;
  // The session ends with the window; its workers go with it.
  m.clickOnTab(m.form->Button11);
  ui::app().setMainForm(nullptr);
  m.form.reset();
  m.outlived("a worker outlived the window at the end of the session");
  if (m.lost()) {
    // The lost call returns: its worker ends without a restart.
    m.releaseLostCalls();
    if (!m.waitForWorkers(2000ms)) m.failOutlived("a lost call returned and its worker went on");
  }
  m.pageWent();
  if (m.emu.mostConcurrentTransfers() > 1)
    m.fail("two readcard/writecard calls were inside the library at once");
}

// ---- generators and printing ----

namespace {

template <class T, std::size_t N>
rc::Gen<T> pick(const T (&items)[N]) {
  return rc::gen::elementOf(std::vector<T>(items, items + N));
}

rc::Gen<Cmd> make(Op op, rc::Gen<int> a = rc::gen::just(0), rc::Gen<int> b = rc::gen::just(0),
                  rc::Gen<int> c = rc::gen::just(0), rc::Gen<int> d = rc::gen::just(0),
                  rc::Gen<int> r = rc::gen::just(0), rc::Gen<std::string> text = rc::gen::just(std::string())) {
  return rc::gen::apply(
      [op](int a1, int b1, int c1, int d1, int r1, std::string t) {
        Cmd cmd;
        cmd.op = op;
        cmd.a = a1;
        cmd.b = b1;
        cmd.c = c1;
        cmd.d = d1;
        cmd.r = r1;
        cmd.text = std::move(t);
        return cmd;
      },
      a, b, c, d, r, text);
}

const char* opName(Op op) {
  switch (op) {
    case Op::Nop: return "nop";
    case Op::ConnectManual: return "connect by hand";
    case Op::ConnectAuto: return "connect automatically";
    case Op::ResetDevice: return "reset the reader";
    case Op::PageButton: return "page button";
    case Op::CloseWindow: return "close the window";
    case Op::Track: return "track choice";
    case Op::Count: return "count";
    case Op::Field: return "field";
    case Op::Arrow: return "up-down arrow";
    case Op::Start: return "Start";
    case Op::Stop: return "Stop";
    case Op::PauseContinue: return "Pause/Continue";
    case Op::Back: return "Back";
    case Op::EscLog: return "Esc in the write log";
    case Op::Clear: return "Clear";
    case Op::ChooseFile: return "choose a file";
    case Op::ToggleBox: return "check box";
    case Op::Answer: return "queue a dialog answer";
    case Op::Script: return "script a result";
    case Op::Blocking: return "blocking calls";
    case Op::Swipe: return "swipe delay";
    case Op::Unterminated: return "unterminated buffers";
    case Op::MissBreakOffs: return "missed break-offs";
    case Op::ManualSwipe: return "swipes by hand";
    case Op::SwipeNow: return "swipe a card";
    case Op::CloseOutside: return "close from outside";
    case Op::SinglePress: return "read/write one card";
    case Op::LoseCalls: return "the reader goes silent";
  }
  return "?";
}

}  // namespace

rc::Gen<Cmd> commandGen(int pageKind, int pageState) {
  using namespace rc;
  const auto k = static_cast<Kind>(pageKind);
  const bool lostCall = (pageState & kLostFlag) != 0;
  const auto st = static_cast<St>(pageState & ~kLostFlag);
  const bool none = k == Kind::None, other = k == Kind::Other;
  const bool read = k == Kind::MRead, write = k == Kind::MWrite, text = k == Kind::Text;
  const bool input = write && st == St::Input;
  const bool batch = (write && st != St::Input) || (read && st == St::Busy) ||
                     (text && st == St::Active);
  const auto w = [](bool on, std::size_t weight) { return on ? weight : std::size_t{0}; };
  const std::size_t files = fileCases().size();
  std::vector<std::string> fieldTexts;
  for (int i = 0; i < 8; ++i) fieldTexts.push_back(fixedText(i));
  const auto ok = gen::inRange(0, 2);
  const auto counts = gen::weightedOneOf<std::string>(
      {{6, gen::map(gen::inRange(1, 6), [](int n) { return std::to_string(n); })},
       {3, gen::map(pick(kCounts), [](const char* c) { return std::string(c); })}});
  const auto numbers = gen::weightedOneOf<std::string>(
      {{3, gen::map(gen::inRange(-3, 20), [](int n) { return std::to_string(n); })},
       {2, gen::map(pick(kNumbers), [](const char* c) { return std::string(c); })}});
  return gen::weightedOneOf<Cmd>({
      {1, make(Op::Nop)},
      {w(none, 4) + w(other, 2) + w(lostCall, 2) + 1, make(Op::ConnectManual, gen::inRange(0, 6), gen::inRange(0, 6), gen::inRange(0, 2),
               gen::inRange(0, 4), pick(kOpencommResults))},
      {w(none, 8) + w(other, 2) + 1, make(Op::ConnectAuto, gen::just(0), gen::inRange(0, 6), gen::just(0), gen::inRange(0, 4),
               pick(kDetectAnswers))},
      {1 + w(lostCall, 1), make(Op::ResetDevice, gen::just(0), gen::just(0), gen::just(0), gen::just(0),
               pick(kResetResults))},
      {w(other, 12) + 3, make(Op::PageButton, gen::weightedElement<int>({{1, 0}, {1, 1}, {3, 2}, {4, 3}, {4, 4}}))},
      {1, make(Op::CloseWindow)},
      {w(read || write || text, 3), make(Op::Track, gen::inRange(0, 7))},
      {w(read, 5) + w(input, 9), make(Op::Count, gen::just(0), gen::just(0), gen::just(0), gen::just(0), gen::just(0), counts)},
      {w(input, 10), make(Op::Field, gen::inRange(0, 9), gen::just(0), gen::just(0), gen::just(0), gen::just(0),
               gen::weightedOneOf<std::string>({{1, gen::elementOf(fieldTexts)}, {2, numbers}}))},
      {w(input || read, 1), make(Op::Arrow, gen::inRange(0, 7), ok)},
      {w(read || write || text, lostCall ? 2 : 10), make(Op::Start)},
      {w(batch, 3) + w(read || text, 1), make(Op::Stop, gen::just(0), gen::weightedElement<int>({{1, 0}, {3, 1}}))},
      {w(write && !input, 5), make(Op::PauseContinue)},
      {w(write, 2) + w(batch && write, 2), make(Op::Back)},
      {w(write && !input, 2), make(Op::EscLog, gen::just(0), ok)},
      {w(read || text, 1), make(Op::Clear)},
      {w(text, 6), make(Op::ChooseFile, gen::inRange(-1, static_cast<int>(files)))},
      {w(write || text, 2) + w(text && !batch, 2), make(Op::ToggleBox, gen::inRange(1, 3))},
      {w(write || text, 5), make(Op::Answer, gen::just(0), gen::weightedElement<int>({{1, 0}, {3, 1}}))},
      {w(read || write || text, 5), make(Op::Script, gen::inRange(0, 2), gen::just(0), gen::just(0), gen::just(0),
               pick(kTransferResults))},
      {w(read || write || text, 2), make(Op::Blocking, gen::inRange(0, 2), gen::weightedElement<int>({{3, 0}, {1, 1}}))},
      {2, make(Op::Swipe, gen::inRange(0, 6))},
      {w(read, 1), make(Op::Unterminated, gen::just(0), ok)},
      // Runs without a time-out lose their calls the cheapest.
      {w(read || write || text, 2) + w(lostCall, 2),
       make(Op::MissBreakOffs, pick(kMissCounts), gen::inRange(0, 6))},
      {w(read || write || text, 1), make(Op::ManualSwipe, gen::just(0), ok)},
      {w(text, 3) + w(batch, 3), make(Op::LoseCalls, gen::just(0), gen::inRange(0, 6))},
      {1 + w(lostCall, 6), make(Op::SwipeNow)},
      {1, make(Op::CloseOutside, gen::inRange(0, 2))},
      {w(other, 4) + w(other && lostCall, 4), make(Op::SinglePress)},
  });
}

std::string describe(const Cmd& cmd) {
  std::ostringstream os;
  os << opName(cmd.op);
  switch (cmd.op) {
    case Op::ConnectManual:
      os << " (model " << cmd.a << ", port " << cmd.b << ", mode " << cmd.c << ", time-out " << cmd.d;
      if (cmd.r != kNoScript) os << ", opencomm scripted " << cmd.r;
      os << ")";
      break;
    case Op::ConnectAuto:
      os << " (port " << cmd.b << ", time-out " << cmd.d << ", detect answers " << cmd.r << ")";
      break;
    case Op::ResetDevice:
      if (cmd.r != kNoScript) os << " (scripted " << cmd.r << ")";
      break;
    case Op::PageButton: {
      const char* const names[] = {"读卡测试", "写卡测试", "连续读卡", "连续写卡", "写文本文件"};
      os << " " << names[std::clamp(cmd.a, 0, 4)];
      break;
    }
    case Op::Track: os << " " << cmd.a + 1; break;
    case Op::Count: os << " \"" << cmd.text << "\""; break;
    case Op::Field: {
      const char* const names[] = {"Memo1", "Memo2", "Memo3", "Edit2", "Edit3",
                                   "Edit4", "Edit5", "Edit6", "Edit7"};
      os << " " << names[cmd.a % 9] << " = \""
         << (cmd.text.size() > 20 ? cmd.text.substr(0, 8) + "...(" + std::to_string(cmd.text.size()) + " chars)"
                                  : cmd.text)
         << "\"";
      break;
    }
    case Op::Arrow: os << " UpDown" << cmd.a % 7 + 1 << (cmd.b ? " up" : " down"); break;
    case Op::Stop:
    case Op::EscLog:
    case Op::Answer: os << (cmd.b ? " (OK)" : " (Cancel)"); break;
    case Op::ChooseFile: {
      const auto f = fileCases();
      if (cmd.a < 0 || cmd.a >= static_cast<int>(f.size())) os << " (Cancel)";
      else os << " " << f[static_cast<std::size_t>(cmd.a)].name;
      break;
    }
    case Op::ToggleBox: os << " CheckBox" << cmd.a; break;
    case Op::Script: os << " " << kFunctions[cmd.a % 2] << " -> " << cmd.r; break;
    case Op::Blocking: os << " " << kFunctions[cmd.a % 2] << (cmd.b ? " on" : " off"); break;
    case Op::Swipe: os << " " << cmd.a << " ms"; break;
    case Op::Unterminated: os << (cmd.b ? " on" : " off"); break;
    case Op::MissBreakOffs:
      if (cmd.a >= kMissForever) os << ": all until told otherwise";
      else os << ": the next " << cmd.a;
      break;
    case Op::ManualSwipe: os << (cmd.b ? " on" : " off"); break;
    case Op::CloseOutside: os << (cmd.a ? " while the next box is open" : " now"); break;
    default: break;
  }
  return os.str();
}

void showValue(const Cmd& cmd, std::ostream& os) { os << describe(cmd); }

}  // namespace rtest
