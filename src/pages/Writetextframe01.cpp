#include "pages/Writetextframe01.h"

TWriteTextFrame1::TWriteTextFrame1() : ui::Frame("WriteTextFrame1") {
  setBounds({0, 0, 501, 278});
}

TWriteTextFrame1::~TWriteTextFrame1() = default;
