#pragma once
// The one way to reach "40x.dll" from a page or a worker: load it, look up
// the entry points the caller needs, or give the one failure text. Where the
// text goes (a box, a log line) and when the load is given back stay with the
// caller.
#include "device/CardDevice.h"
#include "device/DynamicLibrary.h"
#include "device/LibraryTexts.h"
#include "device/SharedLibrary.h"

namespace device {

// An entry point to look up by name into `target`.
template <class Fn>
struct EntryPoint {
  const char* name;
  Fn& target;
};
template <class Fn>
EntryPoint<Fn> entryPoint(const char* name, Fn& target) {
  return {name, target};
}

// Loads the library into `library` and looks up every entry point. Returns
// nullptr when all are there, otherwise kLibraryLoadFailed (nothing loaded)
// or kEntryPointMissing (every target null, the load kept in `library`).
template <class... Fn>
const char* reachLibrary(DynamicLibrary& library, EntryPoint<Fn>... entries) {
  library = DynamicLibrary(kLibraryFileName);
  if (!library) return kLibraryLoadFailed;
  ((entries.target = library.template function<Fn>(entries.name)), ...);
  if (((entries.target != nullptr) && ...)) return nullptr;
  ((entries.target = nullptr), ...);
  return kEntryPointMissing;
}

// The same for a load that several holders share; `library` is null when
// the load failed.
template <class... Fn>
const char* reachLibrary(SharedLibrary& library, EntryPoint<Fn>... entries) {
  DynamicLibrary loaded;
  const char* problem = reachLibrary(loaded, entries...);
  library = loaded ? std::make_shared<DynamicLibrary>(std::move(loaded)) : nullptr;
  return problem;
}

}  // namespace device
