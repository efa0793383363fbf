// The configuration dialog's behaviour, free of any toolkit. A view (Qt,
// Win32 or a test fake) owns the controls and forwards their events to the
// handlers here.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace artnet {

class ConfigDialogServices;
struct NodeRecord;

// The dialog's three scroll bars; each has a hex value display beside it.
enum class ConfigBar { SubNet = 0, OutputUniverse = 1, InputUniverse = 2 };

// What the behaviour needs of the controls. Ports are numbered 0..3.
class ConfigDialogView {
 public:
  virtual ~ConfigDialogView() = default;

  virtual void SetBarValue(ConfigBar bar, int value) = 0;
  virtual int BarValue(ConfigBar bar) const = 0;
  virtual void SetBarLabel(ConfigBar bar, const std::string& text) = 0;

  virtual void SetBroadcastText(const std::string& text) = 0;
  virtual std::string BroadcastText() const = 0;

  // The node list. Entry texts carry node names as received: 8-bit characters.
  virtual void ClearNodeEntries() = 0;
  virtual void AddNodeEntry(const std::string& text) = 0;
  virtual void SetCurrentNodeEntry(int index) = 0;  // -1: none
  virtual int CurrentNodeEntry() const = 0;         // -1: none

  virtual void SetPortCaption(int port, const std::string& caption) = 0;
  // Unchecking must not raise OnPortPicked.
  virtual void SetPortChecked(int port, bool checked) = 0;
  virtual void SetPortEnabled(int port, bool enabled) = 0;

  virtual void CloseDialog() = 0;
};

class ConfigDialogBehaviour {
 public:
  static constexpr const char* kScanningEntry = "Scanning...";
  static constexpr int kBarMin = 0;
  static constexpr int kBarMax = 15;
  static constexpr int kPortCount = 4;

  ConfigDialogBehaviour(ConfigDialogServices& services, ConfigDialogView& view);
  ~ConfigDialogBehaviour();
  ConfigDialogBehaviour(const ConfigDialogBehaviour&) = delete;
  ConfigDialogBehaviour& operator=(const ConfigDialogBehaviour&) = delete;

  // Fills the controls from the settings; the view calls it once, before it
  // is shown.
  void OnLoad();
  // A bar's value changed, by the user or by the behaviour itself.
  void OnBarChanged(ConfigBar bar);
  void OnScanClicked();
  // The user picked an entry of the node list.
  void OnNodePicked();
  // The user selected port option 0..3.
  void OnPortPicked(int port);
  // OK, or Enter while no other push button has the focus.
  void OnOkClicked();
  // Cancel, Escape or the close box.
  void OnCancelClicked();

  // True once OK or Cancel has run; later events are ignored.
  bool Closed() const { return closed_; }

  // Uppercase hexadecimal without leading zeros; negative values as their
  // 32-bit two's complement.
  static std::string HexText(std::int32_t value);
  static std::string NodeEntryText(const NodeRecord& node);
  static std::string PortCaption(int port, bool isOutput);
  // Shown at OK when the broadcast address text is no IPv4 address.
  static std::string UnusableAddressWarning(const std::string& address);

 private:
  const NodeRecord* PickedNode(int position) const;
  void SetBar(ConfigBar bar, int value);

  ConfigDialogServices& services_;
  ConfigDialogView& view_;
  bool closed_ = false;
  bool statusEntryShown_ = false;  // the node list holds "Scanning..." and no nodes
  // Cleared on destruction; a scan that pumped events checks it before it
  // touches anything, because the dialog may be gone by then.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace artnet
