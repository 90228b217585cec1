#pragma once
// Write-card test page: one writecard call per press of "写卡", on the
// user-interface thread, with the typed texts of the chosen tracks.
#include "ui/Form.h"

class TWirteCardFrame1 : public ui::Frame {
 public:
  // Reads DeviceType for the track choices the model offers.
  TWirteCardFrame1();

  ui::Label* Label4 = nullptr;
  ui::Label* Label1 = nullptr;
  ui::CheckBox* selectuplw = nullptr;
  ui::Memo* Memo1 = nullptr;
  ui::Label* Label2 = nullptr;
  ui::Memo* Memo2 = nullptr;
  ui::Label* Label3 = nullptr;
  ui::Memo* Memo3 = nullptr;
  ui::GroupBox* GroupBox1 = nullptr;
  ui::RadioButton* RadioButton1 = nullptr;
  ui::RadioButton* RadioButton2 = nullptr;
  ui::RadioButton* RadioButton3 = nullptr;
  ui::RadioButton* RadioButton4 = nullptr;
  ui::RadioButton* RadioButton5 = nullptr;
  ui::RadioButton* RadioButton6 = nullptr;
  ui::Button* Button1 = nullptr;

  // Track code of the next write; 0 until a track is chosen.
  int TrackSelection = 0;

  void RadioButton1Click() { selectTracks(1); }
  void RadioButton2Click() { selectTracks(2); }
  void RadioButton3Click() { selectTracks(3); }
  void RadioButton4Click() { selectTracks(4); }
  void RadioButton5Click() { selectTracks(5); }
  void RadioButton6Click() { selectTracks(6); }
  void Button1Click();

 private:
  void selectTracks(int selection);
};
