#pragma once
// The settings file of the emulated reader's front panel: plain text beside
// the library, one "key = value" a line. Read when the library is loaded;
// without a file the reader behaves as always and shows no panel.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace emu {

inline constexpr const char* kSettingsFileName = "40x-panel.ini";
// A settings file is a few lines; a longer one is refused, not read in part.
inline constexpr std::size_t kMaxSettingsBytes = 64 * 1024;

struct PanelSettings {
  bool panel = false;              // panel = on | off
  bool manualSwipe = false;        // swipe = auto | manual
  std::int32_t swipeDelayMs = 300; // swipe_delay_ms = 0 to 60000
  std::int32_t detectAnswer = 2428;
  // track1 to track3: the card's tracks; nothing keeps the sample card's.
  std::array<std::optional<std::string>, 3> tracks;
};

struct ParsedSettings {
  PanelSettings settings;
  // The first problem of a malformed file, for the panel to show once
  // ("设置文件第N行：…"); the settings are then the defaults, with the panel
  // on so that the message is seen.
  std::optional<std::string> problem;
};

// Parses the file's bytes (UTF-8, a byte-order mark allowed, LF or CR LF).
// Every line, comments included, must be UTF-8 without a zero byte; a file
// of more than kMaxSettingsBytes is refused whole.
// Lines that are empty or begin with '#' are comments. Keys: panel, swipe,
// swipe_delay_ms, detect, track1, track2, track3, each at most once. A
// track's value is taken as it stands between the blanks around it, and
// holds at most 299 bytes.
ParsedSettings parsePanelSettings(std::string_view text);

}  // namespace emu
