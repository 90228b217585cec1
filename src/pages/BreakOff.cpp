#include "pages/BreakOff.h"

#include "device/Connection.h"
#include "device/LibraryTexts.h"
#include "ui/Application.h"

namespace pages {

namespace {
HeldEndcard lookUp(const device::LibrarySlot& handle) {
  HeldEndcard endcard{handle.get(), nullptr};
  if (endcard.library) endcard.call = endcard.library->function<device::EndcardFn>("endcard");
  return endcard;
}
}  // namespace

HeldEndcard endcardThrough(const device::LibrarySlot& handle) {
  HeldEndcard endcard = lookUp(handle);
  if (!endcard.library) ui::showMessage(device::kLibraryNotLoaded);
  else if (!endcard) ui::showMessage(device::kEntryPointMissing);
  return endcard;
}

void breakOffThrough(const device::LibrarySlot& handle) {
  if (const HeldEndcard endcard = lookUp(handle)) endcard.call(device::CommandMode);
}

}  // namespace pages
