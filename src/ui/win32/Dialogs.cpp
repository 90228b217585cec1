#include <windows.h>
#include <commdlg.h>

#include <vector>

#include "ui/win32/Text.h"
#include "ui/win32/Win32Backend.h"

namespace ui::win32 {

namespace {

int box(const std::string& text, UINT flags) {
  HWND owner = dialogOwner();
  // Without a window on screen yet (start-up) the box is modal for the task.
  if (!owner) flags |= MB_TASKMODAL;
  return MessageBoxW(owner, widen(text).c_str(), widen(app().title()).c_str(), flags);
}

}  // namespace

void Win32Dialogs::message(const std::string& text) { box(text, MB_OK); }

bool Win32Dialogs::confirm(const std::string& text) {
  return box(text, MB_OKCANCEL | MB_ICONQUESTION) == IDOK;
}

void Win32Dialogs::error(const std::string& text) { box(text, MB_OK | MB_ICONERROR); }

void systemErrorBox(const std::string& text) {
  MessageBoxW(nullptr, widen(text).c_str(), L"", MB_OK | MB_ICONERROR);
}

std::optional<std::string> Win32Dialogs::openFile(const std::string& filter,
                                                  const std::string& defaultExtension) {
  // "description|pattern|..." becomes "description\0pattern\0...\0\0".
  std::wstring filters = widen(filter);
  for (wchar_t& c : filters)
    if (c == L'|') c = L'\0';
  filters.push_back(L'\0');
  filters.push_back(L'\0');
  const std::wstring extension = widen(defaultExtension);
  std::vector<wchar_t> file(32768, L'\0');
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = dialogOwner();
  ofn.lpstrFilter = filters.c_str();
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = static_cast<DWORD>(file.size());
  ofn.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
  // The current folder stays put: the device library is looked up by name.
  ofn.Flags = OFN_EXPLORER | OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_NOCHANGEDIR;
  if (!GetOpenFileNameW(&ofn)) return std::nullopt;
  return narrow(file.data(), static_cast<int>(wcslen(file.data())));
}

}  // namespace ui::win32
