#pragma once
// Help page "操作说明": how to operate this program, as fixed read-only text.
#include "ui/Form.h"

class TDirectFrame1 : public ui::Frame {
 public:
  TDirectFrame1();

  ui::Label* Label1 = nullptr;
  ui::Memo* Memo1 = nullptr;
};
