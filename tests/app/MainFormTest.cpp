// The main window: layout, start-up, connection, reset and page hosting,
// against the emulated reader.
#include <memory>
#include <string>
#include <vector>

#include "../pages/CardTestSupport.h"
#include "app/MainForm.h"
#include "pages/Aboutframe01.h"
#include "pages/Directframe01.h"
#include "pages/Directframe02.h"
#include "pages/Mreadcardframe01.h"
#include "pages/Readcardframe01.h"
#include "pages/TrackChoice.h"
#include "pages/Wirtecardframe01.h"

namespace {

using cardtest::EmulatorTest;

class MainWindow : public EmulatorTest {
 protected:
  void SetUp() override {
    EmulatorTest::SetUp();
    cardtest::setConnection(0, 0, 0, 0);
  }
  void TearDown() override {
    form.reset();
    EmulatorTest::TearDown();
  }

  TForm1& open() {
    form = std::make_unique<TForm1>();
    form->showForm();
    return *form;
  }

  bool operationTabShown() const {
    for (ui::TabSheet* s : form->PageControl1->tabRow())
      if (s == form->TabSheet2) return true;
    return false;
  }

  // Connects by hand with the form's defaults, then clears the record.
  void connectManually() {
    ASSERT_TRUE(form->Button3->click());
    ASSERT_EQ(messages(), std::vector<std::string>{"联机成功！"});
    session.dialogs().clear();
    emu.clearLog();
  }

