#pragma once
// A load of "40x.dll" that several holders share (a worker during its run, a
// process-wide handle that a stop button looks endcard up in): it is given
// back with the last holder, so a handle is never used after its load went,
// and replacing the handle never piles up loads.
#include <memory>
#include <mutex>
#include <utility>

#include "device/DynamicLibrary.h"

namespace device {

using SharedLibrary = std::shared_ptr<DynamicLibrary>;

// A process-wide place for a shared load: written by a worker, read by the
// user-interface thread.
class LibrarySlot {
 public:
  SharedLibrary get() const {
    std::lock_guard lock(mutex_);
    return library_;
  }
  // The previous load is given back here when nobody else holds it.
  void set(SharedLibrary library) {
    SharedLibrary old;
    {
      std::lock_guard lock(mutex_);
      old = std::exchange(library_, std::move(library));
    }
  }
  bool empty() const { return get() == nullptr; }

 private:
  mutable std::mutex mutex_;
  SharedLibrary library_;
};

}  // namespace device
