#include "ui/Controls.h"

#include <algorithm>
#include <charconv>

#include "ui/Application.h"
#include "ui/Form.h"

namespace ui {

namespace {

// Splits UTF-8 into code points; a broken sequence passes byte by byte.
std::vector<std::pair<char32_t, std::string>> codePoints(const std::string& s) {
  std::vector<std::pair<char32_t, std::string>> out;
  for (std::size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 1;
    if (i + n > s.size()) n = 1;
    char32_t cp = n == 1 ? c : c & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    out.emplace_back(cp, s.substr(i, n));
    i += n;
  }
  return out;
}

std::string encodeUtf8(char32_t cp) {
  std::string out;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
  return out;
}

}  // namespace

bool Button::click() {
  if (!operable()) return false;
  app().dispatch([this] { fireClick(); });
  return true;
}

void Image::setPicture(const std::string& picture) {
  picture_ = picture;
  notify(Prop::Picture);
}

std::string TextControl::text() const { return peer() ? peer()->text() : caption_; }

void TextControl::setText(const std::string& text) {
  if (peer()) {
    peer()->setText(text);
  } else {
    caption_ = text;
  }
}

void TextControl::setReadOnly(bool readOnly) {
  if (readOnly == readOnly_) return;
  readOnly_ = readOnly;
  notify(Prop::ReadOnly);
}

bool TextControl::type(const std::string& utf8) {
  if (!operable()) return false;
  for (auto& [cp, bytes] : codePoints(utf8)) {
    char32_t key = keyPress(cp);
    if (key == 0 || readOnly_) continue;
    std::string piece;
    if (key == U'\r' || key == U'\n') {
      if (kind() != Kind::Memo) continue;
      piece = "\r\n";
    } else if (key == U'\b') {
      // Backspace takes the last character back, as an edit does.
      std::string t = text();
      while (!t.empty() && (static_cast<unsigned char>(t.back()) & 0xC0) == 0x80) t.pop_back();
      if (!t.empty()) t.pop_back();
      setText(t);
      continue;
    } else if (key < 0x20 && key != U'\t') {
      continue;  // other control characters (Esc ...) are not text
    } else {
      piece = key == cp ? bytes : encodeUtf8(key);
    }
    if (peer()) {
      peer()->appendText(piece);
    } else {
      caption_ += piece;
    }
  }
  return true;
}

void Memo::addLine(const std::string& entry) {
  const bool empty = peer() ? peer()->textEmpty() : caption_.empty();
  const std::string piece = empty ? entry : "\r\n" + entry;
  if (peer()) {
    peer()->appendText(piece);
  } else {
    caption_ += piece;
  }
}

std::vector<std::string> Memo::lines() const {
  const std::string all = text();
  std::vector<std::string> out;
  if (all.empty()) return out;
  std::size_t start = 0;
  for (;;) {
    std::size_t nl = all.find('\n', start);
    std::string line = all.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    out.push_back(std::move(line));
    if (nl == std::string::npos) break;
    start = nl + 1;
  }
  return out;
}

int Memo::firstVisibleLine() const { return peer() ? peer()->firstVisibleLine() : topLine_; }

void Memo::scrollToTop() {
  topLine_ = 0;
  if (peer()) peer()->scrollToTop();
}

void CheckBox::setChecked(bool checked) {
  if (checked == checked_) return;
  checked_ = checked;
  notify(Prop::Checked);
}

bool CheckBox::click() {
  if (!operable()) return false;
  setChecked(!checked_);
  app().dispatch([this] { fireClick(); });
  return true;
}

void RadioButton::setChecked(bool checked) {
  if (checked == checked_) return;
  checked_ = checked;
  if (checked && parent()) {
    for (Control* sibling : parent()->children())
      if (sibling != this && sibling->kind() == Kind::RadioButton)
        static_cast<RadioButton*>(sibling)->setChecked(false);
  }
  notify(Prop::Checked);
  if (checked) fireClick();
}

bool RadioButton::click() {
  if (!operable()) return false;
  app().dispatch([this] { setChecked(true); });
  return true;
}

void RadioGroup::setItems(std::vector<std::string> items) {
  items_ = std::move(items);
  if (itemIndex_ >= static_cast<int>(items_.size())) itemIndex_ = -1;
  notify(Prop::Items);
}

void RadioGroup::setColumns(int columns) {
  columns_ = std::max(1, columns);
  notify(Prop::Items);
}

void RadioGroup::setItemIndex(int index) {
  if (index < -1 || index >= static_cast<int>(items_.size())) index = -1;
  if (index == itemIndex_) return;
  itemIndex_ = index;
  notify(Prop::ItemIndex);
}

bool RadioGroup::clickItem(int index) {
  if (!operable() || index < 0 || index >= static_cast<int>(items_.size())) return false;
  if (index == itemIndex_) return true;
  setItemIndex(index);
  app().dispatch([this] { fireClick(); });
  return true;
}

void UpDown::setRange(int min, int max) {
  min_ = min;
  max_ = std::max(min, max);
  position_ = std::clamp(position_, min_, max_);
  notify(Prop::Position);
}

void UpDown::setPosition(int position) {
  position_ = std::clamp(position, min_, max_);
  notify(Prop::Position);
}

bool UpDown::step(int delta) {
  if (!operable()) return false;
  if (associate_) {
    // A number typed into the edit is where the arrows go on from.
    const std::string t = associate_->text();
    int typed = 0;
    auto [end, ec] = std::from_chars(t.data(), t.data() + t.size(), typed);
    if (ec == std::errc() && end == t.data() + t.size() && !t.empty())
      position_ = std::clamp(typed, min_, max_);
  }
  position_ = std::clamp(position_ + delta, min_, max_);
  notify(Prop::Position);
  if (associate_) associate_->setText(std::to_string(position_));
  app().dispatch([this] { fireClick(); });
  return true;
}

void TabSheet::setTabVisible(bool visible) {
  if (visible == tabVisible_) return;
  tabVisible_ = visible;
  notify(Prop::TabVisible);
  if (TabControl* tc = tabControl()) tc->changedRow();
}

TabControl* TabSheet::tabControl() const {
  return parent() && parent()->kind() == Kind::TabControl ? static_cast<TabControl*>(parent())
                                                           : nullptr;
}

std::vector<TabSheet*> TabControl::sheets() const {
  std::vector<TabSheet*> out;
  for (Control* c : children())
    if (c->kind() == Kind::TabSheet) out.push_back(static_cast<TabSheet*>(c));
  return out;
}

std::vector<TabSheet*> TabControl::tabRow() const {
  std::vector<TabSheet*> out;
  for (TabSheet* s : sheets())
    if (s->tabVisible()) out.push_back(s);
  return out;
}

void TabControl::setActiveSheet(TabSheet* sheet) {
  if (sheet == active_) return;
  active_ = sheet;
  notify(Prop::ActiveSheet);
  if (sheet && sheet->onShow) sheet->onShow();
}

bool TabControl::selectTab(TabSheet* sheet) {
  if (!operable() || !sheet || !sheet->tabVisible() || sheet->parent() != this) return false;
  app().dispatch([&] { setActiveSheet(sheet); });
  return true;
}

bool TabControl::selectTab(int rowIndex) {
  auto row = tabRow();
  if (rowIndex < 0 || rowIndex >= static_cast<int>(row.size())) return false;
  return selectTab(row[rowIndex]);
}

bool TabControl::childShowing(const Control* child) const {
  return child->kind() != Kind::TabSheet || child == active_;
}

void TabControl::changedRow() { notify(Prop::TabVisible); }

}  // namespace ui
