#include "device/DynamicLibrary.h"

#include <gtest/gtest.h>

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

}  // namespace
