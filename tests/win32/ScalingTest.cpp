// The windows at the display scaling of the Wine prefix they run in
// (scripts/wine-tests runs this suite at 96, 120, 144 and 192 DPI): every
// window where its 96-DPI description puts it, times the scale, and every
// caption whole in the window's own font.
#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>

#include "EmulatorClient.h"
#include "Operator.h"
#include "MainFormFixture.h"
#include "app/MainForm.h"
#include "pages/Mreadcardframe01.h"
#include "ui/Application.h"
#include "ui/win32/Dpi.h"
#include "ui/win32/Text.h"
#include "ui/win32/Win32Backend.h"

namespace {

using namespace std::chrono_literals;
using ui::Kind;
using ui::win32::handleOf;

int at(int value, int dpi) { return static_cast<int>(std::lround(value * dpi / 96.0)); }

int fontHeight(HWND hwnd) {
  LOGFONTW lf{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0)), sizeof lf, &lf);
  return -lf.lfHeight;
}

// The caption's extent in the window's own font (captions are one line).
SIZE extentOf(HWND hwnd) {
  const std::wstring text = ui::win32::widen(op::text(hwnd));
  HDC dc = GetDC(hwnd);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0)));
  SIZE s{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &s);
  SelectObject(dc, old);
  ReleaseDC(hwnd, dc);
  return s;
}

class Scaling : public ::testing::Test, protected WithMainForm {
 protected:
  void SetUp() override {
    showMainForm();
    ASSERT_TRUE(emulator.controllable());
    emulator.resetState();
    dpi = ui::win32::dpiOf(top);
    op::BoxAnswerer answerer(IDOK);
    op::press(op::findByText(top, "自动连机", "Button"));
    ASSERT_TRUE(answerer.waitFor(1));
  }
  void TearDown() override {
    closeMainForm();
  }
  void open(const char* tab, const char* button, std::unique_ptr<ui::Frame>& slot) {
    const auto row = op::tabTexts(handleOf(*form->PageControl1));
    op::clickTab(handleOf(*form->PageControl1),
                 static_cast<int>(std::find(row.begin(), row.end(), tab) - row.begin()));
    op::press(op::findByText(top, button, "Button"));
    op::pump(200ms);
    ASSERT_TRUE(op::pumpUntil([&] { return slot != nullptr; })) << button;
  }

  // Every window of the tree where its description puts it at this DPI (a
  // pixel either way for rounding; the tab control places its sheets), and
  // every caption as wide as its room at most, and as high where it has a
  // line's room (some described check boxes are lower than their text).
  void expectScaledTree(const ui::Control& parent, const std::string& where) {
    const int box = ui::win32::metricAt(SM_CXMENUCHECK, dpi) + at(4, dpi);
    for (const ui::Control* c : parent.children()) {
      HWND h = handleOf(*c);
      if (!h) continue;
      const std::string what = where + "/" + c->name();
      const ui::Rect& b = c->bounds();
      const op::Place p = op::placeOf(h);
      if (c->kind() != Kind::TabSheet) {
        EXPECT_TRUE(std::abs(p.left - at(b.left, dpi)) <= 1 && std::abs(p.top - at(b.top, dpi)) <= 1 &&
                    std::abs(p.width - at(b.width, dpi)) <= 1 && std::abs(p.height - at(b.height, dpi)) <= 1)
            << what << " at " << p.left << "," << p.top << " " << p.width << "x" << p.height;
        ++windows;
      }
      const Kind k = c->kind();
      const bool text = k == Kind::Label || k == Kind::Button,
                 marked = k == Kind::CheckBox || k == Kind::RadioButton;
      const std::vector<HWND> captions = text || marked          ? std::vector<HWND>{h}
                                         : k == Kind::RadioGroup ? op::children(h)
                                                                 : std::vector<HWND>{};
      for (HWND window : captions) {
        RECT room;
        GetClientRect(window, &room);
        const SIZE e = extentOf(window);
        EXPECT_TRUE(e.cx <= room.right - (text ? 0 : box) && (!text || e.cy <= room.bottom))
            << what << " \"" << op::text(window) << "\" " << e.cx << "x" << e.cy << " in " << room.right
            << "x" << room.bottom;
        ++texts;
      }
      expectScaledTree(*c, what);
    }
  }

  emu::Client emulator;
  int dpi = 96;
  int windows = 0, texts = 0;
};

