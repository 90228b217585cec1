// How the program finds the maker's library on Windows: the names a 32-bit
// compiler gives __stdcall entry points, a library of the other bitness
// beside the program, and a library that lies only in the current folder.
#include <windows.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <memory>
#include <string>

#include "../device/TestFolders.h"
#include "OtherProgram.h"
#include "Operator.h"
#include "app/MainForm.h"
#include "cardtest_version.h"
#include "device/CardDevice.h"
#include "device/DynamicLibrary.h"
#include "device/TrackBuffer.h"
#include "pages/TrackChoice.h"
#include "ui/win32/Text.h"

namespace {

using namespace std::chrono_literals;
using device::DynamicLibrary;
using device::kLibraryFileName;

constexpr bool k32Bit = sizeof(void*) == 4;

struct Entry {
  const char* name;
  std::size_t bytes;
};
const Entry kEntries[] = {{"detect", 8},   {"reset", 8},    {"opencomm", 12},
                          {"endcard", 4},  {"readcard", 24}, {"writecard", 24}};

class LibraryLoading : public ::testing::Test {
 protected:
  void TearDown() override {
    form.reset();
    DynamicLibrary::setSearchFolderForTests("");
  }
  // Creates the main window, answering (and keeping) the boxes it shows.
  void openWindow() {
    op::BoxAnswerer answerer(IDOK);
    form = std::make_unique<TForm1>();
    answerer.waitFor(0, 300ms);
    boxes = answerer.boxes();
  }
  std::unique_ptr<TForm1> form;
  std::vector<op::Box> boxes;
};

TEST_F(LibraryLoading, DecoratedNamesOfBothStylesAreFound) {
  for (const char* variant : {"decorated_underscore", "decorated"}) {
    SCOPED_TRACE(variant);
    DynamicLibrary::setSearchFolderForTests(testing_folders::variantFolder(variant));
    DynamicLibrary library(kLibraryFileName);
    ASSERT_TRUE(library.loaded());
    for (const Entry& e : kEntries) {
      EXPECT_EQ(library.symbol(e.name), nullptr) << e.name << ": the variant has decorated names only";
      EXPECT_NE(library.symbol(e.name, e.bytes), nullptr) << e.name;
      EXPECT_EQ(library.symbol(e.name, e.bytes + 4), nullptr) << e.name << ": another byte count";
    }
    // Every caller's look-up: on the 32-bit program it finds them, with the
    // byte count taken from the entry point's type; the 64-bit program has
    // no decorations and looks for the plain names alone.
    const auto detect = library.function<device::DetectFn>("detect");
    const auto readcard = library.function<device::ReadcardFn>("readcard");
    if (k32Bit) {
      ASSERT_NE(detect, nullptr);
      ASSERT_NE(readcard, nullptr);
      EXPECT_EQ(detect(1, 1000), 2428);
      device::TrackBuffer a, b;
      EXPECT_EQ(readcard(1, 2, a.data(), b.data(), 2, 5000), 0);
      EXPECT_EQ(a.text(), "6200000000000000=29121010000012345");
    } else {
      EXPECT_EQ(detect, nullptr);
      EXPECT_EQ(readcard, nullptr);
      // The decorated name leads to the real entry point all the same.
      const auto decorated = reinterpret_cast<device::DetectFn>(library.symbol("detect", 8));
      EXPECT_EQ(decorated(1, 1000), 2428);
    }
  }
}

TEST_F(LibraryLoading, TheWindowConnectsThroughADecoratedLibrary) {
  if (!k32Bit) GTEST_SKIP() << "decorated names are looked for by the 32-bit program only";
  DynamicLibrary::setSearchFolderForTests(testing_folders::variantFolder("decorated_underscore"));
  openWindow();
  EXPECT_TRUE(boxes.empty()) << boxes[0].text;
  EXPECT_TRUE(entry::detect && entry::reset && entry::opencomm && entry::endcard);
  op::BoxAnswerer answerer(IDOK);
  form->Button3Click();
  ASSERT_TRUE(answerer.waitFor(1));
  EXPECT_EQ(answerer.boxes()[0].text, "联机成功！");
}

// Enough of a PE file for the check of its machine, not loadable.
void writePeHeader(const std::wstring& path, std::uint16_t machine) {
  std::ofstream(path.c_str(), std::ios::binary) << testing_folders::peHeader(machine, 0x200);
}

TEST_F(LibraryLoading, ALibraryOfTheOtherBitnessIsNamedInTheBox) {
  const std::wstring folder = op::freshFolder(L"cardtest-bitness");
  const std::wstring path = folder + L"\\40x.dll";
  DynamicLibrary::setSearchFolderForTests(ui::win32::narrow(folder));

  writePeHeader(path, k32Bit ? 0x8664 : 0x014C);
  openWindow();
  ASSERT_EQ(boxes.size(), 1u);
  const std::string other = k32Bit ? "64" : "32";
  const std::string own = k32Bit ? "32" : "64";
  EXPECT_EQ(boxes[0].text, std::string("装载40x动态库失败！\n这个40x.dll是") + other + "位的动态库，本程序是" +
                               own + "位的。请改用" + other + "位的程序：cardtest-" CARDTEST_VERSION "-win" +
                               other + " 里的 cardtest.exe。");
  EXPECT_FALSE(form->LibraryHandle.loaded());
  form.reset();

  // A broken file of the program's own bitness, or no PE file at all: the
  // failure's text alone.
  for (bool pe : {true, false}) {
    SCOPED_TRACE(pe ? "own bitness" : "no PE file");
    if (pe) writePeHeader(path, k32Bit ? 0x014C : 0x8664);
    else std::ofstream(path.c_str(), std::ios::binary | std::ios::trunc) << "not a library\r\n";
    openWindow();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, pages::kLibraryLoadFailed);
    form.reset();
  }
  op::removeFolder(folder);
}

TEST_F(LibraryLoading, ALibraryOnlyInTheCurrentFolderIsNotLoaded) {
  // The program alone in a folder, started with the test's folder (which has
  // the emulated reader) as its current folder.
  const std::wstring folder = op::freshFolder(L"cardtest-cwd");
  const std::wstring here = op::ownFolder();
  ASSERT_TRUE(CopyFileW((here + L"\\cardtest.exe").c_str(), (folder + L"\\cardtest.exe").c_str(), FALSE));
  {
    op::OtherProgram program(folder + L"\\cardtest.exe", here);
    ASSERT_TRUE(program.started());
    const auto box = program.waitForBox(20s);
    ASSERT_TRUE(box.has_value()) << "no box: the library in the current folder was loaded";
    EXPECT_EQ(box->text, "装载40x动态库失败！");
    program.answerBox(IDOK);
    EXPECT_NE(program.waitForMainWindow("磁卡读写器测试程序", 10s), nullptr);
  }
  // Beside the program the same library is found: no box, the window opens.
  ASSERT_TRUE(CopyFileW((here + L"\\40x.dll").c_str(), (folder + L"\\40x.dll").c_str(), FALSE));
  {
    op::OtherProgram program(folder + L"\\cardtest.exe", here);
    HWND window = program.waitForMainWindow("磁卡读写器测试程序（模拟读卡器）", 20s);
    EXPECT_NE(window, nullptr);
    EXPECT_EQ(program.openBox(), nullptr);
  }
  op::removeFolder(folder);
}

}  // namespace
