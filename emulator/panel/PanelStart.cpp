// The front panel's start from the library's entry routine: the settings
// file beside the library is read and applied, and the panel, when it is
// asked for, gets a thread of its own that holds the library while it runs.
#include <windows.h>

#include <memory>
#include <optional>
#include <string>

#include "panel/Link.h"
#include "panel/PanelWindow.h"
#include "panel/Settings.h"
#include "wintext/WinText.h"

namespace emu {

namespace {

HMODULE g_self = nullptr;

DWORD WINAPI panelThread(void* arg) {
  {
    std::unique_ptr<ParsedSettings> parsed(static_cast<ParsedSettings*>(arg));
    runPanel(std::move(*parsed), g_self);
  }
  panelClosed();
  // The panel's own hold on the library goes last, with the thread.
  FreeLibraryAndExitThread(g_self, 0);
}

// The settings file beside this library, if there is one.
std::optional<std::string> readSettingsFile(HINSTANCE instance) {
  std::wstring path(MAX_PATH, L'\0');
  const DWORD length = GetModuleFileNameW(instance, path.data(), static_cast<DWORD>(path.size()));
  if (length == 0 || length >= path.size()) return std::nullopt;
  path.resize(length);
  path = path.substr(0, path.find_last_of(L"\\/") + 1) + wintext::widen(CP_UTF8, kSettingsFileName);
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  // One byte past the limit, so that a longer file is refused, not cut.
  std::string bytes(kMaxSettingsBytes + 1, '\0');
  DWORD got = 0;
  const BOOL read = ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
  CloseHandle(file);
  if (!read) return std::string("\x01");  // unreadable: reported as malformed
  bytes.resize(got);
  return bytes;
}

void startPanel(HINSTANCE instance) {
  const std::optional<std::string> text = readSettingsFile(instance);
  if (!text) return;
  ParsedSettings parsed = parsePanelSettings(*text);
  // Without a panel nobody could swipe by hand.
  if (!parsed.settings.panel) parsed.settings.manualSwipe = false;
  applySettings(parsed.settings);
  if (!parsed.settings.panel) return;
  // A hold of the panel's own, taken before its thread exists: the
  // program's last release of the library cannot take the panel's code
  // away. The thread starts once the entry routine has returned; nothing
  // here waits for it.
  HMODULE self = nullptr;
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                          reinterpret_cast<LPCWSTR>(&panelThread), &self))
    return;
  g_self = self;
  auto* arg = new ParsedSettings(std::move(parsed));
  HANDLE thread = CreateThread(nullptr, 0, panelThread, arg, 0, nullptr);
  if (thread) CloseHandle(thread);
  else delete arg;  // the hold stays: a release here could deadlock the load
}

}  // namespace

}  // namespace emu

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    DisableThreadLibraryCalls(instance);
    emu::startPanel(instance);
  }
  return TRUE;
}
