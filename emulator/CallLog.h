#pragma once
// The emulated reader's call log: one line per call of an entry point,
// "name(arg,arg,...)=result", with the buffers of readcard and writecard
// quoted as Logged.h shows them. Not locked: the device state's mutex
// guards it with the rest.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <string>
#include <vector>

namespace emu {

class CallLog {
 public:
  // A call with integer arguments only.
  void call(const char* name, std::initializer_list<std::int32_t> args, std::int32_t result);
  // readcard or writecard; shownA and shownB come from shown().
  void transfer(const char* name, std::int32_t port, std::int32_t selection, const std::string& shownA,
                const std::string& shownB, std::int32_t mode, std::int32_t timeoutMs,
                std::int32_t result);

  // A data buffer as its line shows it: its text up to the first zero, never
  // past the buffer's end, quoted; "null" for no buffer.
  static std::string shown(const char* buffer);

  std::size_t size() const { return lines_.size(); }
  const std::string& line(std::size_t index) const { return lines_[index]; }
  std::vector<std::string> newestFirst(std::size_t count) const;
  void clear() { lines_.clear(); }

 private:
  // A deque: the lines logged so far are never moved, as a vector's doubling
  // moved them all under the mutex (about 0.1 s at half a million calls).
  std::deque<std::string> lines_;
};

}  // namespace emu
