#pragma once

#include "platform/interfaces/event_pump.h"

namespace artnet {

class QtEventPump final : public EventPump {
 public:
  void DoEvents() override;
  void Sleep(int milliseconds) override;
};

}  // namespace artnet
