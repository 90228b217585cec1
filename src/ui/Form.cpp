#include "ui/Form.h"

#include <charconv>

#include "ui/Application.h"

namespace ui {

namespace {

std::vector<std::string> split(const std::string& s, char sep) {
  std::vector<std::string> out;
  std::size_t start = 0;
  for (;;) {
    std::size_t at = s.find(sep, start);
    out.push_back(s.substr(start, at == std::string::npos ? std::string::npos : at - start));
    if (at == std::string::npos) break;
    start = at + 1;
  }
  return out;
}

int toInt(const std::string& value, const std::string& what) {
  int v = 0;
  auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), v);
  if (ec != std::errc() || end != value.data() + value.size())
    throw BuildError("bad number '" + value + "' for " + what);
  return v;
}

std::unique_ptr<Control> make(Kind kind, const std::string& name, Control* parent) {
  switch (kind) {
    case Kind::Label: return std::make_unique<Label>(name, parent);
    case Kind::Button: return std::make_unique<Button>(name, parent);
    case Kind::GroupBox: return std::make_unique<GroupBox>(name, parent);
    case Kind::Panel: return std::make_unique<Panel>(name, parent);
    case Kind::Image: return std::make_unique<Image>(name, parent);
    case Kind::Edit: return std::make_unique<Edit>(name, parent);
    case Kind::Memo: return std::make_unique<Memo>(name, parent);
    case Kind::CheckBox: return std::make_unique<CheckBox>(name, parent);
    case Kind::RadioButton: return std::make_unique<RadioButton>(name, parent);
    case Kind::RadioGroup: return std::make_unique<RadioGroup>(name, parent);
    case Kind::UpDown: return std::make_unique<UpDown>(name, parent);
    case Kind::TabSheet: return std::make_unique<TabSheet>(name, parent);
    case Kind::TabControl: return std::make_unique<TabControl>(name, parent);
    case Kind::Form:
    case Kind::Frame: break;
  }
  throw BuildError(std::string("a form description cannot create a ") + kindName(kind));
}

// Applies one "key=value" or "flag" setting of a row.
void apply(Container& owner, Control& c, const std::string& key, const std::string& value) {
  if (key == "hidden") {
    c.setVisible(false);
  } else if (key == "disabled") {
    c.setEnabled(false);
  } else if (key == "readonly") {
    if (auto* t = dynamic_cast<TextControl*>(&c)) t->setReadOnly(true);
  } else if (key == "checked") {
    if (auto* cb = dynamic_cast<CheckBox*>(&c)) cb->setChecked(true);
    if (auto* rb = dynamic_cast<RadioButton*>(&c)) rb->setChecked(true);
  } else if (key == "items") {
    if (auto* rg = dynamic_cast<RadioGroup*>(&c)) rg->setItems(split(value, '|'));
  } else if (key == "columns") {
    if (auto* rg = dynamic_cast<RadioGroup*>(&c)) rg->setColumns(toInt(value, key));
  } else if (key == "index") {
    if (auto* rg = dynamic_cast<RadioGroup*>(&c)) rg->setItemIndex(toInt(value, key));
  } else if (key == "font") {
    // NAME/12px or NAME/8pt
    auto parts = split(value, '/');
    Font f{parts[0], 0, 0};
    if (parts.size() > 1) {
      const std::string& size = parts[1];
      if (size.size() > 2 && size.ends_with("px"))
        f.pixelHeight = toInt(size.substr(0, size.size() - 2), key);
      else if (size.size() > 2 && size.ends_with("pt"))
        f.pointSize = toInt(size.substr(0, size.size() - 2), key);
      else
        throw BuildError("bad font size '" + size + "'");
    }
    c.setFont(f);
  } else if (key == "associate") {
    if (auto* ud = dynamic_cast<UpDown*>(&c)) ud->setAssociate(owner.find<Edit>(value));
  } else if (key == "min" || key == "max") {
    if (auto* ud = dynamic_cast<UpDown*>(&c)) {
      int v = toInt(value, key);
      if (key == "min") ud->setRange(v, ud->max());
      else ud->setRange(ud->min(), v);
    }
  } else if (key == "position") {
    if (auto* ud = dynamic_cast<UpDown*>(&c)) ud->setPosition(toInt(value, key));
  } else if (key == "picture") {
    if (auto* im = dynamic_cast<Image*>(&c)) im->setPicture(value);
  } else if (key == "notab") {
    if (auto* ts = dynamic_cast<TabSheet*>(&c)) ts->setTabVisible(false);
  } else if (key == "active") {
    if (auto* ts = dynamic_cast<TabSheet*>(&c))
      if (TabControl* tc = ts->tabControl()) tc->setActiveSheet(ts);
  }
  // Every setting is also kept for the peer (border, colour, scroll bars ...).
  c.setProp(key, value.empty() ? "1" : value);
}

}  // namespace

Container::~Container() { destroyComponents(); }

void Container::destroyComponents() {
  while (!components_.empty()) components_.pop_back();
}

void Container::build(std::span<const FormRow> rows) {
  for (const FormRow& row : rows) {
    const std::string parentName = row.parent ? row.parent : "";
    Control* parent = this;
    if (!parentName.empty()) {
      parent = findChild(parentName);
      if (!parent) throw BuildError("row '" + std::string(row.name) + "': no parent '" + parentName + "'");
    }
    if (findChild(row.name)) throw BuildError("component '" + std::string(row.name) + "' twice");
    std::unique_ptr<Control> c = make(row.kind, row.name, parent);
    c->setBounds({row.left, row.top, row.width, row.height});
    if (row.caption) c->setCaption(row.caption);
    const std::string props = row.props ? row.props : "";
    if (!props.empty()) {
      for (const std::string& item : split(props, ';')) {
        if (item.empty()) continue;
        std::size_t eq = item.find('=');
        apply(*this, *c, item.substr(0, eq), eq == std::string::npos ? "" : item.substr(eq + 1));
      }
    }
    components_.push_back(std::move(c));
  }
  if (kind() == Kind::Form || (parent() && parent()->peer())) realizeTree();
}

Form::~Form() {
  destroyComponents();
  if (app().mainForm() == this) app().setMainForm(nullptr);
}

void Form::showForm() {
  if (shown_) return;
  shown_ = true;
  realizeTree();
  notify(Prop::Visible);
}

void Form::close() {
  if (closed_) return;
  Application& a = app();
  if (a.mainForm() == this) a.setClosing();
  if (a.handlerWaiting()) {
    if (!closeDeferred_) {
      closeDeferred_ = true;
      a.whenNoHandler([this, alive = std::weak_ptr<int>(alive_)] {
        if (alive.expired()) return;
        closeDeferred_ = false;
        close();
      });
    }
    return;
  }
  if (onClose) a.dispatch(onClose);
  closed_ = true;
  shown_ = false;
  notify(Prop::Visible);
  if (app().mainForm() == this) app().terminate();
}

}  // namespace ui
