#pragma once

namespace artnet {

class Clock {
 public:
  virtual ~Clock() = default;

  // Seconds since local midnight with fractions, in single precision
  // (back to 0 at midnight).
  virtual float SecondsSinceMidnight() = 0;
  // Seconds from an arbitrary origin; never runs backwards.
  virtual double MonotonicSeconds() = 0;
};

}  // namespace artnet
