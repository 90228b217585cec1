#pragma once
// The control of the batch logs. The system's multi-line edit lays out and
// repaints more of its text with every append, so a long shift slows it
// down card by card. This one shows a ui::LogText, which keeps the text in
// one buffer with an index of its rows: an append scans and measures only
// the new text, painting covers only the rows in view. The window's part is
// the view: painting, scroll bar, mouse, keys, clipboard, context menu,
// timer and the edit's messages; text, rows, caret and editing are LogText's.
#include <windows.h>

#include <string>

#include "ui/LogText.h"
#include "ui/win32/LogMeasure.h"
#include "ui/win32/Peers.h"

namespace ui::win32 {

class LogPeer : public WinPeer {
 public:
  LogPeer(Win32Backend& backend, Control& control);
  ~LogPeer() override;

  std::string text() const override;
  void setText(const std::string& text) override;
  bool textEmpty() const override;
  void appendText(const std::string& text) override;
  int firstVisibleLine() const override;
  void scrollToTop() override;
  void changed(Prop prop) override;

 protected:
  LRESULT handle(UINT msg, WPARAM wp, LPARAM lp, bool& handled) override;

 private:
  using Pos = LogText::Pos;

  // Brings the waiting appends in and shows them. Const: they already count
  // as the text.
  void flush() const;
  // Width and rows in view from the window's size and font.
  void layout() const;
  int availableWidth() const;
  int visibleRows() const;

  // View.
  void refresh() const;  // after the caret, the selection or the text changed
  void updateScrollBar() const;
  void placeCaret() const;
  void paint();
  Pos hitTest(int x, int y) const;

  // Operator's commands.
  bool editable() const;
  void keyDown(WPARAM key);
  void typed(char32_t ch);
  void copy() const;
  void cut();
  void paste();
  void contextMenu(LPARAM at);

  GdiMeasure measure_;
  mutable LogText text_;
  bool dragging_ = false;
  bool readOnly_ = false;
  HFONT font_ = nullptr;
};

}  // namespace ui::win32
