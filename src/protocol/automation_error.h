#pragma once

#include <cstdint>
#include <stdexcept>

#include "lumenstage/automation_errors.h"

namespace artnet {

// An error that ends a host call; carries the automation error number the host sees.
class AutomationError : public std::runtime_error {
 public:
  explicit AutomationError(const lumenstage::AutomationErrorKind& kind)
      : AutomationError(kind.number, kind.description) {}
  // A platform's own error number, passed on to the host as it is.
  AutomationError(std::int32_t number, const char* description)
      : std::runtime_error(description), number_(number), description_(description) {}

  std::int32_t number() const { return number_; }
  const char* description() const { return description_; }  // static text

 private:
  std::int32_t number_;
  const char* description_;
};

[[noreturn]] void RaiseOverflow();
[[noreturn]] void RaiseSubscriptOutOfRange();
[[noreturn]] void RaiseTypeMismatch();

}  // namespace artnet
