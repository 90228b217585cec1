#pragma once
// Text as the device sees it: bytes in the system's ANSI code page on Windows,
// UTF-8 elsewhere. The user interface works in UTF-8.
#include <optional>
#include <string>
#include <string_view>

namespace device {

// UTF-8 to device bytes; nullopt when a character has no device byte form
// (writing a substitute would put other data on the card than was typed),
// and for a zero byte, at which the device would cut the text.
std::optional<std::string> toDeviceBytes(std::string_view utf8);

// Device bytes to UTF-8; bytes that are no valid text come out as U+FFFD.
std::string fromDeviceBytes(std::string_view bytes);

}  // namespace device
