#pragma once
// What the read-card and write-card test pages share: three track memos with
// their headings, the six track radio buttons, the action button, and one
// library call per press through a load of the page's own.
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "device/TrackBuffer.h"
#include "ui/Form.h"

namespace pages {

class SingleCardFrame : public ui::Frame {
 public:
  ui::Label* Label4 = nullptr;
  ui::Label* Label1 = nullptr;
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

  // Track code of the next operation; 0 until a track is chosen.
  int TrackSelection = 0;

  void RadioButton1Click() { selectTracks(1); }
  void RadioButton2Click() { selectTracks(2); }
  void RadioButton3Click() { selectTracks(3); }
  void RadioButton4Click() { selectTracks(4); }
  void RadioButton5Click() { selectTracks(5); }
  void RadioButton6Click() { selectTracks(6); }
  virtual void Button1Click() = 0;

 protected:
  // Builds the page from its rows and offers the tracks of the model
  // (DeviceType), marking the default button as a click would.
  SingleCardFrame(std::string name, int width, int height, std::span<const ui::FormRow> rows);

  // One readcard or writecard call with the current connection values; the
  // load is given back before the result is looked at. Nothing when the
  // library or the function is missing, or the device guard refuses (the
  // message has been shown).
  static std::optional<std::int32_t> callDevice(const char* function, int selection,
                                                device::TrackBuffer& bufferA,
                                                device::TrackBuffer& bufferB);

  ui::Memo* memoOf(int track) const { return track == 1 ? Memo1 : track == 2 ? Memo2 : Memo3; }

 private:
  void selectTracks(int selection);
};

}  // namespace pages
