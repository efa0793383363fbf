#pragma once

#include <memory>

#include "platform/clock.h"
#include "platform/dialog_runner.h"
#include "platform/event_pump.h"
#include "platform/message_box.h"
#include "platform/settings_store.h"
#include "platform/socket_control.h"
#include "platform/timer.h"

namespace artnet {

// Everything platform-shaped the plug-in uses, behind small interfaces.
class Platform {
 public:
  virtual ~Platform() = default;

  virtual std::unique_ptr<SocketControl> CreateSocketControl() = 0;
  virtual std::unique_ptr<Timer> CreateTimer() = 0;
  virtual Clock& GetClock() = 0;
  virtual SettingsStore& Settings() = 0;
  virtual MessageBox& Messages() = 0;
  virtual EventPump& Pump() = 0;
  virtual DialogRunner& Dialogs() = 0;
};

}  // namespace artnet