TEST_F(Scaling, TheMainWindowAndEveryPageAreTheDescribedLayoutTimesTheScale) {
  EXPECT_NEAR(op::clientSize(top).cx, at(680, dpi), 1);
  EXPECT_NEAR(op::clientSize(top).cy, at(435, dpi), 1);
  EXPECT_EQ(fontHeight(handleOf(*form->Button3)), MulDiv(8, dpi, 72));  // 8 pt at this DPI
  struct Page {
    const char *tab, *button, *shot;
    std::unique_ptr<ui::Frame>* slot;
  };
  const Page pages[] = {
      {"操作", "读卡测试", "read", &form->OperationPage},
      {"操作", "写卡测试", "write", &form->OperationPage},
      {"操作", "连续读卡", "reads", &form->OperationPage},
      {"操作", "连续写卡", "writes", &form->OperationPage},
      {"操作", "写文本文件", "text", &form->OperationPage},
      {"说明", "操作说明", "instructions", &form->HelpPage},
      {"说明", "函数及调用", "functions", &form->HelpPage},
      {"说明", "关于", "about", &form->HelpPage},
      {"系统初始化", "", "main", nullptr},
  };
  for (const Page& page : pages) {
    SCOPED_TRACE(page.shot);
    if (page.slot)
      open(page.tab, page.button, *page.slot);
    else
      op::clickTab(handleOf(*form->PageControl1), 0);
    expectScaledTree(*form, "main");
    op::screenshot(top, std::string(page.shot) + "-" + std::to_string(dpi) + "dpi");
  }
  // Enough was looked at to mean something.
  EXPECT_GT(windows, 300);
  EXPECT_GT(texts, 200);
}

// Scaled up on a small screen, the described place would put the window's
// lower part under the task bar or off the screen.
TEST_F(Scaling, TheMainWindowStaysOnTheWorkAreaAndWhereDescribedWhenItFits) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  ASSERT_TRUE(GetMonitorInfoW(MonitorFromWindow(top, MONITOR_DEFAULTTONEAREST), &info));
  const RECT work = info.rcWork;
  RECT outer;
  GetWindowRect(top, &outer);
  const LONG width = outer.right - outer.left, height = outer.bottom - outer.top;
  const bool fits = 226 + width <= work.right && 168 + height <= work.bottom;
  struct Case {
    int left, top;
    bool described;
  };
  const Case cases[] = {{226, 168, fits},
                        {static_cast<int>(work.right) - 100, static_cast<int>(work.bottom) - 50, false},
                        {5000, 5000, false},
                        {static_cast<int>(work.right) - static_cast<int>(width), 168, 168 + height <= work.bottom},
                        {-300, -200, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.left << "," << c.top);
    form->setBounds({c.left, c.top, 680, 435});
    op::pump(50ms);
    GetWindowRect(top, &outer);
    EXPECT_EQ(outer.right - outer.left, width);
    EXPECT_EQ(outer.bottom - outer.top, height);
    EXPECT_TRUE(outer.left >= work.left && outer.top >= work.top && outer.right <= work.right &&
                outer.bottom <= work.bottom)
        << outer.left << "," << outer.top << " " << width << "x" << height;
    if (c.described) {
      EXPECT_EQ(outer.left, c.left);
      EXPECT_EQ(outer.top, c.top);
    }
  }
}

TEST_F(Scaling, AMoveToAScreenOfAnotherScalingLaysTheWindowOutAnewDuringARun) {
  open("操作", "连续读卡", form->OperationPage);
  auto* page = dynamic_cast<TMReadCardFrame1*>(form->OperationPage.get());
  ASSERT_NE(page, nullptr);
  // A run that waits for a card through all of it.
  emulator.setBlocking("readcard", 1);
  SetFocus(handleOf(*page->Edit1));
  SendMessageW(handleOf(*page->Edit1), EM_SETSEL, 0, -1);
  op::type(handleOf(*page->Edit1), "5");
  op::press(handleOf(*page->Button1));
  ASSERT_TRUE(op::pumpUntil([&] { return emulator.pendingCalls() == 1; }));
  // A larger and a smaller scaling, then back, as Windows announces a move
  // (the window must fit the desktop: Wine keeps it within).
  for (const int to : {dpi + dpi / 4, dpi - dpi / 4, dpi}) {
    SCOPED_TRACE(to);
    RECT outer;
    GetWindowRect(top, &outer);
    RECT suggested{outer.left + 10, outer.top + 10, outer.left + 10 + at(686, to),
                   outer.top + 10 + at(461, to)};
    SendMessageW(top, WM_DPICHANGED, MAKEWPARAM(to, to), reinterpret_cast<LPARAM>(&suggested));
    op::pump(100ms);
    dpi = to;
    EXPECT_NEAR(op::clientSize(top).cx, at(680, to), 1);
    EXPECT_NEAR(op::clientSize(top).cy, at(435, to), 1);
    GetWindowRect(top, &outer);
    EXPECT_EQ(outer.left, suggested.left);
    EXPECT_EQ(outer.top, suggested.top);
    expectScaledTree(*form, "main");
    EXPECT_EQ(fontHeight(handleOf(*page->Memo1)), MulDiv(8, to, 72));  // the log measures in it
    EXPECT_TRUE(page->running());
  }
  // The run goes on in the new layout and stops as ever.
  op::press(handleOf(*page->Button3));
  EXPECT_TRUE(op::pumpUntil([&] { return !page->running(); }, 3000ms));
  emulator.setBlocking("readcard", 0);
  EXPECT_FALSE(op::boxOpen());
}

}  // namespace
