#include "com/win32_platform.h"

#include "platform/win32/message_window.h"
#include "platform/win32/registry_settings_store.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_datagram_socket.h"
#include "platform/win32/win32_event_pump.h"
#include "platform/win32/win32_timer.h"
#include "platform/win32/win32_warning_box.h"
#include "ui/win32/win32_dialog_runner.h"

namespace artnet {

struct Win32Platform::Parts {
  win32::MessageWindow window;
  Win32Clock clock;
  RegistrySettingsStore settings;
  Win32WarningBox messages;
  Win32EventPump pump;
  Win32DialogRunner dialogs;
};

Win32Platform::Win32Platform() : parts_(std::make_unique<Parts>()) {}

Win32Platform::~Win32Platform() = default;

void Win32Platform::SetOwner(std::weak_ptr<const void> owner) { parts_->window.SetOwner(std::move(owner)); }

void Win32Platform::End() { parts_->window.End(); }

std::unique_ptr<DatagramSocket> Win32Platform::CreateDatagramSocket() {
  return std::make_unique<Win32DatagramSocket>(parts_->window);
}

std::unique_ptr<Timer> Win32Platform::CreateTimer() { return std::make_unique<Win32Timer>(parts_->window); }

Clock& Win32Platform::GetClock() { return parts_->clock; }

SettingsStore& Win32Platform::Settings() { return parts_->settings; }

WarningBox& Win32Platform::Messages() { return parts_->messages; }

EventPump& Win32Platform::Pump() { return parts_->pump; }

DialogRunner& Win32Platform::Dialogs() { return parts_->dialogs; }

}  // namespace artnet