  std::unique_ptr<TForm1> form;
};

TEST_F(MainWindow, OpensWithItsLayoutAndTheLibraryResolved) {
  const int before = device::DynamicLibrary::liveLoads();
  TForm1& f = open();
  EXPECT_TRUE(session.dialogs().records().empty());
  EXPECT_EQ(device::DynamicLibrary::liveLoads(), before + 1);
  EXPECT_TRUE(entry::detect && entry::reset && entry::opencomm && entry::endcard);

  // The emulated reader is named in the caption; any other library leaves
  // the caption as it is.
  EXPECT_EQ(f.caption(), "磁卡读写器测试程序（模拟读卡器）");
  device::DynamicLibrary::setSearchFolderForTests(cardtest::variantFolder("no_control"));
  EXPECT_EQ(TForm1().caption(), "磁卡读写器测试程序");
  device::DynamicLibrary::setSearchFolderForTests("");
  EXPECT_EQ(f.bounds(), (ui::Rect{226, 168, 680, 435}));
  EXPECT_TRUE(f.keyPreview());
  EXPECT_EQ(f.PageControl1->activeSheet(), f.TabSheet1);
  EXPECT_EQ(f.PageControl1->tabRow(), (std::vector<ui::TabSheet*>{f.TabSheet1, f.TabSheet3}));
  EXPECT_EQ(f.TabSheet2->caption(), "操作");
  EXPECT_EQ(f.RadioGroup1->items(),
            (std::vector<std::string>{"402", "412 ", "423 ", "427 ", "523", "623"}));
  EXPECT_EQ(f.RadioGroup1->itemIndex(), 0);
  EXPECT_EQ(f.RadioGroup3->itemIndex(), 1);
  EXPECT_EQ(f.RadioGroup2->itemIndex(), 0);
  EXPECT_EQ(f.RadioGroup4->items(), (std::vector<std::string>{"5000", "10000", "30000", "60000"}));
  EXPECT_EQ(f.RadioGroup4->itemIndex(), 0);
  EXPECT_TRUE(f.Memo1->readOnly());
  EXPECT_EQ(f.Memo1->text(), "");
  EXPECT_FALSE(f.OperationPage);
  EXPECT_FALSE(f.HelpPage);
  for (ui::Button* b : {f.Button4, f.Button5, f.Button6}) EXPECT_TRUE(b->enabled()) << b->name();
  EXPECT_TRUE(emu.log().empty());

  form.reset();
  EXPECT_EQ(device::DynamicLibrary::liveLoads(), before);
}

TEST_F(MainWindow, ManualConnectionWithModel427ShowsTheFullStatus) {
  TForm1& f = open();
  ASSERT_TRUE(f.RadioGroup1->clickItem(3));
  ASSERT_TRUE(f.Button3->click());
  EXPECT_EQ(messages(), std::vector<std::string>{"联机成功！"});
  EXPECT_EQ(emu.log(), std::vector<std::string>{"opencomm(1,2,5000)=0"});
  EXPECT_EQ(f.Memo1->text(),
            "您的卡机型号为zo40x（1/2/3轨），命令方式为方式2，串口号为COM1，超时时间为5秒。");
  EXPECT_EQ(device::DeviceType, 6);
  EXPECT_TRUE(operationTabShown());
  EXPECT_EQ(f.PageControl1->activeSheet(), f.TabSheet2);
  auto* page = dynamic_cast<TReadCardFrame1*>(f.OperationPage.get());
  ASSERT_NE(page, nullptr);
  EXPECT_EQ(page->parent(), f.Panel1);
  EXPECT_EQ(page->TrackSelection, 1);
}

TEST_F(MainWindow, ManualConnectionModelsAndStatusFragments) {
  TForm1& f = open();
  const struct {
    int deviceType;
    const char* text;
  } models[] = {
      {2, "您的卡机型号为ZVX402（单2轨），"}, {4, "您的卡机型号为ZVX412（1/2轨），"},
      {5, "您的卡机型号为ZVX423（2/3轨），"}, {6, "您的卡机型号为zo40x（1/2/3轨），"},
      {5, "您的卡机型号为ZVX523（2/3轨），"}, {5, "您的卡机型号为ZVX623（2/3轨），"},
  };
  const char* modes[] = {"命令方式为方式1，", "命令方式为方式2，"};
  const char* ports[] = {"串口号为COM1，", "串口号为COM2，", "串口号为COM3，",
                         "串口号为COM4，", "串口号为COM5，", "串口号为6，"};
  const char* timeouts[] = {"超时时间为5秒。", "超时时间为10秒。", "超时时间为30秒。",
                            "超时时间为60秒。"};
  const int timeoutMs[] = {5000, 10000, 30000, 60000};
  for (int m = 0; m < 6; ++m) {
    for (int mode = 0; mode < 2; ++mode) {
      for (int port = 0; port < 6; ++port) {
        for (int t = 0; t < 4; ++t) {
          SCOPED_TRACE(std::to_string(m) + "/" + std::to_string(mode) + "/" +
                       std::to_string(port) + "/" + std::to_string(t));
          f.RadioGroup1->setItemIndex(m);
          f.RadioGroup3->setItemIndex(mode);
          f.RadioGroup2->setItemIndex(port);
          f.RadioGroup4->setItemIndex(t);
          emu.clearLog();
          f.PageControl1->setActiveSheet(f.TabSheet1);
          ASSERT_TRUE(f.Button3->click());
          EXPECT_EQ(emu.log(), std::vector<std::string>{
                                   "opencomm(" + std::to_string(port + 1) + "," +
                                   std::to_string(mode + 1) + "," + std::to_string(timeoutMs[t]) +
                                   ")=0"});
          EXPECT_EQ(f.Memo1->text(),
                    std::string(models[m].text) + modes[mode] + ports[port] + timeouts[t]);
          EXPECT_EQ(device::DeviceType, models[m].deviceType);
          EXPECT_EQ(device::PortNumber, port + 1);
          EXPECT_EQ(device::CommandMode, mode + 1);
          EXPECT_EQ(device::TimeoutMs, timeoutMs[t]);
        }
      }
    }
  }
}

TEST_F(MainWindow, ManualConnectionWithoutModelStillOpensTheOperationTab) {
  TForm1& f = open();
  f.RadioGroup1->setItemIndex(-1);
  ASSERT_TRUE(f.Button3->click());
  EXPECT_EQ(messages(), std::vector<std::string>{"联机成功！"});
  EXPECT_EQ(f.Memo1->text(), "");
  EXPECT_EQ(device::DeviceType, 0);
  EXPECT_TRUE(operationTabShown());
  EXPECT_NE(dynamic_cast<TReadCardFrame1*>(f.OperationPage.get()), nullptr);
}

TEST_F(MainWindow, ManualConnectionFailures) {
  TForm1& f = open();
  const char* texts[] = {"创建串口句柄错误！",        "建立串口句柄通信错误！",
                         "获取串口状态错误！",        "设置串口参数错误！",
                         "设置串口超时错误！",        "参数错误:串口名不等于1到6！",
                         "参数错误:超时时间小于0!！", "选择机器命令方式不正确！",
                         "清除缓存区错误！"};
  for (int r = -1; r >= -9; --r) {
    SCOPED_TRACE(r);
    session.dialogs().clear();
    emu.script("opencomm", {r});
    ASSERT_TRUE(f.Button3->click());
    EXPECT_EQ(messages(), std::vector<std::string>{texts[-r - 1]});
    EXPECT_EQ(f.Memo1->text(), "");
  }
  // Outside the table: no feedback at all.
  session.dialogs().clear();
  emu.script("opencomm", {-10, 1, 2428});
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(f.Button3->click());
  EXPECT_TRUE(session.dialogs().records().empty());
  EXPECT_EQ(device::DeviceType, 0);
  EXPECT_FALSE(operationTabShown());
  EXPECT_FALSE(f.OperationPage);
  // The values of the attempts are stored all the same.
  EXPECT_EQ(device::PortNumber, 1);
  EXPECT_EQ(device::CommandMode, 2);
  EXPECT_EQ(device::TimeoutMs, 5000);
}

TEST_F(MainWindow, SettingsAreStoredGroupByGroupUntilAStop) {
  TForm1& f = open();
  f.RadioGroup3->setItemIndex(0);
  f.RadioGroup2->setItemIndex(2);
  f.RadioGroup4->setItemIndex(3);
  for (ui::Button* connect : {f.Button3, f.Button12}) {
    SCOPED_TRACE(connect->name());
    f.Memo1->setText("before");
    cardtest::setConnection(0, 0, 0, 0);

    f.RadioGroup3->setItemIndex(-1);
    session.dialogs().clear();
    ASSERT_TRUE(connect->click());
    EXPECT_EQ(messages(), std::vector<std::string>{"请选择命令方式！"});
    EXPECT_EQ(f.Memo1->text(), "");
    EXPECT_EQ(device::CommandMode, 0);
    EXPECT_EQ(device::PortNumber, 0);
    EXPECT_EQ(device::TimeoutMs, 0);

    f.RadioGroup3->setItemIndex(0);
    f.RadioGroup2->setItemIndex(-1);
    session.dialogs().clear();
    ASSERT_TRUE(connect->click());
    EXPECT_EQ(messages(), std::vector<std::string>{"请选择串口！"});
    EXPECT_EQ(device::CommandMode, 1);
    EXPECT_EQ(device::PortNumber, 0);
    EXPECT_EQ(device::TimeoutMs, 0);

    f.RadioGroup2->setItemIndex(2);
    f.RadioGroup4->setItemIndex(-1);
    session.dialogs().clear();
    ASSERT_TRUE(connect->click());
    EXPECT_EQ(messages(), std::vector<std::string>{"请选择超时时间！"});
    EXPECT_EQ(device::CommandMode, 1);
    EXPECT_EQ(device::PortNumber, 3);
    EXPECT_EQ(device::TimeoutMs, 0);
    f.RadioGroup4->setItemIndex(3);
  }
  EXPECT_TRUE(emu.log().empty());
  EXPECT_FALSE(operationTabShown());
}

TEST_F(MainWindow, AutomaticConnectionTakesModelAndModeFromTheDevice) {
  TForm1& f = open();
  const struct {
    int code;
    const char* text;
    int deviceType, mode, defaultSelection;
  } rows[] = {
      {1402, "您的卡机型号为ZVX402（单2轨），命令方式为方式1，", 2, 1, 2},
      {1423, "您的卡机型号为ZVX423（2/3轨），命令方式为方式1，", 5, 1, 2},
      {2402, "您的卡机型号为ZVX402（单2轨），命令方式为方式2，", 2, 2, 2},
      {2403, "您的卡机型号为ZVX403（单3轨），命令方式为方式2，", 3, 2, 3},
      {2412, "您的卡机型号为ZVX412（1/2轨），命令方式为方式2，", 4, 2, 1},
      {2423, "您的卡机型号为ZVX423/623（2/3轨），命令方式为方式2，", 5, 2, 2},
      {2428, "您的卡机型号为zo40x（1/2/3轨），命令方式为方式2，", 6, 2, 1},
  };
  // The manual model and mode are ignored; COM6 and 10 s for the status text.
  f.RadioGroup1->setItemIndex(0);
  f.RadioGroup2->setItemIndex(5);
  f.RadioGroup4->setItemIndex(1);
  for (const auto& row : rows) {
    SCOPED_TRACE(row.code);
    f.RadioGroup3->setItemIndex(row.mode == 1 ? 1 : 0);
    session.dialogs().clear();
    emu.clearLog();
    emu.setDetectAnswer(row.code);
    ASSERT_TRUE(f.Button12->click());
    EXPECT_EQ(emu.log(), std::vector<std::string>{"detect(6,10000)=" + std::to_string(row.code)});
    EXPECT_EQ(messages(), std::vector<std::string>{"联机成功！"});
    EXPECT_EQ(f.Memo1->text(), std::string(row.text) + "串口号为6，超时时间为10秒。");
    EXPECT_EQ(device::DeviceType, row.deviceType);
    EXPECT_EQ(device::CommandMode, row.mode);
    EXPECT_TRUE(operationTabShown());
    EXPECT_EQ(f.PageControl1->activeSheet(), f.TabSheet2);
    auto* page = dynamic_cast<TReadCardFrame1*>(f.OperationPage.get());
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->TrackSelection, row.defaultSelection);
    f.PageControl1->setActiveSheet(f.TabSheet1);
  }
}

