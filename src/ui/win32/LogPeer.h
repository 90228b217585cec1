#pragma once
// The control of the batch logs. The system's multi-line edit lays out and
// repaints more of its text with every append, so a long shift slows it
// down card by card. This one keeps the text in one buffer with an index of
// its rows: an append scans and measures only the new text, painting covers
// only the rows in view. What an operator does with a log stays: scroll,
// select with mouse and keys, copy, select all, type, cut, paste, delete.
#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

#include "ui/win32/GrowingText.h"
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
  using Pos = std::size_t;

  // Text and rows. Const where the waiting appends only come in: they
  // already count as the text.
  void flush() const;
  void dropPending();
  void replace(Pos from, Pos to, const std::wstring& with);
  void rewrapAll() const;
  void wrapLines(Pos from, Pos to, std::vector<Pos>& out) const;
  void wrapLine(HDC dc, Pos begin, Pos end, std::vector<Pos>& out) const;
  std::size_t rowOf(Pos pos) const;
  Pos rowBegin(std::size_t row) const { return rows_[row]; }
  Pos rowEnd(std::size_t row) const;  // before the line break
  long rowCount() const { return static_cast<long>(rows_.size()); }
  int textWidth(HDC dc, Pos from, Pos to) const;
  int availableWidth() const;

  // View.
  int visibleRows() const;
  void scrollTo(long row) const;
  void scrollToCaret();
  void updateScrollBar() const;
  void placeCaret() const;
  void paint();
  Pos hitTest(int x, int y) const;

  // Caret and selection.
  Pos selStart() const { return std::min(anchor_, caret_); }
  Pos selEnd() const { return std::max(anchor_, caret_); }
  void moveCaret(Pos to, bool extend);
  Pos previous(Pos pos) const;
  Pos next(Pos pos) const;
  Pos wordStart(Pos pos) const;
  Pos wordEnd(Pos pos) const;
  void selectWordAt(Pos pos);

  // Operator's commands.
  bool editable() const;
  void keyDown(WPARAM key);
  void typed(char32_t ch);
  void insert(const std::wstring& text);
  void eraseSelection();
  void copy() const;
  void cut();
  void paste();
  void contextMenu(LPARAM at);

  mutable GrowingText text_;
  mutable std::wstring pending_;
  // Start of every row as shown (a long line takes several); always one.
  mutable std::vector<Pos> rows_{0};
  mutable long top_ = 0;
  mutable Pos caret_ = 0;
  mutable Pos anchor_ = 0;
  int goalX_ = -1;  // where Up and Down aim, kept across short rows
  bool dragging_ = false;
  bool readOnly_ = false;
  HFONT font_ = nullptr;
  int lineHeight_ = 13;
  int aveCharWidth_ = 6;
};

}  // namespace ui::win32
