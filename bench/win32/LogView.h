#pragma once
// A log control of our own, to measure beside the native edit: the text in
// one buffer with an index of line starts, only the visible lines painted,
// a scroll bar over the line count. Appends wait 50 ms as in the edit's peer.
#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

#include "ui/win32/Peers.h"

namespace bench {

class LogPeer : public ui::win32::WinPeer {
 public:
  LogPeer(ui::win32::Win32Backend& backend, ui::Control& control);
  ~LogPeer() override;

  std::string text() const override;
  void setText(const std::string& text) override;
  bool textEmpty() const override;
  void appendText(const std::string& text) override;
  int firstVisibleLine() const override;
  void scrollToTop() override;
  void changed(ui::Prop prop) override;

 protected:
  LRESULT handle(UINT msg, WPARAM wp, LPARAM lp, bool& handled) override;

 private:
  void flush() const;
  void index(std::size_t from) const;
  void layout() const;
  void paint();
  void scrollTo(long line) const;
  int rows() const;
  long lineCount() const { return static_cast<long>(starts_.size()); }

  // Mutable: reading the text brings waiting appends in first, as the edit's peer does.
  mutable std::wstring text_;
  mutable std::wstring pending_;
  mutable std::vector<std::size_t> starts_{0};
  mutable long top_ = 0;
  HFONT font_ = nullptr;
  int lineHeight_ = 13;
};

}  // namespace bench
