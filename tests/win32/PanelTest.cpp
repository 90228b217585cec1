// The emulated reader's front panel beside the real program under Wine: a
// person swipes by hand, edits the card, chooses a failure of the device,
// and closes the panel or the program at any moment.
#include <windows.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "EmulatorClient.h"
#include "OtherProgram.h"
#include "Operator.h"
#include "MainFormFixture.h"
#include "app/MainForm.h"
#include "device/DynamicLibrary.h"
#include "pages/Mreadcardframe01.h"
#include "pages/Mwirtecardframe01.h"
#include "workers/Readcard.h"
#include "panel/PanelIds.h"
#include "ui/Application.h"
#include "ui/win32/Dpi.h"
#include "ui/win32/Text.h"
#include "ui/win32/Win32Backend.h"

namespace {

using namespace std::chrono_literals;
using device::DynamicLibrary;
using ui::win32::handleOf;
namespace ids = emu::panel_ids;

// The release's demo settings, which the build copies beside the test folder.
std::string demoSettings() {
  std::ifstream file((op::ownFolder() + L"\\..\\demo-settings\\40x-panel.ini").c_str(), std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

HWND findPanel() { return FindWindowW(ids::kClassName, ids::kTitle); }


class PanelWindow : public ::testing::Test, protected WithMainForm {
 protected:
  // The emulated reader alone in a folder with these settings beside it, as
  // in the release's demo folder, and the program's window loading it.
  void open(const std::string& settings) {
    folder = op::freshFolder(L"cardtest-panel");
    ASSERT_TRUE(CopyFileW((op::ownFolder() + L"\\40x.dll").c_str(), (folder + L"\\40x.dll").c_str(), FALSE));
    std::ofstream((folder + L"\\40x-panel.ini").c_str(), std::ios::binary) << settings;
    DynamicLibrary::setSearchFolderForTests(ui::win32::narrow(folder));
    showMainForm();
    reader = std::make_unique<emu::Client>();
    ASSERT_TRUE(reader->controllable());
    ASSERT_TRUE(op::pumpUntil([&] { return (panel = findPanel()) != nullptr && IsWindowVisible(panel); }))
        << "no panel";
    op::pump(200ms);
  }
  void TearDown() override {
    closeMainForm();
    reader.reset();
    // The stop button's process-wide handle keeps the last run's load.
    ReaderLibraryHandle.set(nullptr);
    if (folder.empty()) return;
    if (HWND p = findPanel()) PostMessageW(p, WM_CLOSE, 0, 0);
    // The panel's hold on the library goes with its thread; then nothing holds it.
    const std::wstring library = folder + L"\\40x.dll";
    EXPECT_TRUE(op::pumpUntil([&] { return GetModuleHandleW(library.c_str()) == nullptr; }))
        << "the library stays loaded";
    DynamicLibrary::setSearchFolderForTests("");
    op::removeFolder(folder);
  }

  HWND control(int id) { return GetDlgItem(panel, id); }
  std::string shown(int id) { return op::text(control(id)); }
  // Picks the entry of a drop-down list that begins with `prefix`, as a click does.
  void pick(int id, const std::string& prefix) {
    HWND list = control(id);
    const std::wstring wide = ui::win32::widen(prefix);
    const LRESULT index = SendMessageW(list, CB_FINDSTRING, static_cast<WPARAM>(-1),
                                       reinterpret_cast<LPARAM>(wide.c_str()));
    ASSERT_GE(index, 0) << prefix;
    // The panel's timer puts back what the reader holds; one that comes
    // between the two messages undoes the pick, which a click does not.
    for (int attempt = 0; attempt < 20; ++attempt) {
      SendMessageW(list, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
      SendMessageW(panel, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
      if (SendMessageW(list, CB_GETCURSEL, 0, 0) == index) return;
    }
    FAIL() << "the panel kept undoing the pick of " << prefix;
  }
  // Replaces a track's text in the panel as the keyboard does.
  void typeTrack(int track, const std::string& text) {
    HWND edit = control(ids::kTrackEdit + track - 1);
    SendMessageW(edit, EM_SETSEL, 0, -1);
    SendMessageW(edit, WM_CHAR, VK_BACK, 1);
    op::type(edit, text);
  }
  void swipe() { SendMessageW(control(ids::kSwipe), BM_CLICK, 0, 0); }
  std::string newestCall() {
    const auto lines = calls();
    return lines.empty() ? std::string() : lines.front();
  }
  HWND button(const char* caption) { return op::findByText(top, caption, "Button"); }
  void connect(const char* how = "自动连机") {
    op::BoxAnswerer answerer(IDOK);
    op::press(button(how));
    ASSERT_TRUE(answerer.waitFor(1));
    ASSERT_EQ(answerer.boxes()[0].text, "联机成功！");
    ASSERT_TRUE(op::pumpUntil([&] { return form->OperationPage != nullptr; }));
    op::pump(100ms);
  }
  HWND pageButton(const char* caption) { return op::findByText(handleOf(*form->Panel1), caption, "Button"); }
  // The read page's "2轨", as a click picks it.
  void readTrack2() {
    HWND radio = pageButton("2轨");
    ASSERT_NE(radio, nullptr);
    op::press(radio);
    ASSERT_TRUE(op::pumpUntil([&] { return SendMessageW(radio, BM_GETCHECK, 0, 0) == BST_CHECKED; }));
  }
  std::vector<std::string> calls() {
    HWND list = control(ids::kCalls);
    std::vector<std::string> lines;
    const LRESULT count = SendMessageW(list, LB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
      const LRESULT n = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
      std::wstring line(static_cast<std::size_t>(n) + 1, L'\0');
      SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(line.data()));
      line.resize(static_cast<std::size_t>(n));
      lines.push_back(ui::win32::narrow(line));
    }
    return lines;
  }

  std::wstring folder;
  std::unique_ptr<emu::Client> reader;
  HWND panel = nullptr;
};

TEST(PanelWithoutSettings, TheBuildTreesReaderShowsNoPanel) {
  emu::Client reader;
  ASSERT_TRUE(reader.controllable());
  op::pump(300ms);
  EXPECT_EQ(findPanel(), nullptr);
}

TEST_F(PanelWindow, TheDemoSettingsShowTheCardTheRulesAndTheCalls) {
  open(demoSettings());
  EXPECT_NE(GetWindowLongW(panel, GWL_STYLE) & WS_CAPTION, 0);
  EXPECT_EQ(shown(ids::kProblem).rfind("设置来自 40x-panel.ini", 0), 0u) << shown(ids::kProblem);
  for (int t = 1; t <= 3; ++t) {
    SCOPED_TRACE(t);
    EXPECT_EQ(shown(ids::kTrackEdit + t - 1), reader->track(t));
    EXPECT_EQ(shown(ids::kTrackMark + t - 1), "符合编码规则");
  }
  EXPECT_EQ(SendMessageW(control(ids::kManual), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_FALSE(IsWindowEnabled(control(ids::kSwipe)));
  EXPECT_EQ(shown(ids::kDelay), "300");
  EXPECT_EQ(shown(ids::kModel).rfind("2428：", 0), 0u) << shown(ids::kModel);
  EXPECT_EQ(shown(ids::kResult).rfind("0：", 0), 0u) << shown(ids::kResult);
  EXPECT_EQ(shown(ids::kWaiting), "没有等待刷卡的读写卡操作");

  // A track that breaks the encoder's rules is marked.
  typeTrack(2, "62A");
  EXPECT_TRUE(op::pumpUntil([&] { return shown(ids::kTrackMark + 1) == "不符合编码规则！"; }));
  EXPECT_EQ(reader->track(2), "62A");
  typeTrack(2, "6200000000000000=29121010000012345");
  EXPECT_TRUE(op::pumpUntil([&] { return shown(ids::kTrackMark + 1) == "符合编码规则"; }));

  // The model the detection answers, chosen in the panel.
  pick(ids::kModel, "2402：");
  connect();
  EXPECT_NE(op::text(handleOf(*form->Memo1)).find("ZVX402（单2轨）"), std::string::npos)
      << op::text(handleOf(*form->Memo1));
  // Newest first: the connection's detection is the last of its calls.
  EXPECT_TRUE(op::pumpUntil([&] {
    const auto lines = calls();
    return !lines.empty() && lines.back().rfind("detect(", 0) == 0;
  })) << newestCall();
  op::press(pageButton("读卡"));
  EXPECT_TRUE(op::pumpUntil([&] { return shown(ids::kCounts) == "读出 1 张，写入 0 张"; })) << shown(ids::kCounts);
  EXPECT_EQ(newestCall().rfind("readcard(", 0), 0u) << newestCall();
  EXPECT_NE(newestCall().find("\"6200000000000000=29121010000012345\""), std::string::npos) << newestCall();
  op::screenshot(panel, "panel-demo");
  op::screenshot(top, "panel-demo-program");
}

// Run at every display scaling by scripts/wine-tests: the prefix's desktop
// (1024 x 768 at 100 %) has no room for the whole panel beside the program.
TEST_F(PanelWindow, AtAnyScalingItOpensFoldedClearOfTheProgramAndUnfoldsScaled) {
  open(demoSettings());
  int dpi = ui::win32::dpiOf(panel);
  auto at = [&dpi](int v) { return MulDiv(v, dpi, 96); };
  RECT outer, program, desk, overlap;
  GetWindowRect(top, &program);
  GetWindowRect(GetDesktopWindow(), &desk);
  struct Part {
    int id;
    op::Place place;  // at 96 DPI
    bool folded;      // shown folded
  } const parts[] = {{ids::kSwipe, {106, 7, 75, 25}, true},
                     {ids::kCounts, {12, 72, 296, 16}, true},
                     {ids::kCalls, {12, 412, 536, 148}, false}};
  // Folded, unfolded, moved to a screen of a quarter more scaling, folded there.
  const int start = dpi, more = dpi + dpi / 4;
  const std::pair<bool, int> steps[] = {{true, start}, {false, start}, {false, more}, {true, more}};
  for (const auto& [folded, to] : steps) {
    SCOPED_TRACE(::testing::Message() << (folded ? "folded at " : "unfolded at ") << to);
    GetWindowRect(panel, &outer);
    if (to != dpi) SendMessageW(panel, WM_DPICHANGED, MAKEWPARAM(to, to), reinterpret_cast<LPARAM>(&outer));
    if (folded != (shown(ids::kFold) == "展开")) SendMessageW(control(ids::kFold), BM_CLICK, 0, 0);
    op::pump(100ms);
    dpi = to;
    GetWindowRect(panel, &outer);
    EXPECT_TRUE(!folded || dpi != start || !IntersectRect(&overlap, &outer, &program))
        << outer.left << "," << outer.top;
    EXPECT_TRUE(outer.left >= desk.left && outer.top >= desk.top && outer.right <= desk.right &&
                outer.bottom <= desk.bottom);
    EXPECT_NEAR(op::clientSize(panel).cx, at(folded ? 320 : 560), 1);
    EXPECT_NEAR(op::clientSize(panel).cy, at(folded ? 96 : 568), 1);
    for (const Part& part : parts) {
      const op::Place p = op::placeOf(control(part.id));
      EXPECT_TRUE(std::abs(p.left - at(part.place.left)) <= 1 && std::abs(p.top - at(part.place.top)) <= 1 &&
                  std::abs(p.width - at(part.place.width)) <= 1 && std::abs(p.height - at(part.place.height)) <= 1)
          << part.id << " at " << p.left << "," << p.top << " " << p.width << "x" << p.height;
      EXPECT_EQ(IsWindowVisible(control(part.id)) != FALSE, !folded || part.folded) << part.id;
    }
    LOGFONTW lf{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control(ids::kSwipe), WM_GETFONT, 0, 0)), sizeof lf, &lf);
    EXPECT_EQ(-lf.lfHeight, MulDiv(9, dpi, 72));
    if (dpi == start)
      op::screenshot(panel, std::string(folded ? "panel-folded-" : "panel-") + std::to_string(dpi) + "dpi");
  }
}

TEST_F(PanelWindow, ByHandAReadWaitsForTheSwipeAndShowsTheEditedTrack) {
  open("panel = on\r\nswipe = manual\r\n");
  EXPECT_EQ(SendMessageW(control(ids::kManual), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_TRUE(IsWindowEnabled(control(ids::kSwipe)));
  connect();
  readTrack2();
  typeTrack(2, "6222333344445555");
  ASSERT_TRUE(op::pumpUntil([&] { return reader->track(2) == "6222333344445555"; }));

  // The read page calls the library on the window's thread: the swipe comes
  // from another thread, as a person's hand does.
  std::atomic<bool> waited{false};
  std::string waiting;
  std::thread hand([&] {
    if (!op::waitUntil([&] { return reader->pendingCalls() == 1; }, 5000ms)) return;
    std::this_thread::sleep_for(600ms);  // twice the automatic delay
    waited = reader->pendingCalls() == 1;
    waiting = op::text(GetDlgItem(findPanel(), ids::kWaiting));
    SendMessageW(GetDlgItem(findPanel(), ids::kSwipe), BM_CLICK, 0, 0);
  });
  HWND memo2 = handleOf(*form->OperationPage->find<ui::Memo>("Memo2"));
  op::press(pageButton("读卡"));
  const bool read = op::pumpUntil([&] { return op::text(memo2) == "6222333344445555"; }, 8000ms);
  hand.join();
  EXPECT_TRUE(read) << op::text(memo2);
  EXPECT_TRUE(waited) << "the read did not wait for the swipe";
  EXPECT_EQ(waiting, "正在等待刷卡：读卡（2轨），请按“刷卡”");
  EXPECT_TRUE(op::pumpUntil([&] { return shown(ids::kWaiting) == "没有等待刷卡的读写卡操作"; }));
}

TEST_F(PanelWindow, AChosenFailureShowsOnTheReadPageOnce) {
  open("panel = on\r\nswipe_delay_ms = 5\r\n");
  connect();
  readTrack2();
  pick(ids::kResult, "-6：");
  {
    op::BoxAnswerer answerer(IDOK);
    op::press(pageButton("读卡"));
    ASSERT_TRUE(answerer.waitFor(1, 8000ms));
    EXPECT_EQ(answerer.boxes()[0].text, "-6:读卡失败！");
  }
  // Chosen for the next card only: the panel shows it taken back.
  EXPECT_TRUE(op::pumpUntil([&] { return shown(ids::kResult).rfind("0：", 0) == 0; })) << shown(ids::kResult);
  HWND memo2 = handleOf(*form->OperationPage->find<ui::Memo>("Memo2"));
  op::press(pageButton("读卡"));
  EXPECT_TRUE(op::pumpUntil([&] { return op::text(memo2) == reader->track(2); }, 8000ms));
  EXPECT_FALSE(op::boxOpen());
}

TEST_F(PanelWindow, AFailureChosenForTheSecondCardOfABatchBringsTheRewriteQuestion) {
  open("panel = on\r\nswipe = manual\r\n");
  connect();
  op::press(button("连续写卡"));
  ASSERT_TRUE(op::pumpUntil([&] { return dynamic_cast<TMWirteCardFrame1*>(form->OperationPage.get()); }));
  op::pump(100ms);
  auto* page = dynamic_cast<TMWirteCardFrame1*>(form->OperationPage.get());
  const std::pair<ui::Control*, const char*> fields[] = {
      {page->Memo1, "CARD"}, {page->Edit2, "1"}, {page->Edit3, "1"}, {page->Edit1, "3"}};
  for (auto [edit, text] : fields) {
    HWND h = handleOf(*edit);
    SetFocus(h);
    SendMessageW(h, EM_SETSEL, 0, -1);
    op::type(h, text);
  }
  // "请刷卡！" and the question are answered OK, the question a second time Cancel.
  int questions = 0;
  op::BoxAnswerer answerer([&](const op::Box& box) {
    if (box.text.find("是否继续") == std::string::npos) return IDOK;
    return ++questions == 1 ? IDOK : IDCANCEL;
  });
  op::press(handleOf(*page->Button1));
  const auto cardWaits = [&] { return op::pumpUntil([&] { return reader->pendingCalls() == 1; }, 8000ms); };
  ASSERT_TRUE(cardWaits());
  swipe();
  ASSERT_TRUE(op::pumpUntil([&] { return reader->cardsDone(1) == 1; }));
  ASSERT_TRUE(cardWaits());
  pick(ids::kResult, "-14：");
  swipe();
  ASSERT_TRUE(answerer.waitFor(2, 8000ms));
  EXPECT_EQ(answerer.boxes()[1].text, "第2次写卡失败\r\n  是否继续");
  // Rewritten: card 2 is asked for again and written with its own data.
  ASSERT_TRUE(cardWaits());
  swipe();
  ASSERT_TRUE(op::pumpUntil([&] { return reader->cardsDone(1) == 2; }));
  EXPECT_EQ(reader->track(1), "CARD2");
  pick(ids::kResult, "-14：");
  SendMessageW(control(ids::kEvery), BM_CLICK, 0, 0);
  ASSERT_TRUE(cardWaits());
  swipe();
  ASSERT_TRUE(answerer.waitFor(3, 8000ms));
  EXPECT_EQ(answerer.boxes()[2].text, "第3次写卡失败\r\n  是否继续");
  ASSERT_TRUE(op::pumpUntil([&] { return !page->running(); }));
  EXPECT_EQ(reader->track(1), "CARD2");
  EXPECT_EQ(shown(ids::kCounts), "读出 0 张，写入 2 张");
  op::screenshot(panel, "panel-batch");
}

TEST_F(PanelWindow, ThePanelClosedWhileACallWaitsLeavesItToItsBreakOff) {
  open("panel = on\r\nswipe = manual\r\n");
  connect("手动连机");
  op::press(button("连续读卡"));
  ASSERT_TRUE(op::pumpUntil([&] { return dynamic_cast<TMReadCardFrame1*>(form->OperationPage.get()); }));
  op::pump(100ms);
  auto* page = dynamic_cast<TMReadCardFrame1*>(form->OperationPage.get());
  HWND count = handleOf(*page->Edit1);
  SetFocus(count);
  SendMessageW(count, EM_SETSEL, 0, -1);
  op::type(count, "2");
  op::press(handleOf(*page->Button1));
  ASSERT_TRUE(op::pumpUntil([&] { return reader->pendingCalls() == 1; }));

  PostMessageW(panel, WM_CLOSE, 0, 0);
  ASSERT_TRUE(op::pumpUntil([&] { return findPanel() == nullptr; }));
  op::pump(600ms);
  EXPECT_EQ(reader->pendingCalls(), 1) << "closing the panel swiped or ended the call";
  EXPECT_TRUE(page->running());
  // The program still holds the library and breaks the call off.
  {
    op::BoxAnswerer answerer(IDOK);
    op::press(handleOf(*page->Button3));
    EXPECT_TRUE(op::pumpUntil([&] { return !page->running(); }, 3000ms));
  }
  EXPECT_EQ(reader->pendingCalls(), 0);
  EXPECT_EQ(op::text(handleOf(*page->Memo1)), "");
  // Without the panel the reader swipes by itself again.
  op::press(handleOf(*page->Button1));
  EXPECT_TRUE(op::pumpUntil([&] { return !page->running() && reader->cardsDone(0) == 2; }, 8000ms));
}

TEST(PanelBesideTheProgram, TheProgramClosesWithThePanelOpen) {
  const std::wstring folder = op::freshFolder(L"cardtest-panel-demo");
  const std::wstring here = op::ownFolder();
  for (const wchar_t* file : {L"\\cardtest.exe", L"\\40x.dll"})
    ASSERT_TRUE(CopyFileW((here + file).c_str(), (folder + file).c_str(), FALSE));
  std::ofstream((folder + L"\\40x-panel.ini").c_str(), std::ios::binary) << demoSettings();
  {
    op::OtherProgram program(folder + L"\\cardtest.exe", folder);
    HWND window = program.waitForMainWindow("磁卡读写器测试程序（模拟读卡器）", 20s);
    ASSERT_NE(window, nullptr);
    // Shown once its controls are there.
    ASSERT_TRUE(op::waitUntil([] { return findPanel() != nullptr && IsWindowVisible(findPanel()); }, 10s));
    EXPECT_EQ(program.openBox(), nullptr);
    // The panel answers while the program runs.
    SendMessageW(GetDlgItem(findPanel(), ids::kManual), BM_CLICK, 0, 0);
    EXPECT_EQ(SendMessageW(GetDlgItem(findPanel(), ids::kManual), BM_GETCHECK, 0, 0), BST_CHECKED);
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(program.waitForExit(10s)) << "the program stays with the panel open";
    EXPECT_EQ(findPanel(), nullptr);
  }
  op::removeFolder(folder);
}

}  // namespace
