#pragma once
// Read-card test page: one readcard call per press of "读卡", on the
// user-interface thread, with the tracks of the chosen radio button.
#include "pages/SingleCardFrame.h"

class TReadCardFrame1 : public pages::SingleCardFrame {
 public:
  // Reads DeviceType for the track choices the model offers.
  TReadCardFrame1();

  void Button1Click() override;
};
