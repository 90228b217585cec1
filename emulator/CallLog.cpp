#include "CallLog.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "Logged.h"
#include "VirtualCard.h"

namespace emu {

void CallLog::call(const char* name, std::initializer_list<std::int32_t> args, std::int32_t result) {
  std::string line = std::string(name) + "(";
  bool first = true;
  for (const std::int32_t arg : args) {
    if (!first) line += ",";
    line += std::to_string(arg);
    first = false;
  }
  lines_.push_back(line + ")=" + std::to_string(result));
}

void CallLog::transfer(const char* name, std::int32_t port, std::int32_t selection,
                       const std::string& shownA, const std::string& shownB, std::int32_t mode,
                       std::int32_t timeoutMs, std::int32_t result) {
  lines_.push_back(std::string(name) + "(" + std::to_string(port) + "," + std::to_string(selection) +
                   "," + shownA + "," + shownB + "," + std::to_string(mode) + "," +
                   std::to_string(timeoutMs) + ")=" + std::to_string(result));
}

std::string CallLog::shown(const char* buffer) {
  if (buffer == nullptr) return "null";
  return logged(std::string_view(buffer, strnlen(buffer, kBufferSize)));
}

std::vector<std::string> CallLog::newestFirst(std::size_t count) const {
  const std::size_t shown = std::min(count, lines_.size());
  std::vector<std::string> lines;
  lines.reserve(shown);
  for (std::size_t i = 0; i < shown; ++i) lines.push_back(lines_[lines_.size() - 1 - i]);
  return lines;
}

}  // namespace emu
