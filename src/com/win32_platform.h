#pragma once

#include <memory>

#include "platform/interfaces/platform.h"

namespace artnet {

// The Windows platform layer of one apartment thread. Everything it raises
// (timer ticks, socket events) arrives through that thread's message loop,
// by the hidden message-only window it owns; the sockets and timers it makes
// must go before it.
class Win32Platform final : public Platform {
 public:
  Win32Platform();
  ~Win32Platform() override;

  // Kept alive while the window routes a message to a handler.
  void SetOwner(std::weak_ptr<const void> owner);
  // On its thread: the window destroyed, so nothing more is delivered.
  void End();

  std::unique_ptr<DatagramSocket> CreateDatagramSocket() override;
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
