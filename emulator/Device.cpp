#include "Device.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string>

#include "CallLog.h"
#include "DeviceState.h"
#include "VirtualCard.h"

namespace emu {

namespace {

constexpr char kFiller = '#';  // pads unterminated buffers

// What a library with emu_set_write_back leaves in the buffers of a write.
constexpr const char* kWrittenBack = "WRITTEN BACK";

// The arguments of readcard and writecard.
struct Transfer {
  std::int32_t port;
  std::int32_t selection;
  char* bufferA;
  char* bufferB;
  std::int32_t mode;
  std::int32_t timeoutMs;
};

bool validPort(std::int32_t port) { return port >= 1 && port <= 6; }
bool validMode(std::int32_t mode) { return mode == 1 || mode == 2; }

char* bufferFor(Buffer which, char* bufferA, char* bufferB) {
  return which == Buffer::A ? bufferA : bufferB;
}

// Argument checks of readcard and writecard, in the device's order.
std::int32_t checkTransfer(const Transfer& call) {
  if (!validPort(call.port)) return kPortError;
  if (!validMode(call.mode)) return kModeError;
  const auto routes = routesFor(call.selection);
  if (routes.empty()) return kModeError;
  for (const Route& route : routes) {
    if (bufferFor(route.buffer, call.bufferA, call.bufferB) == nullptr) return kModeError;
  }
  if (call.timeoutMs < 0 || (call.timeoutMs == 0 && call.mode == 1)) return kTimeoutSetting;
  return kOk;
}

// readcard and writecard alike up to the card: the argument checks, a
// scripted failure, the wait for the swipe or a break-off, and the answer
// chosen for the card. kOk when the card is there to be read or written.
std::int32_t awaitTransfer(std::unique_lock<std::mutex>& lock, Entry entry, const Transfer& call) {
  const std::int32_t checked = checkTransfer(call);
  if (checked != kOk) return checked;
  const auto scripted = g_state.takeScripted(entry);
  if (scripted && *scripted != kOk) return *scripted;
  const std::int32_t result = g_state.awaitCard(lock, entry, call.selection, call.timeoutMs);
  return result == kOk ? g_state.answerForCard() : result;
}

void logTransfer(const char* name, const Transfer& call, const std::string& shownA,
                 const std::string& shownB, std::int32_t result) {
  g_state.log.transfer(name, call.port, call.selection, shownA, shownB, call.mode, call.timeoutMs, result);
}

void fillBuffers(const State& state, std::int32_t selection, char* bufferA, char* bufferB) {
  const auto routes = routesFor(selection);
  if (state.unterminated) {
    for (const Buffer which : {Buffer::A, Buffer::B}) {
      char* buffer = bufferFor(which, bufferA, bufferB);
      if (buffer == nullptr) continue;
      std::memset(buffer, kFiller, kBufferSize);
      for (const Route& route : routes) {
        if (route.buffer != which) continue;
        const std::string& data = state.card.track(route.track);
        std::memcpy(buffer, data.data(), std::min(data.size(), kBufferSize));
      }
    }
    return;
  }
  for (const Route& route : routes) {
    char* buffer = bufferFor(route.buffer, bufferA, bufferB);
    const std::string& data = state.card.track(route.track);
    const std::size_t length = std::min(data.size(), kBufferSize - 1);
    std::memcpy(buffer, data.data(), length);
    buffer[length] = '\0';
  }
}

// As a library that was written for bigger buffers: filler past byte 300.
void overrunBuffers(const State& state, char* bufferA, char* bufferB) {
  if (state.overrun <= 0) return;
  for (char* buffer : {bufferA, bufferB}) {
    if (buffer != nullptr) std::memset(buffer + kBufferSize, kFiller, static_cast<std::size_t>(state.overrun));
  }
}

// The same library reading: every byte up to 300 + overrun is looked at.
void readPastBuffers(const State& state, const char* bufferA, const char* bufferB) {
  if (state.overrun <= 0) return;
  volatile unsigned sum = 0;
  for (const char* buffer : {bufferA, bufferB}) {
    if (buffer == nullptr) continue;
    const std::size_t end = kBufferSize + static_cast<std::size_t>(state.overrun);
    for (std::size_t i = 0; i < end; ++i) sum = sum + static_cast<unsigned char>(buffer[i]);
  }
}

std::string bufferBytes(const char* buffer) {
  if (buffer == nullptr) return {};
  return std::string(buffer, strnlen(buffer, kBufferSize));
}

}  // namespace

std::int32_t detect(std::int32_t port, std::int32_t timeoutMs) {
  std::lock_guard<std::mutex> lock(g_state.mutex);
  std::int32_t result = g_state.detectAnswer;
  if (!validPort(port)) {
    result = kOpenPortError;
  } else if (timeoutMs < 0) {
    result = kOpenTimeoutError;
  } else if (const auto scripted = g_state.takeScripted(kDetect)) {
    result = *scripted;
  }
  g_state.log.call("detect", {port, timeoutMs}, result);
  return result;
}

std::int32_t opencomm(std::int32_t port, std::int32_t mode, std::int32_t timeoutMs) {
  std::lock_guard<std::mutex> lock(g_state.mutex);
  std::int32_t result = kOk;
  if (!validPort(port)) {
    result = kOpenPortError;
  } else if (timeoutMs < 0) {
    result = kOpenTimeoutError;
  } else if (!validMode(mode)) {
    result = kOpenModeError;
  } else if (const auto scripted = g_state.takeScripted(kOpencomm)) {
    result = *scripted;
  }
  g_state.log.call("opencomm", {port, mode, timeoutMs}, result);
  return result;
}

std::int32_t reset(std::int32_t port, std::int32_t mode) {
  std::lock_guard<std::mutex> lock(g_state.mutex);
  std::int32_t result = kOk;
  if (!validPort(port)) {
    result = kPortError;
  } else if (!validMode(mode)) {
    result = kModeError;
  } else {
    g_state.deviceBreakOff();
    if (const auto scripted = g_state.takeScripted(kReset)) result = *scripted;
  }
  g_state.log.call("reset", {port, mode}, result);
  return result;
}

std::int32_t endcard(std::int32_t mode) {
  std::lock_guard<std::mutex> lock(g_state.mutex);
  std::int32_t result = kOk;
  if (!validMode(mode)) {
    result = kModeError;
  } else {
    g_state.deviceBreakOff();
    if (const auto scripted = g_state.takeScripted(kEndcard)) result = *scripted;
  }
  g_state.log.call("endcard", {mode}, result);
  return result;
}

std::int32_t readcard(std::int32_t port, std::int32_t selection, char* bufferA, char* bufferB,
                      std::int32_t mode, std::int32_t timeoutMs) {
  const Transfer call{port, selection, bufferA, bufferB, mode, timeoutMs};
  std::unique_lock<std::mutex> lock(g_state.mutex);
  g_state.enter();
  const std::int32_t result = awaitTransfer(lock, kReadcard, call);
  if (result == kOk) {
    fillBuffers(g_state, selection, bufferA, bufferB);
    overrunBuffers(g_state, bufferA, bufferB);
    ++g_state.cardsRead;
  }
  // The buffers as the call leaves them.
  logTransfer("readcard", call, CallLog::shown(bufferA), CallLog::shown(bufferB), result);
  g_state.leave();
  return result;
}

std::int32_t writecard(std::int32_t port, std::int32_t selection, char* bufferA, char* bufferB,
                       std::int32_t mode, std::int32_t timeoutMs) {
  const Transfer call{port, selection, bufferA, bufferB, mode, timeoutMs};
  std::unique_lock<std::mutex> lock(g_state.mutex);
  g_state.enter();
  // The data goes to the device with the command, before the card comes.
  const std::string shownA = CallLog::shown(bufferA);
  const std::string shownB = CallLog::shown(bufferB);
  const std::string dataA = bufferBytes(bufferA);
  const std::string dataB = bufferBytes(bufferB);
  readPastBuffers(g_state, bufferA, bufferB);

  std::int32_t result = awaitTransfer(lock, kWritecard, call);
  if (result == kOk) {
    // All tracks or none: a refused track leaves the whole card as it was.
    const auto routes = routesFor(selection);
    for (const Route& route : routes) {
      if (!encodable(route.track, route.buffer == Buffer::A ? dataA : dataB)) result = kBadData;
    }
    if (result == kOk) {
      for (const Route& route : routes) {
        g_state.card.setTrack(route.track, route.buffer == Buffer::A ? dataA : dataB);
      }
      ++g_state.cardsWritten;
    }
  }
  if (g_state.writeBack) {
    for (char* buffer : {bufferA, bufferB})
      if (buffer != nullptr) std::strcpy(buffer, kWrittenBack);
  }
  logTransfer("writecard", call, shownA, shownB, result);
  g_state.leave();
  return result;
}

}  // namespace emu
