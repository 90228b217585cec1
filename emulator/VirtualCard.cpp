#include "VirtualCard.h"

namespace emu {

std::vector<Route> routesFor(std::int32_t selection) {
  switch (selection) {
    case 1: return {{1, Buffer::B}};
    case 2: return {{2, Buffer::A}};
    case 3: return {{3, Buffer::B}};
    case 4: return {{1, Buffer::B}, {2, Buffer::A}};
    case 5: return {{2, Buffer::A}, {3, Buffer::B}};
    case 6: return {{1, Buffer::B}, {2, Buffer::A}};
    default: return {};
  }
}

bool encodable(int track, std::string_view data) {
  unsigned char low = 0;
  unsigned char high = 0;
  std::size_t maxLength = 0;
  switch (track) {
    case 1: low = 0x20; high = 0x5F; maxLength = 79; break;
    case 2: low = 0x30; high = 0x3F; maxLength = 40; break;
    case 3: low = 0x30; high = 0x3F; maxLength = 107; break;
    default: return false;
  }
  if (data.size() > maxLength) return false;
  for (const char c : data) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < low || byte > high) return false;
  }
  return true;
}

void VirtualCard::loadSample() {
  tracks_[0] = "B6200000000000000^DEMO/CARD READER^29121010000000000000";
  tracks_[1] = "6200000000000000=29121010000012345";
  tracks_[2] = "996200000000000000=1561560000000000000003000000000000000000000000000000000000=0000";
}

}  // namespace emu
