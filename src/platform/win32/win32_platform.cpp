// Placeholder until the Win32 parts land: links, does nothing.
#include "platform/win32/win32_platform.h"

#include <stdexcept>

#include "ui/win32/win32_dialog_runner.h"

namespace artnet {

struct Win32Platform::Parts {
  Win32DialogRunner dialogs;
};

Win32Platform::Win32Platform() : parts_(std::make_unique<Parts>()) {}
Win32Platform::~Win32Platform() = default;

std::unique_ptr<SocketControl> Win32Platform::CreateSocketControl() { throw std::logic_error("not yet"); }
std::unique_ptr<Timer> Win32Platform::CreateTimer() { throw std::logic_error("not yet"); }
Clock& Win32Platform::GetClock() { throw std::logic_error("not yet"); }
SettingsStore& Win32Platform::Settings() { throw std::logic_error("not yet"); }
MessageBox& Win32Platform::Messages() { throw std::logic_error("not yet"); }
EventPump& Win32Platform::Pump() { throw std::logic_error("not yet"); }
DialogRunner& Win32Platform::Dialogs() { return parts_->dialogs; }

}  // namespace artnet