TEST_F(MainWindow, AutomaticConnectionFailures) {
  TForm1& f = open();
  const char* texts[] = {"创建串口句柄错误！", "建立串口句柄通信错误！", "获取串口状态错误！",
                         "设置串口参数错误！", "设置串口超时错误！",
                         "参数错误:串口名不等于1到6！", "参数错误:超时时间小于0!！",
                         "判断机型失败！"};
  for (int r = -1; r >= -8; --r) {
    SCOPED_TRACE(r);
    session.dialogs().clear();
    emu.setDetectAnswer(r);
    ASSERT_TRUE(f.Button12->click());
    EXPECT_EQ(messages(), std::vector<std::string>{texts[-r - 1]});
    EXPECT_EQ(f.Memo1->text(), "");
  }
  for (int r : {-9, -100, 0}) {
    SCOPED_TRACE(r);
    session.dialogs().clear();
    emu.setDetectAnswer(r);
    ASSERT_TRUE(f.Button12->click());
    EXPECT_EQ(messages(), std::vector<std::string>{"判断机型失败！"});
  }
  EXPECT_FALSE(operationTabShown());
  EXPECT_FALSE(f.OperationPage);
  EXPECT_EQ(device::DeviceType, 0);

  // An unknown model still is a device: the operation tab opens, the mode
  // stays the one chosen by hand.
  f.RadioGroup3->setItemIndex(0);
  session.dialogs().clear();
  emu.setDetectAnswer(1000);
  ASSERT_TRUE(f.Button12->click());
  EXPECT_EQ(messages(), std::vector<std::string>{"判断机型失败！"});
  EXPECT_EQ(f.Memo1->text(), "");
  EXPECT_EQ(device::DeviceType, 0);
  EXPECT_EQ(device::CommandMode, 1);
  EXPECT_TRUE(operationTabShown());
  EXPECT_EQ(f.PageControl1->activeSheet(), f.TabSheet2);
  EXPECT_NE(dynamic_cast<TReadCardFrame1*>(f.OperationPage.get()), nullptr);
}

