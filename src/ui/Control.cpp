#include "ui/Control.h"

#include <algorithm>

#include "ui/Application.h"
#include "ui/Form.h"

namespace ui {

const char* kindName(Kind kind) {
  switch (kind) {
    case Kind::Form: return "form";
    case Kind::Frame: return "frame";
    case Kind::TabControl: return "tab control";
    case Kind::TabSheet: return "tab sheet";
    case Kind::Panel: return "panel";
    case Kind::Image: return "image";
    case Kind::Label: return "label";
    case Kind::Button: return "button";
    case Kind::Memo: return "memo";
    case Kind::Edit: return "edit";
    case Kind::UpDown: return "up-down";
    case Kind::CheckBox: return "check box";
    case Kind::RadioButton: return "radio button";
    case Kind::RadioGroup: return "radio group";
    case Kind::GroupBox: return "group box";
  }
  return "?";
}

Control::Control(Kind kind, std::string name, Control* parent)
    : kind_(kind), name_(std::move(name)) {
  if (parent) {
    parent_ = parent;
    parent->children_.push_back(this);
  }
}

Control::~Control() {
  if (kind_ != Kind::Form) {
    Form* f = form();
    if (f && f->focusedControl() == this) f->setFocusedControl(nullptr);
  }
  // Children that somebody else owns (a page in a host panel) outlive us
  // without a parent and without their peers.
  for (Control* child : std::vector<Control*>(children_)) {
    child->unrealizeTree();
    child->parent_ = nullptr;
  }
  children_.clear();
  peer_.reset();
  if (parent_) {
    auto& siblings = parent_->children_;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
  }
}

void Control::setParent(Control* parent) {
  if (parent == parent_) return;
  unrealizeTree();
  if (parent_) {
    auto& siblings = parent_->children_;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), this), siblings.end());
  }
  parent_ = parent;
  if (parent_) {
    parent_->children_.push_back(this);
    if (parent_->peer_) realizeTree();
  }
}

Control* Control::findChild(const std::string& name) const {
  for (Control* child : children_) {
    if (child->name_ == name) return child;
    if (Control* found = child->findChild(name)) return found;
  }
  return nullptr;
}

void Control::setCaption(const std::string& caption) {
  if (caption == caption_) return;
  caption_ = caption;
  notify(Prop::Caption);
}

void Control::setEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  notify(Prop::Enabled);
}

void Control::setVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  notify(Prop::Visible);
}

bool Control::showing() const {
  if (kind_ == Kind::Form) return static_cast<const Form*>(this)->shown() && visible_;
  if (!visible_ || !parent_) return false;
  return parent_->childShowing(this) && parent_->showing();
}

bool Control::enabledInChain() const {
  for (const Control* c = this; c; c = c->parent_)
    if (!c->enabled_) return false;
  return true;
}

void Control::setBounds(const Rect& r) {
  if (r == bounds_) return;
  bounds_ = r;
  notify(Prop::Bounds);
}

void Control::setFont(const Font& font) {
  font_ = font;
  notify(Prop::Font);
}

Font Control::effectiveFont() const {
  for (const Control* c = this; c; c = c->parent_)
    if (!c->font_.name.empty()) return c->font_;
  return Font{"MS Sans Serif", 8, 0};
}

std::string Control::prop(const std::string& key) const {
  auto it = props_.find(key);
  return it == props_.end() ? std::string() : it->second;
}

void Control::setProp(const std::string& key, const std::string& value) { props_[key] = value; }

Form* Control::form() {
  Control* c = this;
  while (c->parent_) c = c->parent_;
  return c->kind_ == Kind::Form ? static_cast<Form*>(c) : nullptr;
}

void Control::setFocus() {
  if (Form* f = form()) f->setFocusedControl(this);
  if (peer_) peer_->setFocus();
}

bool Control::focused() const {
  const Control* c = this;
  while (c->parent_) c = c->parent_;
  return c->kind_ == Kind::Form && static_cast<const Form*>(c)->focusedControl() == this;
}

char32_t Control::keyPress(char32_t key) {
  Form* f = form();
  if (f && f != this && f->keyPreview() && f->onKeyPress) {
    app().dispatch([&] { f->onKeyPress(key); });
    if (key == 0) return 0;
  }
  if (onKeyPress) app().dispatch([&] { onKeyPress(key); });
  return key;
}

void Control::fireClick() {
  if (onClick) onClick();
}

void Control::notify(Prop prop) {
  if (peer_) peer_->changed(prop);
}

void Control::realizeTree() {
  Backend* backend = app().backend();
  if (!backend) return;
  if (!peer_) {
    peer_ = backend->createPeer(*this);
    if (peer_) peerCreated();
  }
  for (Control* child : std::vector<Control*>(children_)) child->realizeTree();
}

void Control::unrealizeTree() {
  for (Control* child : children_) child->unrealizeTree();
  if (peer_) {
    // Keep what the operator typed when the real control goes away.
    std::unique_ptr<Peer> old = std::move(peer_);
    if (kind_ == Kind::Edit || kind_ == Kind::Memo) caption_ = old->text();
  }
}

}  // namespace ui
