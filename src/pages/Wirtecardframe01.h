#pragma once
// Write-card test page: one writecard call per press of "写卡", on the
// user-interface thread, with the typed texts of the chosen tracks.
#include "pages/SingleCardFrame.h"

class TWirteCardFrame1 : public pages::SingleCardFrame {
 public:
  // Reads DeviceType for the track choices the model offers.
  TWirteCardFrame1();

  ui::CheckBox* selectuplw = nullptr;

  void Button1Click() override;
};
