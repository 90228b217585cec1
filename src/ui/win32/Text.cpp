#include "ui/win32/Text.h"

#include <windows.h>

#include "wintext/WinText.h"

namespace ui::win32 {

std::wstring widen(const std::string& utf8) { return wintext::widen(CP_UTF8, utf8); }

std::string narrow(const wchar_t* utf16, int length) {
  if (length <= 0) return {};
  return wintext::narrow(CP_UTF8, std::wstring_view(utf16, static_cast<std::size_t>(length)));
}

std::string narrow(const std::wstring& utf16) { return wintext::narrow(CP_UTF8, utf16); }

std::string withCrLf(const std::string& text) {
  if (text.find('\n') == std::string::npos) return text;
  std::string out;
  out.reserve(text.size() + 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
    out += text[i];
  }
  return out;
}

}  // namespace ui::win32
