#pragma once
// Forms and frames, built from a form description: a table with one row per
// component, read like the control tables of the pages.
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "ui/Controls.h"

namespace ui {

// One component of a form description.
//   parent:  name of the containing component; "" for the form or frame itself
//   caption: caption, or initial text of an edit or memo
//   props:   further settings, "key=value" or "flag", separated by ';':
//            hidden, disabled, readonly, checked, vscroll, hscroll,
//            items=a|b|c, columns=N, index=N, alignment=left,
//            font=NAME/12px or font=NAME/8pt, associate=EDIT, min=N, max=N,
//            position=N, picture=NAME, notab (tab sheet not in the row),
//            active (the tab control's active sheet); any other key is kept
//            for the peer (border, flat, color, taborder ...).
struct FormRow {
  Kind kind;
  const char* name;
  const char* parent;
  int left, top, width, height;
  const char* caption;
  const char* props;
};

class BuildError : public std::logic_error {
 public:
  using std::logic_error::logic_error;
};

// Owner of the components that its description created.
class Container : public Control {
 public:
  using Control::Control;
  ~Container() override;

  // Creates the components of the table (parents before children) and, for a
  // form or a container placed on a parent that has its peer, their peers.
  void build(std::span<const FormRow> rows);

  template <class T>
  T* find(const std::string& name) const {
    Control* c = findChild(name);
    T* t = dynamic_cast<T*>(c);
    if (!t) throw BuildError("no component '" + name + "' of the asked kind in '" + this->name() + "'");
    return t;
  }

 protected:
  // Destroys the built components now (children first).
  void destroyComponents();

 private:
  std::vector<std::unique_ptr<Control>> components_;
};

// A page: a panel-like container that its owner places into a host panel.
class Frame : public Container {
 public:
  explicit Frame(std::string name) : Container(Kind::Frame, std::move(name), nullptr) {}
};

class Form : public Container {
 public:
  explicit Form(std::string name) : Container(Kind::Form, std::move(name), nullptr) {}
  ~Form() override;

  // The client area; left and top are the screen position of the window.
  int clientWidth() const { return bounds().width; }
  int clientHeight() const { return bounds().height; }

  // The form sees every key press before its controls.
  bool keyPreview() const { return keyPreview_; }
  void setKeyPreview(bool on) { keyPreview_ = on; }

  bool shown() const { return shown_; }
  void showForm();
  // Closes the window; closing the main form ends the program. Asked while
  // a handler waits in a dialog or a serving wait (another program's
  // WM_CLOSE reaches the window through that loop), the close follows once
  // no handler runs any more; the main form's close bars library calls at
  // once.
  void close();
  bool closed() const { return closed_; }

  std::function<void()> onClose;

  Control* focusedControl() const { return focused_; }
  void setFocusedControl(Control* c) { focused_ = c; }

 private:
  bool keyPreview_ = false;
  bool shown_ = false;
  bool closed_ = false;
  bool closeDeferred_ = false;
  // Lets a deferred close find out that the form has gone meanwhile.
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
  Control* focused_ = nullptr;
};

}  // namespace ui
