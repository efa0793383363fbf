#pragma once

#include <functional>

namespace artnet {

// A periodic timer with an interval and an enabled flag. Enabling a timer
// that is already enabled keeps its running interval.
class Timer {
 public:
  virtual ~Timer() = default;

  virtual void SetInterval(int milliseconds) = 0;
  virtual int SetEnabled(bool enabled) = 0;  // error number, 0 = none
  virtual bool Enabled() const = 0;
  virtual void SetTickHandler(std::function<void()> handler) = 0;
};

}  // namespace artnet
