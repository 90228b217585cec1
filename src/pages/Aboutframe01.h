#pragma once
// Help page "关于": picture and the maker's details. The text is left editable
// on purpose; what the operator types there lasts until the page is replaced.
#include "ui/Form.h"

class TAboutFrame1 : public ui::Frame {
 public:
  TAboutFrame1();

  ui::Image* Image1 = nullptr;
  ui::Memo* Memo1 = nullptr;
};
