#pragma once
// Base of every component. A component holds its own state; a backend may give
// it a peer (a real control) that shows that state. Without a peer the state is
// all there is, and the operator entry points (click(), type() ...) are what a
// peer would call.
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace ui {

enum class Kind {
  Form,
  Frame,
  TabControl,
  TabSheet,
  Panel,
  Image,
  Label,
  Button,
  Memo,
  Edit,
  UpDown,
  CheckBox,
  RadioButton,
  RadioGroup,
  GroupBox,
};

const char* kindName(Kind kind);

struct Rect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool operator==(const Rect&) const = default;
};

struct Font {
  std::string name;     // empty: the parent's font
  int pointSize = 0;    // used when pixelHeight is 0
  int pixelHeight = 0;  // character height in pixels
  bool operator==(const Font&) const = default;
};

// What changed on a component, for its peer.
enum class Prop {
  Caption,
  Enabled,
  Visible,
  Bounds,
  Font,
  ReadOnly,
  Checked,
  ItemIndex,
  Items,
  TabVisible,
  ActiveSheet,
  Position,
  Picture,
};

class Control;

// The real control of a component. Text that the operator types lives in the
// peer; everything else is pushed to it through changed().
class Peer {
 public:
  virtual ~Peer() = default;
  virtual void changed(Prop) {}
  virtual std::string text() const { return {}; }
  virtual void setText(const std::string&) {}
  // Whether there is no text, without reading it all (a long log).
  virtual bool textEmpty() const { return text().empty(); }
  // Appends at the end without reading the whole text back.
  virtual void appendText(const std::string& text) { setText(this->text() + text); }
  virtual void setFocus() {}
  virtual int firstVisibleLine() const { return 0; }
  virtual void scrollToTop() {}
};

class Control {
 public:
  Control(Kind kind, std::string name, Control* parent);
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  Kind kind() const { return kind_; }
  const std::string& name() const { return name_; }

  Control* parent() const { return parent_; }
  // Moves the component (and its children) under another parent; a component
  // placed under a shown parent gets its peers.
  void setParent(Control* parent);
  const std::vector<Control*>& children() const { return children_; }
  Control* findChild(const std::string& name) const;  // whole subtree

  // Caption of buttons, labels, boxes, forms; text of edits and memos.
  virtual std::string caption() const { return caption_; }
  virtual void setCaption(const std::string& caption);

  bool enabled() const { return enabled_; }
  void setEnabled(bool enabled);
  bool visible() const { return visible_; }
  void setVisible(bool visible);
  void show() { setVisible(true); }
  void hide() { setVisible(false); }

  // As Windows has it: a control inside a hidden container is not on screen,
  // one inside a disabled container takes no input.
  bool showing() const;
  bool enabledInChain() const;
  bool operable() const { return showing() && enabledInChain(); }

  const Rect& bounds() const { return bounds_; }
  void setBounds(const Rect& r);

  const Font& font() const { return font_; }
  void setFont(const Font& font);
  Font effectiveFont() const;

  // Appearance settings that only a peer interprets (border, colour, tab order).
  std::string prop(const std::string& key) const;
  void setProp(const std::string& key, const std::string& value);
  const std::map<std::string, std::string>& props() const { return props_; }

  void setFocus();
  bool focused() const;

  // The operator's key press: the form's preview first, then the control's
  // own handler. Returns the character that remains (0 when discarded).
  char32_t keyPress(char32_t key);

  std::function<void()> onClick;
  std::function<void(char32_t& key)> onKeyPress;
  std::function<void()> onShow;

  Peer* peer() const { return peer_.get(); }
  void realizeTree();
  void unrealizeTree();

  class Form* form();

 protected:
  // Runs onClick as a handler does; exceptions reach the caller.
  void fireClick();
  void notify(Prop prop);
  // Whether this child is on screen inside this container (tab sheets).
  virtual bool childShowing(const Control*) const { return true; }
  virtual void peerCreated() {}

  std::string caption_;

 private:
  Kind kind_;
  std::string name_;
  Control* parent_ = nullptr;
  std::vector<Control*> children_;
  bool enabled_ = true;
  bool visible_ = true;
  Rect bounds_;
  Font font_;
  std::map<std::string, std::string> props_;
  std::unique_ptr<Peer> peer_;
};

}  // namespace ui
