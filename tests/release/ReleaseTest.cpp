// The unpacked release as an operator meets it: the demo connects and reads
// the demo card with the emulated reader's panel beside it; the program itself, with no library beside it, says so even
// when the current folder holds one; a library of the other bitness is named.
// CARDTEST_RELEASE_DIR: the unpacked folder cardtest-VERSION-winNN;
// CARDTEST_OTHER_LIBRARY (optional): the other bitness's demo/40x.dll.
#include <windows.h>
#include <commctrl.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "OtherProgram.h"
#include "Operator.h"
#include "cardtest_version.h"
#include "panel/PanelIds.h"
#include "ui/win32/Text.h"

namespace {

using namespace std::chrono_literals;
using ui::win32::widen;

constexpr const char* kCaption = "磁卡读写器测试程序";
// The demo's library is the emulated reader, and the caption says so.
constexpr const char* kDemoCaption = "磁卡读写器测试程序（模拟读卡器）";

std::wstring env(const wchar_t* name) {
  const wchar_t* value = _wgetenv(name);
  return value ? value : L"";
}

HWND findByClass(HWND parent, const char* cls) {
  for (HWND c : op::children(parent)) {
    if (_stricmp(op::className(c).c_str(), cls) == 0) return c;
    if (HWND inner = findByClass(c, cls)) return inner;
  }
  return nullptr;
}

// The edit that follows a label among its siblings, as the page lays them out.
HWND editAfter(HWND top, const std::string& label) {
  HWND l = op::findByText(top, label);
  if (!l) return nullptr;
  bool seen = false;
  for (HWND c : op::children(GetParent(l))) {
    if (c == l) seen = true;
    else if (seen && _stricmp(op::className(c).c_str(), "Edit") == 0) return c;
  }
  return nullptr;
}

class Release : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = env(L"CARDTEST_RELEASE_DIR");
    ASSERT_FALSE(dir.empty()) << "CARDTEST_RELEASE_DIR names no unpacked release";
    ASSERT_NE(GetFileAttributesW((dir + L"\\cardtest.exe").c_str()), INVALID_FILE_ATTRIBUTES);
  }
  std::wstring dir;
};

TEST_F(Release, TheDemoConnectsByHandAndReadsTheDemoCardWithThePanelBesideIt) {
  op::OtherProgram program(dir + L"\\demo\\cardtest.exe", dir + L"\\demo");
  ASSERT_TRUE(program.started());
  HWND top = program.waitForMainWindow(kDemoCaption, 30s);
  if (!top) {
    const auto box = program.waitForBox(1s);
    FAIL() << "no main window" << (box ? ", a box instead: " + box->text : "");
  }
  EXPECT_EQ(program.openBox(), nullptr);
  // The demo's settings show the reader's front panel.
  namespace ids = emu::panel_ids;
  const auto panel = [] { return FindWindowW(ids::kClassName, ids::kTitle); };
  ASSERT_TRUE(op::waitUntil([&] { return panel() && IsWindowVisible(panel()); }, 10s)) << "no panel";
  EXPECT_EQ(op::text(GetDlgItem(panel(), ids::kProblem)).rfind("设置来自", 0), 0u)
      << op::text(GetDlgItem(panel(), ids::kProblem));

  op::press(op::findByText(top, "手动连机", "Button"));
  const auto connected = program.waitForBox(10s);
  ASSERT_TRUE(connected.has_value());
  EXPECT_EQ(connected->text, "联机成功！");
  program.answerBox(IDOK);

  // The tab "操作" (second in the row once connected), chosen as the
  // keyboard does; the read page came with the connection.
  HWND tabs = findByClass(top, "SysTabControl32");
  ASSERT_NE(tabs, nullptr);
  SendMessageW(tabs, TCM_SETCURFOCUS, 1, 0);
  HWND readButton = op::findByText(top, "读卡", "Button");
  ASSERT_NE(readButton, nullptr);
  ASSERT_TRUE(op::waitUntil([&] { return IsWindowVisible(readButton) != FALSE; }, 5s));

  HWND track2 = editAfter(top, "2轨数据");
  ASSERT_NE(track2, nullptr);
  op::press(readButton);
  EXPECT_TRUE(op::waitUntil(
      [&] { return op::remoteText(track2) == "6200000000000000=29121010000012345"; }, 10s))
      << op::remoteText(track2);
  EXPECT_EQ(program.openBox(), nullptr);
  EXPECT_TRUE(op::waitUntil(
      [&] { return op::text(GetDlgItem(panel(), ids::kCounts)) == "读出 1 张，写入 0 张"; }, 5s));
  op::screenshot(top, "release-demo-read-card");
  op::screenshot(panel(), "release-demo-panel");
  // The program ends with the panel open, and the panel with it.
  PostMessageW(top, WM_CLOSE, 0, 0);
  EXPECT_TRUE(program.waitForExit(10s)) << "the program stays with the panel open";
  EXPECT_EQ(panel(), nullptr);
}

TEST_F(Release, TheProgramWithNoLibraryBesideItSaysSoWhateverTheCurrentFolderHolds) {
  // Started from the demo folder, whose 40x.dll must not be taken.
  op::OtherProgram program(dir + L"\\cardtest.exe", dir + L"\\demo");
  ASSERT_TRUE(program.started());
  const auto box = program.waitForBox(30s);
  ASSERT_TRUE(box.has_value()) << "no box: a library was loaded";
  EXPECT_EQ(box->text, "装载40x动态库失败！");
  program.answerBox(IDOK);
  EXPECT_NE(program.waitForMainWindow(kCaption, 10s), nullptr);
}

TEST_F(Release, ALibraryOfTheOtherBitnessBesideTheProgramIsNamed) {
  const std::wstring other = env(L"CARDTEST_OTHER_LIBRARY");
  if (other.empty()) GTEST_SKIP() << "CARDTEST_OTHER_LIBRARY names no library of the other bitness";
  const std::wstring folder = op::freshFolder(L"cardtest-release-bitness");
  ASSERT_TRUE(CopyFileW((dir + L"\\cardtest.exe").c_str(), (folder + L"\\cardtest.exe").c_str(), FALSE));
  ASSERT_TRUE(CopyFileW(other.c_str(), (folder + L"\\40x.dll").c_str(), FALSE));
  {
    op::OtherProgram program(folder + L"\\cardtest.exe", folder);
    const auto box = program.waitForBox(30s);
    ASSERT_TRUE(box.has_value());
    const std::string bits = sizeof(void*) == 8 ? "32" : "64";
    EXPECT_EQ(box->text, "装载40x动态库失败！\n这个40x.dll是" + bits + "位的动态库，本程序是" +
                             (bits == "32" ? "64" : "32") + "位的。请改用" + bits +
                             "位的程序：cardtest-" CARDTEST_VERSION "-win" + bits + " 里的 cardtest.exe。");
    if (HWND open = program.openBox()) op::screenshot(open, "release-other-bitness");
    program.answerBox(IDOK);
  }
  op::removeFolder(folder);
}

}  // namespace