TEST_F(MainWindow, OperationTabStaysAfterFailedAttemptsAndResetUsesTheLastOne) {
  TForm1& f = open();
  connectManually();
  ui::Frame* page = f.OperationPage.get();
  ASSERT_TRUE(f.PageControl1->selectTab(f.TabSheet1));

  f.RadioGroup2->setItemIndex(2);
  f.RadioGroup3->setItemIndex(0);
  emu.script("opencomm", {-2});
  ASSERT_TRUE(f.Button3->click());
  emu.setDetectAnswer(0);
  ASSERT_TRUE(f.Button12->click());
  f.RadioGroup4->setItemIndex(-1);
  ASSERT_TRUE(f.Button3->click());
  EXPECT_EQ(messages(),
            (std::vector<std::string>{"建立串口句柄通信错误！", "判断机型失败！", "请选择超时时间！"}));
  EXPECT_TRUE(operationTabShown());
  EXPECT_EQ(f.OperationPage.get(), page);
  EXPECT_EQ(device::DeviceType, 2);
  EXPECT_EQ(device::PortNumber, 3);
  EXPECT_EQ(device::CommandMode, 1);

  ASSERT_TRUE(f.PageControl1->selectTab(f.TabSheet2));
  session.dialogs().clear();
  emu.clearLog();
  emu.script("reset", {0, -1, 3});
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(f.Button7->click());
  EXPECT_EQ(emu.log(), (std::vector<std::string>{"reset(3,1)=0", "reset(3,1)=-1", "reset(3,1)=3"}));
  EXPECT_EQ(messages(), (std::vector<std::string>{"复位成功！", "复位失败！", "复位失败！"}));
  EXPECT_EQ(f.OperationPage.get(), page);
}

