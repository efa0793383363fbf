#pragma once

#include <memory>

#include "platform/interfaces/platform.h"

namespace artnet {

// The Linux platform layer, on Qt. Needs a QCoreApplication (or
// QApplication) on the calling thread before any socket or timer is used.
class QtPlatform final : public Platform {
 public:
  QtPlatform();
  ~QtPlatform() override;

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
