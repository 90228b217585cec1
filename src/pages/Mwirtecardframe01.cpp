#include "pages/Mwirtecardframe01.h"

TMWirteCardFrame1::TMWirteCardFrame1() : ui::Frame("MWirteCardFrame1") {
  setBounds({0, 0, 494, 289});
}

TMWirteCardFrame1::~TMWirteCardFrame1() = default;
