#pragma once

namespace artnet {

class EventPump {
 public:
  virtual ~EventPump() = default;

  // Processes every waiting window message, socket and timer event once.
  virtual void DoEvents() = 0;
  virtual void Sleep(int milliseconds) = 0;
};

}  // namespace artnet
