#pragma once
// What an operator does with the windows, done with window messages on the
// user-interface thread: press, type, pick a tab, answer a message box, and
// look (texts, places, screenshots).
#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace op {

std::string text(HWND hwnd);
std::string className(HWND hwnd);
// The window's rectangle in its parent's client coordinates (left, top,
// width, height).
struct Place {
  int left, top, width, height;
  bool operator==(const Place&) const = default;
};
Place placeOf(HWND hwnd);
SIZE clientSize(HWND hwnd);

// Lets the program run (messages, synchronize requests) for a while, or
// until the condition holds.
void pump(std::chrono::milliseconds time);
bool pumpUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds limit = std::chrono::milliseconds(5000));

// Presses a button as a click does (posted, so that a modal box it opens
// does not block the caller).
void press(HWND button);
// Types characters into the focused window as the keyboard does.
void type(HWND hwnd, const std::string& utf8);
// Presses and releases a key (virtual-key code) on the focused window:
// posted, so that it takes the program's own message loop, dialog keys and
// translation into characters included.
void key(HWND hwnd, UINT vk);
// Clicks the tab at this place of the row.
void clickTab(HWND tabs, int index);
std::vector<std::string> tabTexts(HWND tabs);
// Clicks the upper (up) or lower (down) arrow of an up-down control.
void clickArrow(HWND upDown, bool up);

// Direct children in creation order.
std::vector<HWND> children(HWND parent);
// The first descendant with this text (and class, when given).
HWND findByText(HWND parent, const std::string& text, const char* cls = nullptr);

// A message box as the operator sees it.
struct Box {
  std::string caption;
  std::string text;
  HWND owner = nullptr;
  bool hasIcon = false;
  std::vector<std::string> buttons;
};

// Reads a message box (of this program or another one).
Box readBox(HWND box);

// Answers the message boxes that open while it exists: records each one,
// waits until ready() holds and then presses the button with the given id
// (IDOK, IDCANCEL) or, for 0, closes the box from its title bar.
class BoxAnswerer {
 public:
  explicit BoxAnswerer(int button = IDOK, std::function<bool()> ready = {});
  // Answers each box with the button choose() picks for it, 0 closing it
  // from its title bar, kNotYet leaving it open for now. One answerer for a
  // run of boxes: a box may open before the test gets to a second answerer.
  static constexpr int kNotYet = -1;
  explicit BoxAnswerer(std::function<int(const Box&)> choose);
  ~BoxAnswerer();
  BoxAnswerer(const BoxAnswerer&) = delete;
  BoxAnswerer& operator=(const BoxAnswerer&) = delete;

  const std::vector<Box>& boxes() const { return boxes_; }
  // Pumps until this many boxes have been answered and closed.
  bool waitFor(std::size_t count, std::chrono::milliseconds limit = std::chrono::milliseconds(8000));

 private:
  static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD);
  void check();
  std::function<int(const Box&)> choose_;
  std::vector<Box> boxes_;
  std::vector<HWND> answered_;
  UINT_PTR timer_ = 0;
};

// Puts text on the clipboard as another program's copy does; false when the
// clipboard could not be opened.
bool setClipboardText(const std::string& utf8);

// Whether a message box of this thread is open.
bool boxOpen();

// Saves what the window shows (client area) as a BMP file named after the
// picture into the screenshot folder; returns the file's path.
std::string screenshot(HWND window, const std::string& name);

}  // namespace op
