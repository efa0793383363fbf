#pragma once

#include <memory>

#include "platform/interfaces/platform.h"

namespace artnet {

// The Windows platform layer. Everything it raises (timer ticks, socket
// events) arrives through the message loop of the thread that created it,
// the host's UI thread, by a hidden message-only window.
class Win32Platform final : public Platform {
 public:
  Win32Platform();
  ~Win32Platform() override;

  std::unique_ptr<SocketControl> CreateSocketControl() override;
  std::unique_ptr<Timer> CreateTimer() override;
  Clock& GetClock() override;
  SettingsStore& Settings() override;
  WarningBox& Messages() override;
  EventPump& Pump() override;
  DialogRunner& Dialogs() override;

 private:
  struct Parts;
  std::unique_ptr<Parts> parts_;
};

}  // namespace artnet