TEST_F(MainWindow, ANewConnectionReplacesThePageWithoutEndcard) {
  TForm1& f = open();
  connectManually();
  ASSERT_TRUE(f.PageControl1->selectTab(f.TabSheet2));
  ASSERT_TRUE(f.Button2->click());
  ASSERT_NE(dynamic_cast<TWirteCardFrame1*>(f.OperationPage.get()), nullptr);
  emu.clearLog();
  ASSERT_TRUE(f.PageControl1->selectTab(f.TabSheet1));
  ASSERT_TRUE(f.Button3->click());
  EXPECT_EQ(emu.log(), std::vector<std::string>{"opencomm(1,2,5000)=0"});
  EXPECT_NE(dynamic_cast<TReadCardFrame1*>(f.OperationPage.get()), nullptr);
  EXPECT_EQ(f.Panel1->children().size(), 1u);
}

// --- page switches: what the window looks like while endcard runs ---

struct EndcardSeen {
  int mode;
  ui::Frame* page;         // the window's operation page at that moment
  std::size_t panelPages;  // pages in Panel1 at that moment
};
TForm1* g_window = nullptr;
device::EndcardFn g_realEndcard = nullptr;
std::vector<EndcardSeen> g_endcards;

std::int32_t CARD_API watchingEndcard(std::int32_t mode) {
  g_endcards.push_back({mode, g_window->OperationPage.get(), g_window->Panel1->children().size()});
  return g_realEndcard(mode);
}

class PageSwitch : public MainWindow {
 protected:
  void SetUp() override {
    MainWindow::SetUp();
    open();
    g_window = form.get();
    g_realEndcard = entry::endcard;
    entry::endcard = &watchingEndcard;
    g_endcards.clear();
  }
  void TearDown() override {
    entry::endcard = g_realEndcard;
    g_window = nullptr;
    MainWindow::TearDown();
  }
};

