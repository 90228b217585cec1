#pragma once
// The text-file write page: writes the lines of a text file to cards.
#include "ui/Form.h"

class TWriteTextFrame1 : public ui::Frame {
 public:
  TWriteTextFrame1();
  ~TWriteTextFrame1() override;
};
