#pragma once
// UTF-8 (the toolkit's text) to UTF-16 (the wide API) and back.
#include <string>

namespace ui::win32 {

std::wstring widen(const std::string& utf8);
std::string narrow(const std::wstring& utf16);
std::string narrow(const wchar_t* utf16, int length);

// An edit control breaks lines only at "\r\n": a lone "\n" becomes "\r\n".
std::string withCrLf(const std::string& text);

}  // namespace ui::win32