TEST_F(PageSwitch, ReadCardTestDestroysThePageBeforeEndcard) {
  // Without a page endcard is called as well.
  form->Button1Click();
  ASSERT_EQ(g_endcards.size(), 1u);
  EXPECT_EQ(g_endcards[0].page, nullptr);
  EXPECT_EQ(g_endcards[0].panelPages, 0u);

  form->RadioGroup3->setItemIndex(0);
  connectManually();
  g_endcards.clear();
  ASSERT_TRUE(form->PageControl1->selectTab(form->TabSheet2));
  for (ui::Button* before : {form->Button1, form->Button2, form->Button1}) {
    SCOPED_TRACE(before->name());
    ASSERT_TRUE(before->click());
    g_endcards.clear();
    emu.clearLog();
    ASSERT_TRUE(form->Button1->click());
    ASSERT_EQ(g_endcards.size(), 1u);
    EXPECT_EQ(g_endcards[0].mode, 1);
    EXPECT_EQ(g_endcards[0].page, nullptr);
    EXPECT_EQ(g_endcards[0].panelPages, 0u);
    EXPECT_EQ(emu.log(), std::vector<std::string>{"endcard(1)=0"});
    EXPECT_NE(dynamic_cast<TReadCardFrame1*>(form->OperationPage.get()), nullptr);
    EXPECT_EQ(form->OperationPage->parent(), form->Panel1);
    EXPECT_EQ(form->Panel1->children().size(), 1u);
  }
}

TEST_F(PageSwitch, WriteCardTestCallsEndcardWhileTheOldPageIsStillThere) {
  // Without a page there is nothing to break off.
  form->Button2Click();
  EXPECT_TRUE(g_endcards.empty());
  EXPECT_NE(dynamic_cast<TWirteCardFrame1*>(form->OperationPage.get()), nullptr);

  connectManually();
  ASSERT_TRUE(form->PageControl1->selectTab(form->TabSheet2));
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    ui::Frame* old = form->OperationPage.get();
    g_endcards.clear();
    emu.clearLog();
    ASSERT_TRUE(form->Button2->click());
    ASSERT_EQ(g_endcards.size(), 1u);
    EXPECT_EQ(g_endcards[0].mode, 2);
    EXPECT_EQ(g_endcards[0].page, old);
    EXPECT_EQ(g_endcards[0].panelPages, 1u);
    EXPECT_EQ(emu.log(), std::vector<std::string>{"endcard(2)=0"});
    EXPECT_NE(dynamic_cast<TWirteCardFrame1*>(form->OperationPage.get()), nullptr);
    EXPECT_EQ(form->Panel1->children().size(), 1u);
  }
}

TEST_F(PageSwitch, ContinuousPagesCallEndcardWhileTheOldPageIsStillThere) {
  connectManually();
  ASSERT_TRUE(form->PageControl1->selectTab(form->TabSheet2));
  for (ui::Button* b : {form->Button4, form->Button5, form->Button6, form->Button4}) {
    SCOPED_TRACE(b->name());
    ui::Frame* old = form->OperationPage.get();
    g_endcards.clear();
    ASSERT_TRUE(b->click());
    ASSERT_EQ(g_endcards.size(), 1u);
    EXPECT_EQ(g_endcards[0].page, old);
    EXPECT_EQ(g_endcards[0].panelPages, 1u);
    EXPECT_EQ(form->Panel1->children().size(), 1u);
  }
  EXPECT_NE(dynamic_cast<TMReadCardFrame1*>(form->OperationPage.get()), nullptr);
}

// --- help pages ---

TEST_F(MainWindow, HelpTabShowsInstructionsFirstAndKeepsTheChosenPage) {
  TForm1& f = open();
  ASSERT_TRUE(f.PageControl1->selectTab(f.TabSheet3));
  ASSERT_NE(dynamic_cast<TDirectFrame1*>(f.HelpPage.get()), nullptr);
  EXPECT_EQ(f.HelpPage->parent(), f.Panel2);

  ASSERT_TRUE(f.Button10->click());
  auto* about = dynamic_cast<TAboutFrame1*>(f.HelpPage.get());
  ASSERT_NE(about, nullptr);
  const std::string original = about->Memo1->text();
  ASSERT_TRUE(about->Memo1->type("x"));
  ASSERT_TRUE(f.PageControl1->selectTab(f.TabSheet1));
  ASSERT_TRUE(f.PageControl1->selectTab(f.TabSheet3));
  EXPECT_EQ(f.HelpPage.get(), about);
  EXPECT_EQ(about->Memo1->text(), original + "x");

  // The same button again gives a fresh page.
  ASSERT_TRUE(f.Button10->click());
  about = dynamic_cast<TAboutFrame1*>(f.HelpPage.get());
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(about->Memo1->text(), original);
  EXPECT_EQ(f.Panel2->children().size(), 1u);
}

