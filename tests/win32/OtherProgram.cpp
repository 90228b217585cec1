#include "OtherProgram.h"

#include <filesystem>
#include <system_error>
#include <thread>
#include <vector>

#include "ui/win32/Text.h"

namespace op {

using namespace std::chrono_literals;

std::string remoteText(HWND hwnd) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &length)) return {};
  std::wstring buffer(static_cast<std::size_t>(length) + 1, L'\0');
  DWORD_PTR got = 0;
  SendMessageTimeoutW(hwnd, WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()),
                      SMTO_ABORTIFHUNG, 2000, &got);
  return ui::win32::narrow(buffer.data(), static_cast<int>(got));
}

namespace {
void closeWindows(DWORD pid);
}  // namespace

bool waitUntil(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(20ms);
  }
}

OtherProgram::OtherProgram(const std::wstring& exe, const std::wstring& workingFolder) {
  std::wstring command = L"\"" + exe + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                     workingFolder.c_str(), &si, &pi)) {
    CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    pid_ = pi.dwProcessId;
  }
}

OtherProgram::~OtherProgram() {
  if (!process_) return;
  if (running()) {
    // A box first, then every window of it, as the operator closes them.
    if (HWND box = openBox()) PostMessageW(box, WM_CLOSE, 0, 0);
    waitUntil([&] { return openBox() == nullptr || !running(); }, 2000ms);
    closeWindows(pid_);
    if (!waitForExit(5000ms)) TerminateProcess(process_, 1);
  }
  CloseHandle(process_);
}

bool OtherProgram::running() const {
  return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

bool OtherProgram::waitForExit(std::chrono::milliseconds limit) {
  return process_ && WaitForSingleObject(process_, static_cast<DWORD>(limit.count())) == WAIT_OBJECT_0;
}

namespace {

struct Search {
  DWORD pid;
  std::string caption;  // empty: a message box
  HWND found = nullptr;
};

BOOL CALLBACK seek(HWND hwnd, LPARAM lp) {
  auto* s = reinterpret_cast<Search*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid != s->pid || !IsWindowVisible(hwnd)) return TRUE;
  const bool wanted = s->caption.empty() ? className(hwnd) == "#32770" : text(hwnd) == s->caption;
  if (!wanted) return TRUE;
  s->found = hwnd;
  return FALSE;
}

HWND find(DWORD pid, const std::string& caption) {
  Search s{pid, caption};
  EnumWindows(seek, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

BOOL CALLBACK closeOne(HWND hwnd, LPARAM lp) {
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid == static_cast<DWORD>(lp) && IsWindowVisible(hwnd)) PostMessageW(hwnd, WM_CLOSE, 0, 0);
  return TRUE;
}

void closeWindows(DWORD pid) { EnumWindows(closeOne, static_cast<LPARAM>(pid)); }

}  // namespace

HWND OtherProgram::openBox() const { return find(pid_, ""); }

std::optional<Box> OtherProgram::waitForBox(std::chrono::milliseconds limit) {
  HWND box = nullptr;
  if (!waitUntil([&] { return (box = openBox()) != nullptr || !running(); }, limit) || !box)
    return std::nullopt;
  // The box is filled in before it shows; give its text a moment all the same.
  std::this_thread::sleep_for(100ms);
  return readBox(box);
}

void OtherProgram::answerBox(int button) {
  HWND box = openBox();
  if (!box) return;
  if (HWND b = GetDlgItem(box, button)) PostMessageW(b, BM_CLICK, 0, 0);
  else PostMessageW(box, WM_COMMAND, button, 0);
  waitUntil([&] { return !IsWindow(box) || !IsWindowVisible(box); }, 3000ms);
}

HWND OtherProgram::waitForMainWindow(const std::string& caption, std::chrono::milliseconds limit) {
  waitUntil([&] { return (main_ = find(pid_, caption)) != nullptr || !running(); }, limit);
  return main_;
}

std::wstring ownFolder() {
  wchar_t exe[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring path = exe;
  return path.substr(0, path.find_last_of(L"\\/"));
}

void removeFolder(const std::wstring& folder) {
  std::error_code ignored;
  std::filesystem::remove_all(std::filesystem::path(folder), ignored);
}

std::wstring freshFolder(const std::wstring& name) {
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  const std::wstring folder = std::wstring(temp) + name + L"-" + std::to_wstring(GetCurrentProcessId());
  removeFolder(folder);
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

}  // namespace op
