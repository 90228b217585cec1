// Components as an operator meets them: clicks, typing, tabs, arrows, and the
// error box for a handler that fails.
#include <gtest/gtest.h>

#include "ui/Application.h"
#include "ui/Convert.h"
#include "ui/Form.h"
#include "ui/headless/HeadlessBackend.h"

namespace {

using ui::Kind;
using ui::headless::DialogRecord;

const ui::FormRow kRows[] = {
    {Kind::TabControl, "Tabs", "", 0, 0, 300, 200, "", ""},
    {Kind::TabSheet, "Sheet1", "Tabs", 0, 0, 300, 180, "一", "active"},
    {Kind::TabSheet, "Sheet2", "Tabs", 0, 0, 300, 180, "二", "notab"},
    {Kind::TabSheet, "Sheet3", "Tabs", 0, 0, 300, 180, "三", ""},
    {Kind::GroupBox, "Box", "Sheet1", 10, 10, 200, 60, "请选择轨道", ""},
    {Kind::RadioButton, "Radio1", "Box", 5, 20, 40, 17, "1轨", ""},
    {Kind::RadioButton, "Radio2", "Box", 50, 20, 40, 17, "2轨", ""},
    {Kind::RadioButton, "Radio3", "Box", 95, 20, 40, 17, "3轨", "disabled"},
    {Kind::Edit, "Count", "Sheet1", 10, 80, 50, 21, "0", ""},
    {Kind::UpDown, "CountArrows", "Sheet1", 60, 80, 16, 21, "", "associate=Count;min=0;max=100"},
    {Kind::Memo, "Log", "Sheet1", 10, 110, 200, 60, "", "vscroll"},
    {Kind::Memo, "Help", "Sheet3", 10, 10, 200, 60, "fixed", "readonly;vscroll"},
    {Kind::Button, "Start", "Sheet1", 220, 10, 75, 25, "开始", ""},
    {Kind::CheckBox, "Rewrite", "Sheet1", 220, 40, 75, 17, "重写", "checked;alignment=left"},
    {Kind::RadioGroup, "Port", "Sheet3", 10, 80, 200, 60, "请选择端口", "items=COM1|COM2|412 ;columns=3;index=0"},
    {Kind::Panel, "Host", "Sheet3", 10, 150, 100, 20, "", "border;color=menubar"},
};

class TestForm : public ui::Form {
 public:
  TestForm() : ui::Form("TestForm") {
    setBounds({226, 168, 680, 435});
    build(kRows);
  }
  template <class T>
  T& get(const char* name) {
    return *find<T>(name);
  }
};

class Toolkit : public ::testing::Test {
 protected:
  void SetUp() override { form.showForm(); }
  ui::headless::Session session;
  TestForm form;
};

TEST_F(Toolkit, DescriptionBuildsNamedComponentsWithTheirSettings) {
  auto& port = form.get<ui::RadioGroup>("Port");
  EXPECT_EQ(port.items(), (std::vector<std::string>{"COM1", "COM2", "412 "}));
  EXPECT_EQ(port.columns(), 3);
  EXPECT_EQ(port.itemIndex(), 0);
  EXPECT_EQ(form.get<ui::Button>("Start").bounds(), (ui::Rect{220, 10, 75, 25}));
  EXPECT_EQ(form.get<ui::Button>("Start").parent()->name(), "Sheet1");
  EXPECT_TRUE(form.get<ui::CheckBox>("Rewrite").checked());
  EXPECT_TRUE(form.get<ui::CheckBox>("Rewrite").textLeft());
  EXPECT_TRUE(form.get<ui::Memo>("Help").readOnly());
  EXPECT_EQ(form.get<ui::Panel>("Host").prop("color"), "menubar");
  EXPECT_THROW(form.get<ui::Edit>("Start"), ui::BuildError);
  EXPECT_THROW(form.get<ui::Edit>("Nothing"), ui::BuildError);

  ui::Frame frame("Broken");
  const ui::FormRow orphan[] = {{Kind::Label, "L", "NoSuchParent", 0, 0, 1, 1, "", ""}};
  EXPECT_THROW(frame.build(orphan), ui::BuildError);
}

TEST_F(Toolkit, MarkingARadioButtonRunsItsClickAndClearsItsSiblings) {
  auto& r1 = form.get<ui::RadioButton>("Radio1");
  auto& r2 = form.get<ui::RadioButton>("Radio2");
  auto& r3 = form.get<ui::RadioButton>("Radio3");
  std::vector<std::string> clicks;
  for (auto* r : {&r1, &r2, &r3}) r->onClick = [&clicks, r] { clicks.push_back(r->name()); };

  r1.setChecked(true);  // from code, as a page's constructor does
  EXPECT_EQ(clicks, std::vector<std::string>{"Radio1"});
  EXPECT_TRUE(r2.click());
  EXPECT_TRUE(r2.checked());
  EXPECT_FALSE(r1.checked());
  EXPECT_EQ(clicks, (std::vector<std::string>{"Radio1", "Radio2"}));
  // Clicking the marked one again changes nothing; a disabled one takes no click.
  r2.click();
  EXPECT_FALSE(r3.click());
  EXPECT_FALSE(r3.checked());
  EXPECT_EQ(clicks.size(), 2u);
}

TEST_F(Toolkit, ControlsInAHiddenOrDisabledContainerTakeNoInput) {
  auto& start = form.get<ui::Button>("Start");
  auto& box = form.get<ui::GroupBox>("Box");
  auto& r1 = form.get<ui::RadioButton>("Radio1");
  int clicks = 0;
  start.onClick = [&] { ++clicks; };

  box.setEnabled(false);
  EXPECT_TRUE(r1.enabled());  // its own state stays as set
  EXPECT_FALSE(r1.click());
  box.setEnabled(true);
  EXPECT_TRUE(r1.click());

  // Start lies on Sheet1: not on screen while another sheet is active.
  form.get<ui::TabControl>("Tabs").setActiveSheet(form.find<ui::TabSheet>("Sheet3"));
  EXPECT_FALSE(start.showing());
  EXPECT_FALSE(start.click());
  form.get<ui::TabControl>("Tabs").setActiveSheet(form.find<ui::TabSheet>("Sheet1"));
  EXPECT_TRUE(start.click());
  start.hide();
  EXPECT_FALSE(start.click());
  EXPECT_EQ(clicks, 1);

  // Nothing is operable on a form that is not shown, nor in a frame without a host.
  ui::Frame loose("Loose");
  const ui::FormRow rows[] = {{Kind::Button, "B", "", 0, 0, 10, 10, "b", ""}};
  loose.build(rows);
  EXPECT_FALSE(loose.find<ui::Button>("B")->click());
  loose.setParent(form.find<ui::Panel>("Host"));
  form.get<ui::TabControl>("Tabs").setActiveSheet(form.find<ui::TabSheet>("Sheet3"));
  EXPECT_TRUE(loose.find<ui::Button>("B")->click());
  loose.setParent(nullptr);
}

TEST_F(Toolkit, AHiddenTabLeavesTheRowAndComesBackInItsPlace) {
  auto& tabs = form.get<ui::TabControl>("Tabs");
  auto* s1 = form.find<ui::TabSheet>("Sheet1");
  auto* s2 = form.find<ui::TabSheet>("Sheet2");
  auto* s3 = form.find<ui::TabSheet>("Sheet3");
  EXPECT_EQ(tabs.tabRow(), (std::vector<ui::TabSheet*>{s1, s3}));
  EXPECT_FALSE(tabs.selectTab(s2));  // no tab to click
  EXPECT_EQ(tabs.activeSheet(), s1);

  int shows = 0;
  s3->onShow = [&] { ++shows; };
  EXPECT_TRUE(tabs.selectTab(1));
  EXPECT_EQ(tabs.activeSheet(), s3);
  EXPECT_EQ(shows, 1);
  tabs.selectTab(s3);  // already shown: no second show
  EXPECT_EQ(shows, 1);

  s2->setTabVisible(true);
  EXPECT_EQ(tabs.tabRow(), (std::vector<ui::TabSheet*>{s1, s2, s3}));
  s1->setTabVisible(false);
  EXPECT_EQ(tabs.tabRow(), (std::vector<ui::TabSheet*>{s2, s3}));
  s1->setTabVisible(true);
  EXPECT_EQ(tabs.tabRow(), (std::vector<ui::TabSheet*>{s1, s2, s3}));
}

TEST_F(Toolkit, UpDownStepsWithinItsRangeAndLeavesTypedTextFree) {
  auto& count = form.get<ui::Edit>("Count");
  auto& arrows = form.get<ui::UpDown>("CountArrows");
  EXPECT_TRUE(arrows.clickDown());
  EXPECT_EQ(count.text(), "0");  // no wrap-around to 100
  arrows.clickUp();
  arrows.clickUp();
  EXPECT_EQ(count.text(), "2");

  count.setText("");
  count.type("250");  // the arrows limit only themselves
  EXPECT_EQ(count.text(), "250");
  arrows.clickUp();
  EXPECT_EQ(count.text(), "100");
  arrows.clickUp();
  EXPECT_EQ(count.text(), "100");

  count.setText("57");
  arrows.clickDown();  // goes on from what was typed
  EXPECT_EQ(count.text(), "56");
  count.setText("abc");
  arrows.clickUp();  // text that is no number: from the last position
  EXPECT_EQ(count.text(), "57");
}

TEST_F(Toolkit, KeyFilterCanDiscardCharactersAndTheFormPreviewsThem) {
  auto& log = form.get<ui::Memo>("Log");
  int escapes = 0;
  log.onKeyPress = [&](char32_t& key) {
    if (key == 27) ++escapes;
    key = 0;
  };
  log.addLine("first");
  EXPECT_TRUE(log.type("abc\x1b" "中"));
  EXPECT_EQ(log.text(), "first");
  EXPECT_EQ(escapes, 1);

  auto& count = form.get<ui::Edit>("Count");
  std::u32string seen;
  form.setKeyPreview(true);
  form.onKeyPress = [&](char32_t& key) {
    seen += key;
    if (key == U'x') key = 0;
  };
  count.setText("");
  count.type("1x2中\x1b");
  EXPECT_EQ(count.text(), "12中");  // Esc reached the handlers but is no text
  EXPECT_EQ(seen, U"1x2中\x1b");
  count.type("\b\b");
  EXPECT_EQ(count.text(), "1");
  form.onKeyPress = nullptr;
  log.onKeyPress = nullptr;
  log.type("\rz");
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"first", "z"}));

  // A read-only box sees the keys but keeps its text.
  auto& help = form.get<ui::Memo>("Help");
  form.get<ui::TabControl>("Tabs").setActiveSheet(form.find<ui::TabSheet>("Sheet3"));
  help.type("zz");
  EXPECT_EQ(help.text(), "fixed");
}