TEST_F(MainWindow, EveryHelpButtonMakesAFreshPage) {
  TForm1& f = open();
  ASSERT_TRUE(f.PageControl1->selectTab(f.TabSheet3));
  const struct {
    ui::Button* button;
    bool (*is)(ui::Frame*);
  } buttons[] = {
      {f.Button8, [](ui::Frame* p) { return dynamic_cast<TDirectFrame1*>(p) != nullptr; }},
      {f.Button9, [](ui::Frame* p) { return dynamic_cast<TDirectFrame2*>(p) != nullptr; }},
      {f.Button10, [](ui::Frame* p) { return dynamic_cast<TAboutFrame1*>(p) != nullptr; }},
  };
  for (const auto& b : buttons) {
    for (int press = 0; press < 2; ++press) {
      SCOPED_TRACE(b.button->name() + " press " + std::to_string(press));
      // A mark on the old page that a fresh one cannot have.
      f.HelpPage->setProp("seen", "1");
      ASSERT_TRUE(b.button->click());
      ASSERT_TRUE(f.HelpPage);
      EXPECT_TRUE(b.is(f.HelpPage.get()));
      EXPECT_EQ(f.HelpPage->prop("seen"), "");
      EXPECT_EQ(f.HelpPage->parent(), f.Panel2);
      EXPECT_EQ(f.Panel2->children().size(), 1u);
    }
  }
  EXPECT_TRUE(emu.log().empty());
}

// --- leaving ---

TEST_F(MainWindow, ExitClosesWithoutDeviceCallsAndEscDoesNothing) {
  TForm1& f = open();
  ui::app().setMainForm(&f);
  connectManually();
  ASSERT_TRUE(f.PageControl1->selectTab(f.TabSheet2));
  auto* page = dynamic_cast<TReadCardFrame1*>(f.OperationPage.get());
  ASSERT_NE(page, nullptr);

  ASSERT_TRUE(page->Memo2->type("a\x1b" "b"));
  EXPECT_EQ(page->Memo2->text(), "ab");
  EXPECT_EQ(page->Button1->keyPress(U'\x1b'), U'\x1b');  // passed on, not acted on
  EXPECT_FALSE(f.closed());
  EXPECT_EQ(f.PageControl1->activeSheet(), f.TabSheet2);
  EXPECT_TRUE(session.dialogs().records().empty());

  ASSERT_TRUE(f.PageControl1->selectTab(f.TabSheet1));
  ASSERT_TRUE(f.Button11->click());
  EXPECT_TRUE(f.closed());
  EXPECT_TRUE(ui::app().terminated());
  form.reset();
  EXPECT_TRUE(emu.log().empty());
}

// --- without a usable library ---

// Device actions after a failed start: the start-up message again, no call,
// and page switches without endcard.
void expectDeviceActionsCallNothing(TForm1& f, const std::string& message,
                                    ui::headless::RecordingDialogs& dialogs,
                                    const std::vector<emu::Client*>& emulators) {
  for (emu::Client* e : emulators) e->clearLog();
  dialogs.clear();
  f.Memo1->setText("kept");
  ASSERT_TRUE(f.Button3->click());
  ASSERT_TRUE(f.Button12->click());
  f.Button7Click();
  EXPECT_EQ(dialogs.texts(ui::DialogKind::Message),
            (std::vector<std::string>{message, message, message}));
  EXPECT_EQ(f.Memo1->text(), "kept");
  EXPECT_EQ(device::PortNumber, 0);

  dialogs.clear();
  f.Button2Click();
  f.Button1Click();
  f.Button2Click();
  EXPECT_NE(dynamic_cast<TWirteCardFrame1*>(f.OperationPage.get()), nullptr);
  EXPECT_TRUE(dialogs.records().empty());
  for (emu::Client* e : emulators) EXPECT_TRUE(e->log().empty());
}

