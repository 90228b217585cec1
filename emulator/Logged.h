#pragma once
// A buffer's bytes as a line of the call log shows them: in double quotes,
// bytes outside 0x20 to 0x7E as \xHH. The emulated reader writes its log
// with it, and tests build the lines they expect with it.
#include <cstdio>
#include <string>
#include <string_view>

namespace emu {

inline std::string logged(std::string_view bytes) {
  std::string out = "\"";
  for (const char byte : bytes) {
    const auto c = static_cast<unsigned char>(byte);
    if (c >= 0x20 && c <= 0x7E) {
      out += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
      out += escaped;
    }
  }
  return out + "\"";
}

}  // namespace emu
