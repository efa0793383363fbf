// The configuration dialog on Qt Widgets: the form's controls and their
// wiring to ConfigDialogBehaviour, which holds all of the dialog's rules.
// The dialog and its controls carry the form's names as object names
// ("frmConfig", "scrSubNet", ...).
#pragma once

#include <QDialog>
#include <array>
#include <exception>

#include "ui/config_dialog.h"
#include "ui/config_form.h"

class QButtonGroup;
class QComboBox;
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
  // A control as the widget class its kind is made of.
  template <typename Widget = QWidget>
  Widget* Control(FormControl control) const {
    return static_cast<Widget*>(controls_[static_cast<std::size_t>(control)]);
  }
  QScrollBar* Bar(ConfigBar bar) const;
  QComboBox* NodeList() const;
  QRadioButton* PortOption(int port) const;

  template <typename Handler>
  void Run(Handler&& handler);

  double dpi_ = 96.0;
  std::array<QWidget*, config_form::kControlCount> controls_{};
  QButtonGroup* portButtonGroup_ = nullptr;  // optPortGroup
  std::exception_ptr error_;
  ConfigDialogBehaviour behaviour_;
};

}  // namespace artnet
