#include "device/DynamicLibrary.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "EmulatorControl.h"
#include "TestFolders.h"
#include "device/CardDevice.h"

namespace {

using device::DynamicLibrary;
using device::kLibraryFileName;

const char* const kEntryPoints[] = {"detect", "reset", "opencomm", "endcard", "readcard",
                                    "writecard"};

class DynamicLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Every test starts and must end with the library out of the process.
    ASSERT_EQ(DynamicLibrary::liveLoads(), 0);
    ASSERT_FALSE(DynamicLibrary::isLoadedInProcess(kLibraryFileName));
  }
  void TearDown() override {
    DynamicLibrary::setSearchFolderForTests("");
    EXPECT_EQ(DynamicLibrary::liveLoads(), 0);
    EXPECT_FALSE(DynamicLibrary::isLoadedInProcess(kLibraryFileName));
  }
};

TEST_F(DynamicLibraryTest, MissingLibraryLeavesAnEmptyObject) {
  DynamicLibrary::setSearchFolderForTests(testing_folders::variantFolder("empty"));
  DynamicLibrary library(kLibraryFileName);
  EXPECT_FALSE(library.loaded());
  EXPECT_FALSE(static_cast<bool>(library));
  EXPECT_EQ(library.symbol("readcard"), nullptr);
  EXPECT_EQ(DynamicLibrary::liveLoads(), 0);
  library.release();
  library.release();
  EXPECT_EQ(DynamicLibrary::liveLoads(), 0);

  DynamicLibrary::setSearchFolderForTests("");
  DynamicLibrary unknown("no_such_library_here.dll");
  EXPECT_FALSE(unknown.loaded());
}

TEST_F(DynamicLibraryTest, FileThatIsNoLibraryFailsAndIsFinal) {
  // With the real library in the process, a broken file in the first folder
  // must still fail rather than fall through to the copy already loaded.
  DynamicLibrary real(kLibraryFileName);
  ASSERT_TRUE(real.loaded());

  DynamicLibrary::setSearchFolderForTests(testing_folders::variantFolder("not_a_library"));
  DynamicLibrary broken(kLibraryFileName);
  EXPECT_FALSE(broken.loaded());
  EXPECT_EQ(broken.symbol("detect"), nullptr);
  EXPECT_EQ(DynamicLibrary::liveLoads(), 1);
}

struct Variant {
  const char* folder;
  std::set<std::string> missing;
};

TEST_F(DynamicLibraryTest, MissingEntryPointsResolveToNull) {
  const std::vector<Variant> variants = {
      {"no_detect", {"detect"}},
      {"no_detect_reset", {"detect", "reset"}},
      {"no_detect_reset_opencomm", {"detect", "reset", "opencomm"}},
      {"no_window_entries", {"detect", "reset", "opencomm", "endcard"}},
      {"no_endcard", {"endcard"}},
      {"no_readcard", {"readcard"}},
      {"no_writecard", {"writecard"}},
  };
  for (const Variant& variant : variants) {
    SCOPED_TRACE(variant.folder);
    DynamicLibrary::setSearchFolderForTests(testing_folders::variantFolder(variant.folder));
    DynamicLibrary library(kLibraryFileName);
    ASSERT_TRUE(library.loaded());
    for (const char* name : kEntryPoints) {
      const bool missing = variant.missing.count(name) != 0;
      EXPECT_EQ(library.symbol(name) == nullptr, missing) << name;
    }
    EXPECT_NE(library.symbol("emu_reset_state"), nullptr);
  }
}

TEST_F(DynamicLibraryTest, FullLibraryExportsOnlyWhatItShould) {
  DynamicLibrary library(kLibraryFileName);
  ASSERT_TRUE(library.loaded());
  for (const char* name : kEntryPoints) EXPECT_NE(library.symbol(name), nullptr) << name;
  // Internals stay hidden; a missing name is no failure of the loader.
  EXPECT_EQ(library.symbol("sendchar"), nullptr);
  EXPECT_EQ(library.symbol(nullptr), nullptr);
}

TEST_F(DynamicLibraryTest, LoadsShareOneCopyAndBalance) {
  DynamicLibrary first(kLibraryFileName);
  ASSERT_TRUE(first.loaded());
  first.function<decltype(&emu_reset_state)>("emu_reset_state")();
  first.function<decltype(&emu_set_detect_answer)>("emu_set_detect_answer")(1423);

  for (int i = 0; i < 10; ++i) {
    DynamicLibrary again(kLibraryFileName);
    ASSERT_TRUE(again.loaded());
    EXPECT_EQ(DynamicLibrary::liveLoads(), 2);
    // Same copy: the setting made through the first load is seen here.
    EXPECT_EQ(again.function<device::DetectFn>("detect")(1, 1000), 1423);
    again.release();
    EXPECT_EQ(DynamicLibrary::liveLoads(), 1);
    EXPECT_TRUE(DynamicLibrary::isLoadedInProcess(kLibraryFileName));
  }

  std::vector<DynamicLibrary> many;
  for (int i = 0; i < 10; ++i) many.emplace_back(kLibraryFileName);
  EXPECT_EQ(DynamicLibrary::liveLoads(), 11);
  first.release();
  EXPECT_TRUE(DynamicLibrary::isLoadedInProcess(kLibraryFileName));
  many.clear();
  EXPECT_EQ(DynamicLibrary::liveLoads(), 0);
  EXPECT_FALSE(DynamicLibrary::isLoadedInProcess(kLibraryFileName));

  // A new load gets a fresh copy with the defaults.
  DynamicLibrary fresh(kLibraryFileName);
  EXPECT_EQ(fresh.function<device::DetectFn>("detect")(1, 1000), 2428);
}