TEST_F(Toolkit, MemoAddsEntriesAsLinesAtTheEnd) {
  auto& log = form.get<ui::Memo>("Log");
  log.addLine("\r\n第1次读卡成功！");
  log.addLine("第一轨数据：");
  log.addLine("");
  log.addLine("\r\n第2次读卡失败！错误代码-1");
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"", "第1次读卡成功！", "第一轨数据：", "", "",
                                                   "第2次读卡失败！错误代码-1"}));
  log.clear();
  EXPECT_TRUE(log.lines().empty());
  log.addLine("a\r\nb");
  EXPECT_EQ(log.lines(), (std::vector<std::string>{"a", "b"}));
}

TEST_F(Toolkit, AnErrorInAHandlerReachesTheErrorBoxAndTheProgramGoesOn) {
  auto& start = form.get<ui::Button>("Start");
  auto& count = form.get<ui::Edit>("Count");
  int started = 0;
  start.onClick = [&] {
    ui::strToInt(count.text());
    ++started;
  };
  count.setText("12abc");
  EXPECT_TRUE(start.click());
  count.setText("3");
  EXPECT_TRUE(start.click());
  EXPECT_EQ(started, 1);
  EXPECT_EQ(session.dialogs().records(),
            (std::vector<DialogRecord>{{ui::DialogKind::Error, "'12abc' is not a valid integer value"}}));

  // The same holds for radio buttons, check boxes, tabs and key handlers.
  auto& r1 = form.get<ui::RadioButton>("Radio1");
  r1.onClick = [] { throw std::runtime_error("radio"); };
  auto& rewrite = form.get<ui::CheckBox>("Rewrite");
  rewrite.onClick = [] { throw std::runtime_error("check"); };
  EXPECT_TRUE(r1.click());
  EXPECT_TRUE(rewrite.click());
  EXPECT_TRUE(r1.checked());
  EXPECT_FALSE(rewrite.checked());
  EXPECT_EQ(session.dialogs().texts(ui::DialogKind::Error),
            (std::vector<std::string>{"'12abc' is not a valid integer value", "radio", "check"}));
}

