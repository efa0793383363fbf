// frmConfig on Qt Widgets: the controls, their layout and their wiring to
// ConfigDialogLogic, which holds all of the dialog's rules.
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

class frmConfig final : public QDialog, private ConfigDialogView {
 public:
  // Builds the controls and runs Form_Load.
  explicit frmConfig(ConfigDialogServices& services, QWidget* parent = nullptr);
  ~frmConfig() override;

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

  QGroupBox* Frame1 = nullptr;
  QGroupBox* Frame2 = nullptr;
  QGroupBox* Frame3 = nullptr;
  QGroupBox* Frame4 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* Label4 = nullptr;
  QLabel* Label5 = nullptr;
  QLabel* Label7 = nullptr;
  QLabel* lblSubNet = nullptr;
  QLabel* lblOutputUniverse = nullptr;
  QLabel* lblInputUniverse = nullptr;
  QScrollBar* scrSubNet = nullptr;
  QScrollBar* scrOutputUniverse = nullptr;
  QScrollBar* scrInputUniverse = nullptr;
  QLineEdit* txtBroadcast = nullptr;
  QComboBox* cmbNodes = nullptr;
  QPushButton* cmdScan = nullptr;
  QPushButton* cmdOk = nullptr;
  QPushButton* cmdCancel = nullptr;
  std::array<QRadioButton*, 4> optPort{};
  QButtonGroup* optPortGroup = nullptr;

  std::exception_ptr error_;
  ConfigDialogLogic logic_;
};

}  // namespace artnet
