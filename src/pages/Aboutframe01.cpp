#include "pages/Aboutframe01.h"

#include "cardtest_version.h"

namespace {

const ui::FormRow kForm[] = {
    // kind, name, parent, left, top, width, height, caption, props
    {ui::Kind::Image, "Image1", "", 25, 39, 100, 200, "", "picture=about"},
    {ui::Kind::Memo, "Memo1", "", 142, 39, 329, 201, "", "flat;color=btnface"},
};

// All contact details are placeholders of the studio, not real numbers.
const char kText[] =
    "版权所有(C) 2024-2026 蓝桥磁卡测试工作室\r\n"
    "\r\n"
    "\r\n"
    "办公地址：示例市蓝桥区样板路1号101室\r\n"
    "磁卡读写器测试程序  版本 " CARDTEST_VERSION "\r\n"
    "邮政编码：000000\r\n"
    "电话：010-0000 1234\r\n"
    "传真：010-0000 1235\r\n"
    "E-mail：service@example.com\r\n"
    "联系人：蓝工  手机：130 0000 0000\r\n"
    "本程序的著作权属蓝桥磁卡测试工作室所有，\r\n"
    "未经许可不得复制、修改或传播。\r\n"
    "Blue Bridge Card Test Studio";

}  // namespace

TAboutFrame1::TAboutFrame1() : ui::Frame("AboutFrame1") {
  setBounds({0, 0, 500, 280});
  build(kForm);
  Image1 = find<ui::Image>("Image1");
  Memo1 = find<ui::Memo>("Memo1");
  Memo1->setText(kText);
  Memo1->scrollToTop();
}
