#pragma once
// The continuous-write page: a batch of cards whose track data is a fixed
// text and a running number.
#include "ui/Form.h"

class TMWirteCardFrame1 : public ui::Frame {
 public:
  TMWirteCardFrame1();
  ~TMWirteCardFrame1() override;
};
