#pragma once
// The component kinds that the pages use.
#include <string>
#include <vector>

#include "ui/Control.h"

namespace ui {

class Label : public Control {
 public:
  Label(std::string name, Control* parent) : Control(Kind::Label, std::move(name), parent) {}
};

class Button : public Control {
 public:
  Button(std::string name, Control* parent) : Control(Kind::Button, std::move(name), parent) {}
  // The operator's click: runs onClick when the button can take input.
  bool click();
};

class GroupBox : public Control {
 public:
  GroupBox(std::string name, Control* parent) : Control(Kind::GroupBox, std::move(name), parent) {}
};

class Panel : public Control {
 public:
  Panel(std::string name, Control* parent) : Control(Kind::Panel, std::move(name), parent) {}
};

class Image : public Control {
 public:
  Image(std::string name, Control* parent) : Control(Kind::Image, std::move(name), parent) {}
  // Name of the picture resource.
  const std::string& picture() const { return picture_; }
  void setPicture(const std::string& picture);

 private:
  std::string picture_;
};

// Text boxes: single-line edit and multi-line memo. Their text belongs to the
// peer once there is one.
class TextControl : public Control {
 public:
  using Control::Control;
  std::string caption() const override { return text(); }
  void setCaption(const std::string& text) override { setText(text); }
  std::string text() const;
  void setText(const std::string& text);
  bool readOnly() const { return readOnly_; }
  void setReadOnly(bool readOnly);
  // The operator types characters: each goes through keyPress() and, unless
  // discarded, is added at the end. Returns false when the box takes no input.
  bool type(const std::string& utf8);

 private:
  bool readOnly_ = false;
};

class Edit : public TextControl {
 public:
  Edit(std::string name, Control* parent) : TextControl(Kind::Edit, std::move(name), parent) {}
};

class Memo : public TextControl {
 public:
  Memo(std::string name, Control* parent) : TextControl(Kind::Memo, std::move(name), parent) {}

  // Adds an entry as new line(s) at the end; an entry that begins with a line
  // break shows as an empty line followed by its text.
  void addLine(const std::string& entry);
  void clear() { setText(""); }
  std::vector<std::string> lines() const;

  int firstVisibleLine() const;
  void scrollToTop();

 private:
  int topLine_ = 0;
};

class CheckBox : public Control {
 public:
  CheckBox(std::string name, Control* parent) : Control(Kind::CheckBox, std::move(name), parent) {}
  bool checked() const { return checked_; }
  void setChecked(bool checked);
  // The text stands left of the box.
  bool textLeft() const { return prop("alignment") == "left"; }
  // The operator's click: toggles the mark and runs onClick.
  bool click();

 private:
  bool checked_ = false;
};

class RadioButton : public Control {
 public:
  RadioButton(std::string name, Control* parent)
      : Control(Kind::RadioButton, std::move(name), parent) {}
  bool checked() const { return checked_; }
  // Marking a button clears its siblings' marks and runs its onClick, from
  // code as from a click.
  void setChecked(bool checked);
  bool click();

 private:
  bool checked_ = false;
};

class RadioGroup : public Control {
 public:
  RadioGroup(std::string name, Control* parent)
      : Control(Kind::RadioGroup, std::move(name), parent) {}
  const std::vector<std::string>& items() const { return items_; }
  void setItems(std::vector<std::string> items);
  int columns() const { return columns_; }
  void setColumns(int columns);
  // -1 when nothing is selected.
  int itemIndex() const { return itemIndex_; }
  void setItemIndex(int index);
  // The operator selects an item: runs onClick when the selection changes.
  bool clickItem(int index);

 private:
  std::vector<std::string> items_;
  int columns_ = 1;
  int itemIndex_ = -1;
};

class UpDown : public Control {
 public:
  UpDown(std::string name, Control* parent) : Control(Kind::UpDown, std::move(name), parent) {}
  Edit* associate() const { return associate_; }
  void setAssociate(Edit* edit) { associate_ = edit; }
  int min() const { return min_; }
  int max() const { return max_; }
  void setRange(int min, int max);
  int position() const { return position_; }
  void setPosition(int position);
  // The operator presses an arrow: the position follows a number typed into
  // the edit, steps by one within the range (no wrap-around) and is written
  // into the edit.
  bool clickUp() { return step(+1); }
  bool clickDown() { return step(-1); }
  // Called by a native peer that has already stepped and written the edit.
  void positionChangedByPeer(int position) { position_ = position; }

 private:
  bool step(int delta);
  Edit* associate_ = nullptr;
  int min_ = 0;
  int max_ = 100;
  int position_ = 0;
};

class TabSheet : public Control {
 public:
  TabSheet(std::string name, Control* parent) : Control(Kind::TabSheet, std::move(name), parent) {}
  // Whether the sheet has its tab in the tab row.
  bool tabVisible() const { return tabVisible_; }
  void setTabVisible(bool visible);
  class TabControl* tabControl() const;

 private:
  bool tabVisible_ = true;
};

class TabControl : public Control {
 public:
  TabControl(std::string name, Control* parent)
      : Control(Kind::TabControl, std::move(name), parent) {}
  std::vector<TabSheet*> sheets() const;
  // The sheets whose tabs are in the row, in sheet order: a sheet that comes
  // back takes its old place.
  std::vector<TabSheet*> tabRow() const;
  TabSheet* activeSheet() const { return active_; }
  // Shows the sheet (its onShow runs when it was not the active one).
  void setActiveSheet(TabSheet* sheet);
  // The operator clicks a tab of the row.
  bool selectTab(TabSheet* sheet);
  bool selectTab(int rowIndex);
  // A sheet's tab left or re-entered the row.
  void changedRow();

 protected:
  bool childShowing(const Control* child) const override;

 private:
  TabSheet* active_ = nullptr;
};

}  // namespace ui