TEST_F(Toolkit, DialogsAreRecordedAndAnsweredFromTheQueue) {
  auto& d = session.dialogs();
  d.answerConfirm(true);
  d.answerFile(std::string("cards.txt"));
  EXPECT_TRUE(ui::confirm("确定退出连续写卡？"));
  EXPECT_FALSE(ui::confirm("again"));  // nothing queued: closed, counts as Cancel
  EXPECT_EQ(ui::openFileDialog("文本文件|*.txt", "txt"), std::optional<std::string>("cards.txt"));
  EXPECT_EQ(ui::openFileDialog("文本文件|*.txt", "txt"), std::nullopt);
  EXPECT_EQ(d.lastDefaultExtension(), "txt");
  ui::showMessage("请刷卡！");
  EXPECT_EQ(d.texts(ui::DialogKind::Message), std::vector<std::string>{"请刷卡！"});
  EXPECT_EQ(d.texts(ui::DialogKind::Confirm).size(), 2u);
  EXPECT_EQ(ui::app().title(), "");
}

TEST_F(Toolkit, ClosingTheMainFormEndsTheLoop) {
  ui::app().setMainForm(&form);
  auto& start = form.get<ui::Button>("Start");
  start.onClick = [&] { form.close(); };
  start.click();
  EXPECT_TRUE(form.closed());
  EXPECT_TRUE(ui::app().terminated());
  ui::app().run();  // returns at once
}

TEST(ToolkitOwnership, AFrameDestroyedBeforeItsHostLeavesTheHostIntact) {
  ui::headless::Session session;
  TestForm form;
  auto* host = form.find<ui::Panel>("Host");
  {
    auto page = std::make_unique<ui::Frame>("Page");
    const ui::FormRow rows[] = {{Kind::Memo, "M", "", 0, 0, 10, 10, "", ""}};
    page->build(rows);
    page->setParent(host);
    EXPECT_EQ(host->children().size(), 1u);
  }
  EXPECT_TRUE(host->children().empty());
  // A frame that outlives its host is detached, not destroyed.
  auto page = std::make_unique<ui::Frame>("Page2");
  {
    TestForm other;
    page->setParent(other.find<ui::Panel>("Host"));
  }
  EXPECT_EQ(page->parent(), nullptr);
}

}  // namespace
