#pragma once

#include <memory>

#include "platform/interfaces/clock.h"
#include "platform/interfaces/datagram_socket.h"
#include "platform/interfaces/dialog_runner.h"
#include "platform/interfaces/event_pump.h"
#include "platform/interfaces/settings_store.h"
#include "platform/interfaces/timer.h"
#include "platform/interfaces/warning_box.h"

namespace artnet {

// Everything platform-shaped the plug-in uses, behind small interfaces.
class Platform {
 public:
  virtual ~Platform() = default;

  virtual std::unique_ptr<DatagramSocket> CreateDatagramSocket() = 0;
  virtual std::unique_ptr<Timer> CreateTimer() = 0;
  virtual Clock& GetClock() = 0;
  virtual SettingsStore& Settings() = 0;
  virtual WarningBox& Messages() = 0;
  virtual EventPump& Pump() = 0;
  virtual DialogRunner& Dialogs() = 0;
};

}  // namespace artnet
