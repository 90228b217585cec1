#include "wintext/WinText.h"

#include <windows.h>

namespace wintext {

namespace {

std::optional<std::wstring> toWide(UINT codePage, DWORD flags, std::string_view bytes) {
  if (bytes.empty()) return std::wstring();
  const int size = static_cast<int>(bytes.size());
  const int length = MultiByteToWideChar(codePage, flags, bytes.data(), size, nullptr, 0);
  if (length <= 0) return std::nullopt;
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(codePage, flags, bytes.data(), size, wide.data(), length);
  return wide;
}

std::optional<std::string> toBytes(UINT codePage, bool strict, std::wstring_view text) {
  if (text.empty()) return std::string();
  const int size = static_cast<int>(text.size());
  // UTF-8 has a form for every character, and the system refuses the
  // used-default check for it.
  const bool check = strict && codePage != CP_UTF8;
  const DWORD flags = check ? WC_NO_BEST_FIT_CHARS : 0;
  BOOL usedDefault = FALSE;
  const int length = WideCharToMultiByte(codePage, flags, text.data(), size, nullptr, 0, nullptr,
                                         check ? &usedDefault : nullptr);
  if (length <= 0 || usedDefault) return std::nullopt;
  std::string out(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(codePage, flags, text.data(), size, out.data(), length, nullptr,
                      check ? &usedDefault : nullptr);
  if (usedDefault) return std::nullopt;
  return out;
}

}  // namespace

std::wstring widen(unsigned codePage, std::string_view bytes) {
  return toWide(codePage, 0, bytes).value_or(std::wstring());
}

std::optional<std::wstring> widenStrict(unsigned codePage, std::string_view bytes) {
  return toWide(codePage, MB_ERR_INVALID_CHARS, bytes);
}

std::string narrow(unsigned codePage, std::wstring_view text) {
  return toBytes(codePage, false, text).value_or(std::string());
}

std::optional<std::string> narrowStrict(unsigned codePage, std::wstring_view text) {
  return toBytes(codePage, true, text);
}

}  // namespace wintext
