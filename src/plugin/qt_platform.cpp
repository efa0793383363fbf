#include "plugin/qt_platform.h"

#include "platform/qt/ini_settings_store.h"
#include "platform/qt/qt_datagram_socket.h"
#include "platform/qt/qt_event_pump.h"
#include "platform/qt/qt_timer.h"
#include "platform/qt/qt_warning_box.h"
#include "platform/qt/system_clock.h"
#include "ui/qt/qt_dialog_runner.h"

namespace artnet {

struct QtPlatform::Parts {
  SystemClock clock;
  IniSettingsStore settings;
  QtWarningBox messages;
  QtEventPump pump;
  QtDialogRunner dialogs;
};

QtPlatform::QtPlatform() : parts_(std::make_unique<Parts>()) {}

QtPlatform::~QtPlatform() = default;

std::unique_ptr<DatagramSocket> QtPlatform::CreateDatagramSocket() { return std::make_unique<QtDatagramSocket>(); }

std::unique_ptr<Timer> QtPlatform::CreateTimer() { return std::make_unique<QtTimer>(); }

Clock& QtPlatform::GetClock() { return parts_->clock; }

SettingsStore& QtPlatform::Settings() { return parts_->settings; }

WarningBox& QtPlatform::Messages() { return parts_->messages; }

EventPump& QtPlatform::Pump() { return parts_->pump; }

DialogRunner& QtPlatform::Dialogs() { return parts_->dialogs; }

}  // namespace artnet