TEST_F(DynamicLibraryTest, MovingKeepsOneLoad) {
  DynamicLibrary a(kLibraryFileName);
  DynamicLibrary b(std::move(a));
  EXPECT_FALSE(a.loaded());
  EXPECT_TRUE(b.loaded());
  EXPECT_EQ(DynamicLibrary::liveLoads(), 1);

  DynamicLibrary c(kLibraryFileName);
  c = std::move(b);  // c's own load goes back
  EXPECT_EQ(DynamicLibrary::liveLoads(), 1);
  EXPECT_NE(c.symbol("readcard"), nullptr);
  c = DynamicLibrary();
  EXPECT_EQ(DynamicLibrary::liveLoads(), 0);
}

TEST_F(DynamicLibraryTest, DecoratedLookUpTakesThePlainNameFirst) {
  DynamicLibrary library(kLibraryFileName);
  ASSERT_TRUE(library.loaded());
  EXPECT_EQ(library.symbol("readcard", 24), library.symbol("readcard"));
  EXPECT_EQ(library.symbol("sendchar", 8), nullptr);
  EXPECT_EQ(library.symbol(nullptr, 8), nullptr);
  DynamicLibrary empty;
  EXPECT_EQ(empty.symbol("readcard", 24), nullptr);
  // The argument bytes that a 32-bit Windows compiler puts into the names.
#if defined(_WIN32) && !defined(_WIN64)
  static_assert(device::StdcallArguments<device::DetectFn>::bytes == 8);
  static_assert(device::StdcallArguments<device::ResetFn>::bytes == 8);
  static_assert(device::StdcallArguments<device::OpencommFn>::bytes == 12);
  static_assert(device::StdcallArguments<device::EndcardFn>::bytes == 4);
  static_assert(device::StdcallArguments<device::ReadcardFn>::bytes == 24);
  static_assert(device::StdcallArguments<device::WritecardFn>::bytes == 24);
#endif
  static_assert(!device::StdcallArguments<decltype(&emu_reset_state)>::known);
}

using testing_folders::peHeader;

TEST_F(DynamicLibraryTest, TellsTheBitnessOfTheLibraryInTheFirstFolder) {
  namespace fs = std::filesystem;
  const fs::path folder = fs::temp_directory_path() / ("cardtest-bitness-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  fs::remove_all(folder);
  fs::create_directories(folder);
  const auto put = [&](const std::string& bytes) {
    std::ofstream(folder / kLibraryFileName, std::ios::binary | std::ios::trunc) << bytes;
  };
  DynamicLibrary::setSearchFolderForTests(folder.string());

  EXPECT_EQ(DynamicLibrary::libraryBitness(kLibraryFileName), 0) << "no file";
  put(peHeader(0x014C));
  EXPECT_EQ(DynamicLibrary::libraryBitness(kLibraryFileName), 32);
  put(peHeader(0x8664));
  EXPECT_EQ(DynamicLibrary::libraryBitness(kLibraryFileName), 64);
  put(peHeader(0xAA64));  // ARM64: neither of the two programs
  EXPECT_EQ(DynamicLibrary::libraryBitness(kLibraryFileName), 0);
  put(peHeader(0x014C).substr(0, 0x84));  // cut before the machine
  EXPECT_EQ(DynamicLibrary::libraryBitness(kLibraryFileName), 0);
  std::string farOffset = peHeader(0x014C);
  farOffset[0x3F] = static_cast<char>(0x7F);  // "PE" far past the end
  put(farOffset);
  EXPECT_EQ(DynamicLibrary::libraryBitness(kLibraryFileName), 0);
  put("This is a text file, not a library.\n");
  EXPECT_EQ(DynamicLibrary::libraryBitness(kLibraryFileName), 0);

  // The emulated reader of this build: a library of the program's own kind,
  // which on Windows is a PE file of the program's bitness.
  DynamicLibrary::setSearchFolderForTests("");
#ifdef _WIN32
  EXPECT_EQ(DynamicLibrary::libraryBitness(kLibraryFileName), DynamicLibrary::kProgramBitness);
#else
  EXPECT_EQ(DynamicLibrary::libraryBitness(kLibraryFileName), 0);
#endif
  fs::remove_all(folder);
}

}  // namespace
