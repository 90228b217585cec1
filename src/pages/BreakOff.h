#pragma once
// A continuous page's break-off of its worker's pending call: endcard looked
// up in the load that the worker took, with that load held while it is called.
#include "device/CardDevice.h"
#include "device/SharedLibrary.h"

namespace pages {

struct HeldEndcard {
  device::SharedLibrary library;
  device::EndcardFn call = nullptr;
  explicit operator bool() const { return call != nullptr; }
};

// A stop button's endcard. Empty, after the message, when no load is there
// or it has no endcard.
HeldEndcard endcardThrough(const device::LibrarySlot& handle);

// A page's break-off: endcard through the load that the worker took,
// silently nothing when there is none.
void breakOffThrough(const device::LibrarySlot& handle);

}  // namespace pages
