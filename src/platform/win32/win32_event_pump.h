#pragma once

#include "platform/interfaces/event_pump.h"

namespace artnet {

// The thread's message queue, emptied as DoEvents does.
class Win32EventPump final : public EventPump {
 public:
  void DoEvents() override;
  void Sleep(int milliseconds) override;
};

}  // namespace artnet