TEST_F(MainWindow, UnloadableLibraryIsReportedAndTheWindowStillOpens) {
  const int before = device::DynamicLibrary::liveLoads();
  device::DynamicLibrary::setSearchFolderForTests(cardtest::variantFolder("not_a_library"));
  TForm1& f = open();
  EXPECT_EQ(messages(), std::vector<std::string>{pages::kLibraryLoadFailed});
  EXPECT_FALSE(entry::detect || entry::reset || entry::opencomm || entry::endcard);
  EXPECT_FALSE(f.LibraryHandle.loaded());
  EXPECT_EQ(device::DynamicLibrary::liveLoads(), before);
  EXPECT_EQ(f.PageControl1->activeSheet(), f.TabSheet1);
  EXPECT_FALSE(operationTabShown());

  // Even with the library back in place the window makes no second attempt.
  device::DynamicLibrary::setSearchFolderForTests("");
  expectDeviceActionsCallNothing(f, pages::kLibraryLoadFailed, session.dialogs(), {&emu});
}

class MissingEntryPoint : public MainWindow, public ::testing::WithParamInterface<const char*> {};

TEST_P(MissingEntryPoint, IsReportedTheLoadIsGivenBackAndNothingIsCalled) {
  const std::string folder = cardtest::variantFolder(GetParam());
  emu::Client variant(folder + "/40x.dll");
  ASSERT_TRUE(variant.controllable());
  variant.resetState();
  const int before = device::DynamicLibrary::liveLoads();
  device::DynamicLibrary::setSearchFolderForTests(folder);
  TForm1& f = open();
  EXPECT_EQ(messages(), std::vector<std::string>{pages::kEntryPointMissing});
  EXPECT_FALSE(entry::detect || entry::reset || entry::opencomm || entry::endcard);
  EXPECT_FALSE(f.LibraryHandle.loaded());
  EXPECT_EQ(device::DynamicLibrary::liveLoads(), before);
  EXPECT_FALSE(operationTabShown());

  device::DynamicLibrary::setSearchFolderForTests("");
  expectDeviceActionsCallNothing(f, pages::kEntryPointMissing, session.dialogs(),
                                 {&emu, &variant});
}

INSTANTIATE_TEST_SUITE_P(Variants, MissingEntryPoint,
                         ::testing::Values("no_detect", "no_reset", "no_opencomm", "no_endcard",
                                           "no_detect_reset", "no_detect_reset_opencomm",
                                           "no_window_entries"));

TEST(MainWindowWithoutLibrary, MissingLibraryIsReportedBeforeTheWindowOpens) {
  // Nothing else may hold a copy, or the system would hand that one out.
  // CTest runs every test in a process of its own; a run of the whole binary
  // has loads of earlier tests still held by process-wide handles.
  if (device::DynamicLibrary::isLoadedInProcess("40x.dll"))
    GTEST_SKIP() << "the library is already loaded in this process: run this test on its own";
  ui::headless::Session session;
  device::DynamicLibrary::setSearchFolderForTests(cardtest::variantFolder("empty"));
  TForm1 f;
  device::DynamicLibrary::setSearchFolderForTests("");
  EXPECT_EQ(session.dialogs().texts(ui::DialogKind::Message),
            std::vector<std::string>{pages::kLibraryLoadFailed});
  EXPECT_FALSE(f.shown());
  f.showForm();
  EXPECT_EQ(f.PageControl1->activeSheet(), f.TabSheet1);
  EXPECT_EQ(f.PageControl1->tabRow(), (std::vector<ui::TabSheet*>{f.TabSheet1, f.TabSheet3}));
  EXPECT_EQ(entry::opencomm, nullptr);
}

}  // namespace
