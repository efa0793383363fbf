// The configuration dialog on Qt Widgets: the controls, their layout and
// their wiring to ConfigDialogBehaviour, which holds all of the dialog's
// rules. The dialog and its controls keep the form's names as object names
// ("frmConfig", "scrSubNet", ...), noted beside each member below.
#pragma once

#include <QDialog>
#include <array>
#include <exception>

#include "ui/config_dialog.h"

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QScrollBar;

namespace artnet {

class ConfigDialogServices;

class QtConfigDialog final : public QDialog, private ConfigDialogView {
 public:
  // Builds the controls and fills them from the settings.
  explicit QtConfigDialog(ConfigDialogServices& services, QWidget* parent = nullptr);
  ~QtConfigDialog() override;

  // The first exception a handler raised; the dialog closed on it. Qt's
  // event loop must not see exceptions, so they wait here for the caller.
  std::exception_ptr PendingError() const { return error_; }

  // Escape and the close box both arrive here.
  void reject() override;

 private:
  // ConfigDialogView
  void SetBarValue(ConfigBar bar, int value) override;
  int BarValue(ConfigBar bar) const override;
  void SetBarLabel(ConfigBar bar, const std::string& text) override;
  void SetBroadcastText(const std::string& text) override;
  std::string BroadcastText() const override;
  void ClearNodeEntries() override;
  void AddNodeEntry(const std::string& text) override;
  void SetCurrentNodeEntry(int index) override;
  int CurrentNodeEntry() const override;
  void SetPortCaption(int port, const std::string& caption) override;
  void SetPortChecked(int port, bool checked) override;
  void SetPortEnabled(int port, bool enabled) override;
  void CloseDialog() override;

  void CreateControls();
  void ConnectControls();
  void FitFont();
  bool TextFits(const QFont& font) const;
  void CentreOnScreen();
  int Px(int twips) const;
  void Place(QWidget* widget, int left, int top, int width, int height) const;
  QScrollBar* Bar(ConfigBar bar) const;
  QLabel* BarLabel(ConfigBar bar) const;

  template <typename Handler>
  void Run(Handler&& handler);

  double dpi_ = 96.0;

  // "Device" configuration: the plug-in's own subnet and broadcast address.
  QGroupBox* deviceFrame = nullptr;    // Frame3
  QLabel* subnetCaption = nullptr;     // Label3
  QScrollBar* subnetBar = nullptr;     // scrSubNet
  QLabel* subnetValueLabel = nullptr;  // lblSubNet
  QLabel* broadcastCaption = nullptr;  // Label5
  QLineEdit* broadcastEdit = nullptr;  // txtBroadcast

  // Output node: the universe the plug-in sends.
  QGroupBox* outputFrame = nullptr;            // Frame2
  QLabel* outputUniverseCaption = nullptr;     // Label4
  QScrollBar* outputUniverseBar = nullptr;     // scrOutputUniverse
  QLabel* outputUniverseValueLabel = nullptr;  // lblOutputUniverse

  // Output selection helper, inside the output frame: scan, pick a node and
  // one of its ports.
  QGroupBox* nodePickerFrame = nullptr;        // Frame1
  QLabel* nodeCaption = nullptr;               // Label1
  QComboBox* nodeList = nullptr;               // cmbNodes
  QPushButton* scanButton = nullptr;           // cmdScan
  QLabel* portsCaption = nullptr;              // Label2
  std::array<QRadioButton*, 4> portButtons{};  // optPort0..3
  QButtonGroup* portButtonGroup = nullptr;     // optPortGroup

  // Input node: the universe the plug-in receives.
  QGroupBox* inputFrame = nullptr;            // Frame4
  QLabel* inputUniverseCaption = nullptr;     // Label7
  QScrollBar* inputUniverseBar = nullptr;     // scrInputUniverse
  QLabel* inputUniverseValueLabel = nullptr;  // lblInputUniverse

  QPushButton* okButton = nullptr;      // cmdOk
  QPushButton* cancelButton = nullptr;  // cmdCancel

  std::exception_ptr error_;
  ConfigDialogBehaviour behaviour_;
};

}  // namespace artnet
