#pragma once
// The continuous-read worker: reads a number of cards one after the other and
// logs every attempt in its page's log.
#include <atomic>
#include <cstdint>
#include <string>

#include "device/SharedLibrary.h"
#include "ui/Thread.h"

// Process-wide, shared by the continuous-read page and its worker; they
// outlive the page, and a later page finds them as the last run left them.
// The run may go on (1) or was stopped (0).
inline std::atomic<std::uint8_t> ReadRunning{0};
// Number of the current attempt, from 1.
inline std::atomic<std::int32_t> ReadCounter{0};
// The load of the library that the last worker took; the stop button looks
// endcard up in it. Each run's load replaces the one before.
inline device::LibrarySlot ReaderLibraryHandle;

// What the worker needs of its page. The worker calls it only inside a
// hand-over, on the user-interface thread, and only while its run is live.
class ReadPort {
 public:
  // Appends an attempt's entry to the log.
  virtual void appendEntry(const std::string& entry) = 0;
  // Shows a box with this text on the page's behalf.
  virtual void showProblem(const std::string& text) = 0;
  // The run has made its last attempt.
  virtual void runFinished() = 0;

 protected:
  ~ReadPort() = default;
};

class ReadCard : public ui::Thread {
 public:
  // Sets ReadRunning to 1; the run begins with start().
  ReadCard(std::int32_t ReadCount, std::int32_t PortNumber, std::int32_t TrackSelection,
           std::int32_t CommandMode, std::int32_t TimeoutMs, ReadPort& page);

  const std::int32_t ReadCount;
  const std::int32_t PortNumber;
  const std::int32_t TrackSelection;
  const std::int32_t CommandMode;
  const std::int32_t TimeoutMs;

 protected:
  void execute() override { Execute(); }

 private:
  void Execute();

  ReadPort& page_;
};
