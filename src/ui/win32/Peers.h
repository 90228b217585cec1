#pragma once
// Native peers: one child window (or the top-level window) per component.
// Every window of a peer is subclassed with one procedure that hands the
// notifications of child windows (WM_COMMAND, WM_NOTIFY, WM_VSCROLL,
// WM_CTLCOLOR*) to the child's own peer, whatever window they reach.
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "ui/Control.h"
#include "ui/Controls.h"

namespace ui::win32 {

class Win32Backend;

// The generic window class of containers, images and forms.
extern const wchar_t* const kWindowClass;
void registerWindowClass();

// Keyboard focus in the tab order of the components (Tab and Shift+Tab).
void focusFirstControl(HWND form);
bool moveFocus(HWND form, bool backwards);

class WinPeer : public Peer {
 public:
  WinPeer(Win32Backend& backend, Control& control);
  ~WinPeer() override;

  HWND hwnd() const { return hwnd_; }
  Control& control() const { return control_; }
  static WinPeer* fromHwnd(HWND hwnd);

  void changed(Prop prop) override;
  void setFocus() override;

  // Notifications of this peer's own window, forwarded by the parent window.
  // Each returns true when it handled the notification. The component may be
  // gone when they return: callers touch nothing afterwards.
  virtual bool onCommand(UINT) { return false; }
  virtual bool onNotify(NMHDR*, LRESULT&) { return false; }
  virtual bool onScroll() { return false; }
  // The brush for this window's WM_CTLCOLOR* (nullptr: the system's).
  virtual HBRUSH ctlColor(HDC dc, UINT msg);

  // The window that children of this component are created in.
  virtual HWND containerHwnd() const { return hwnd_; }
  // Where a child of this component with the given bounds goes (sheets fill
  // the tab control's display area).
  virtual RECT childRect(const Control& child) const;

  // The font of this window and of every child that inherits it.
  void applyFontTree();
  // The DPI this component is laid out at: its form's.
  int dpi() const;
  // Places this window and everything in it anew at the form's DPI.
  void rescaleTree();

 protected:
  // Creates the window under the parent's peer and subclasses it.
  void create(const wchar_t* windowClass, DWORD style, DWORD exStyle);
  // Takes over an existing window (the form's).
  void attach(HWND hwnd);
  virtual void applyFont();
  // What a new DPI changes beyond place and font.
  virtual void rescale() {}
  virtual bool shouldShow() const;
  // Messages of this peer's own window; set handled to keep the default away.
  virtual LRESULT handle(UINT msg, WPARAM wp, LPARAM lp, bool& handled);
  void fillBackground(HDC dc);
  // The font of this component as the system's object.
  HFONT hfont() const;

  static LRESULT CALLBACK subclassProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);

  Win32Backend& backend_;
  Control& control_;
  HWND hwnd_ = nullptr;
};

// Background colour of a component as its peer paints it.
COLORREF backgroundOf(const Control& control);

class FormPeer : public WinPeer {
 public:
  FormPeer(Win32Backend& backend, Control& control);
  void changed(Prop prop) override;
  int formDpi() const { return dpi_; }

 protected:
  bool shouldShow() const override;
  LRESULT handle(UINT msg, WPARAM wp, LPARAM lp, bool& handled) override;

 private:
  // Sizes the window around the described client area; `at` is where it
  // goes (the described place when null).
  void place(const POINT* at = nullptr);
  int dpi_ = 96;
};

// Frames, panels and tab sheets.
class ContainerPeer : public WinPeer {
 public:
  ContainerPeer(Win32Backend& backend, Control& control);
  void changed(Prop prop) override;

 protected:
  bool shouldShow() const override;
  LRESULT handle(UINT msg, WPARAM wp, LPARAM lp, bool& handled) override;
};

class ImagePeer : public WinPeer {
 public:
  ImagePeer(Win32Backend& backend, Control& control);
  ~ImagePeer() override;
  void changed(Prop prop) override;

 protected:
  LRESULT handle(UINT msg, WPARAM wp, LPARAM lp, bool& handled) override;
  void rescale() override;

 private:
  void load();
  HBITMAP bitmap_ = nullptr;
  int factor_ = 1;  // the bitmap's size over the described one
};

class TabPeer : public WinPeer {
 public:
  TabPeer(Win32Backend& backend, Control& control);
  void changed(Prop prop) override;
  bool onNotify(NMHDR* nm, LRESULT& result) override;
  RECT childRect(const Control& child) const override;
  // Puts the tab row in line with the component: the sheets whose tab is
  // visible, in sheet order, and the active one selected.
  void syncRow();

 private:
  void rescale() override { syncRow(); }
  void showActive();
  TabControl& tabs() const { return static_cast<TabControl&>(control_); }
};

class SimplePeer : public WinPeer {
 public:
  SimplePeer(Win32Backend& backend, Control& control, const wchar_t* windowClass, DWORD style,
             DWORD exStyle);
};

class ButtonPeer : public WinPeer {
 public:
  ButtonPeer(Win32Backend& backend, Control& control);
  bool onCommand(UINT code) override;
};

class CheckPeer : public WinPeer {
 public:
  CheckPeer(Win32Backend& backend, Control& control);
  void changed(Prop prop) override;
  bool onCommand(UINT code) override;

 private:
  bool checked() const;
};

class RadioGroupPeer : public WinPeer {
 public:
  RadioGroupPeer(Win32Backend& backend, Control& control);
  ~RadioGroupPeer() override;
  void changed(Prop prop) override;
  const std::vector<HWND>& items() const { return items_; }

 protected:
  void applyFont() override;
  void rescale() override { arrange(); }
  LRESULT handle(UINT msg, WPARAM wp, LPARAM lp, bool& handled) override;

 private:
  void rebuild();
  void arrange();
  void showChecks();
  void enableItems();
  RadioGroup& group() const { return static_cast<RadioGroup&>(control_); }
  std::vector<HWND> items_;
};

// Edits and memos. What the operator types lives in the window.
class TextPeer : public WinPeer {
 public:
  TextPeer(Win32Backend& backend, Control& control);
  void changed(Prop prop) override;
  HBRUSH ctlColor(HDC dc, UINT msg) override;

  std::string text() const override;
  void setText(const std::string& text) override;
  bool textEmpty() const override;
  void appendText(const std::string& text) override;
  int firstVisibleLine() const override;
  void scrollToTop() override;
  bool onCommand(UINT code) override;

 protected:
  LRESULT handle(UINT msg, WPARAM wp, LPARAM lp, bool& handled) override;

 private:
  bool multiLine() const { return control_.kind() == Kind::Memo; }
  void insertAtEnd(const std::wstring& piece);
  // The text as last read. A batch reads its fields for every card, and
  // under Wine each message to a subclassed control costs server round
  // trips; the copy holds until a message that may change the text.
  mutable std::string cache_;
  mutable bool cached_ = false;
};

class UpDownPeer : public WinPeer {
 public:
  UpDownPeer(Win32Backend& backend, Control& control);
  void changed(Prop prop) override;
  bool onScroll() override;
  // Attaches the edit's window once both windows exist.
  void attachBuddy();

 private:
  UpDown& upDown() const { return static_cast<UpDown&>(control_); }
};

}  // namespace ui::win32
