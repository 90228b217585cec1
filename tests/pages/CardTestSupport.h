#pragma once
// Shared by the page and main-window tests: a headless session with the
// emulated reader loaded for real beside the test executable.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "EmulatorClient.h"
#include "device/Connection.h"
#include "device/DynamicLibrary.h"
#include "ui/Form.h"
#include "ui/headless/HeadlessBackend.h"

namespace cardtest {

inline std::string variantFolder(const std::string& name) {
  return std::string(CARDTEST_VARIANTS_DIR) + "/" + name;
}

// Buffer text as the emulator's call log shows it.
using emu::logged;

inline std::string transferLine(const char* name, int port, int selection, const std::string& a,
                                const std::string& b, int mode, int timeoutMs, int result) {
  return std::string(name) + "(" + std::to_string(port) + "," + std::to_string(selection) + "," +
         logged(a) + "," + logged(b) + "," + std::to_string(mode) + "," +
         std::to_string(timeoutMs) + ")=" + std::to_string(result);
}

inline void setConnection(int port, int mode, int timeoutMs, int deviceType) {
  device::PortNumber = port;
  device::CommandMode = mode;
  device::TimeoutMs = timeoutMs;
  device::DeviceType = deviceType;
}

class EmulatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    device::DynamicLibrary::setSearchFolderForTests("");
    ASSERT_TRUE(emu.controllable()) << "the emulated 40x.dll was not found beside the tests";
    emu.resetState();
    emu.setSwipeDelayMs(5);
    setConnection(1, 2, 5000, 0);
  }
  void TearDown() override {
    device::DynamicLibrary::setSearchFolderForTests("");
    setConnection(0, 0, 0, 0);
  }

  std::vector<std::string> messages() { return session.dialogs().texts(ui::DialogKind::Message); }
  std::vector<std::string> errors() { return session.dialogs().texts(ui::DialogKind::Error); }

  ui::headless::Session session;
  emu::Client emu;
};

// A page placed on a shown window, so that the operator can use it.
template <class Page>
struct Hosted {
  Hosted() {
    host.showForm();
    page.setParent(&host);
  }
  ui::Form host{"Host"};
  Page page;
};

}  // namespace cardtest
