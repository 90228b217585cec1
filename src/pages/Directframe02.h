#pragma once
// Help page "函数及调用": the device library's functions for programmers who
// call it from their own programs, as fixed read-only text.
#include "ui/Form.h"

class TDirectFrame2 : public ui::Frame {
 public:
  TDirectFrame2();

  ui::Label* Label1 = nullptr;
  ui::Memo* Memo1 = nullptr;
};
