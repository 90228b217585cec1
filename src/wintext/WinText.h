#pragma once
// Text between a Windows code page (CP_UTF8, CP_ACP, ...) and UTF-16, for
// the program and the emulated reader alike. Windows only.
#include <optional>
#include <string>
#include <string_view>

namespace wintext {

// Bytes in `codePage` to UTF-16; bytes that are no character of the code
// page come out as the system's substitute.
std::wstring widen(unsigned codePage, std::string_view bytes);
// The same, but nullopt when some bytes are no character of the code page.
std::optional<std::wstring> widenStrict(unsigned codePage, std::string_view bytes);

// UTF-16 to bytes in `codePage`; a character without a form there comes out
// as the code page's default character.
std::string narrow(unsigned codePage, std::wstring_view text);
// The same, but nullopt when a character has no form of its own there (no
// best fit, no default character).
std::optional<std::string> narrowStrict(unsigned codePage, std::wstring_view text);

}  // namespace wintext
