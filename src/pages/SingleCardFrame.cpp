#include "pages/SingleCardFrame.h"

#include "cards/Selections.h"
#include "device/CardDevice.h"
#include "device/Connection.h"
#include "device/Reach.h"
#include "pages/DeviceGuard.h"
#include "pages/TrackChoice.h"
#include "ui/Application.h"

namespace pages {

SingleCardFrame::SingleCardFrame(std::string name, int width, int height,
                                 std::span<const ui::FormRow> rows)
    : ui::Frame(std::move(name)) {
  setBounds({0, 0, width, height});
  build(rows);
  Label4 = find<ui::Label>("Label4");
  Label1 = find<ui::Label>("Label1");
  Memo1 = find<ui::Memo>("Memo1");
  Label2 = find<ui::Label>("Label2");
  Memo2 = find<ui::Memo>("Memo2");
  Label3 = find<ui::Label>("Label3");
  Memo3 = find<ui::Memo>("Memo3");
  GroupBox1 = find<ui::GroupBox>("GroupBox1");
  RadioButton1 = find<ui::RadioButton>("RadioButton1");
  RadioButton2 = find<ui::RadioButton>("RadioButton2");
  RadioButton3 = find<ui::RadioButton>("RadioButton3");
  RadioButton4 = find<ui::RadioButton>("RadioButton4");
  RadioButton5 = find<ui::RadioButton>("RadioButton5");
  RadioButton6 = find<ui::RadioButton>("RadioButton6");
  Button1 = find<ui::Button>("Button1");

  RadioButton1->onClick = [this] { RadioButton1Click(); };
  RadioButton2->onClick = [this] { RadioButton2Click(); };
  RadioButton3->onClick = [this] { RadioButton3Click(); };
  RadioButton4->onClick = [this] { RadioButton4Click(); };
  RadioButton5->onClick = [this] { RadioButton5Click(); };
  RadioButton6->onClick = [this] { RadioButton6Click(); };
  Button1->onClick = [this] { Button1Click(); };

  TrackSelection = 0;
  applyStartupSelection(
      {RadioButton1, RadioButton2, RadioButton3, RadioButton4, RadioButton5, RadioButton6},
      device::DeviceType);
}

void SingleCardFrame::selectTracks(int selection) {
  TrackSelection = selection;
  const auto on = cards::tracksOf(selection);
  Memo1->setEnabled(on[0]);
  Label1->setEnabled(on[0]);
  Memo2->setEnabled(on[1]);
  Label2->setEnabled(on[1]);
  Memo3->setEnabled(on[2]);
  Label3->setEnabled(on[2]);
}

std::optional<std::int32_t> SingleCardFrame::callDevice(const char* function, int selection,
                                                        device::TrackBuffer& bufferA,
                                                        device::TrackBuffer& bufferB) {
  // A worker of a page that has gone may still be inside its call.
  if (!deviceFree(kWorkerPatience, device::kLastCallPending)) return std::nullopt;
  // The page's own load, held only for this one call; readcard and
  // writecard have the same arguments.
  device::DynamicLibrary library;
  device::ReadcardFn call = nullptr;
  if (const char* problem = device::reachLibrary(library, device::entryPoint(function, call))) {
    ui::showMessage(problem);
    return std::nullopt;  // the load goes with `library`
  }
  const std::int32_t result = call(device::PortNumber, selection, bufferA.data(), bufferB.data(),
                                   device::CommandMode, device::TimeoutMs);
  library.release();
  return result;
}

}  // namespace pages
