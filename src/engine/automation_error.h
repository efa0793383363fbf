#pragma once

#include <cstdint>
#include <stdexcept>

namespace artnet {

inline constexpr std::int32_t kErrOverflow = 6;
inline constexpr std::int32_t kErrSubscriptOutOfRange = 9;
inline constexpr std::int32_t kErrTypeMismatch = 13;

// An error that ends a host call; carries the automation error number the host sees.
class AutomationError : public std::runtime_error {
 public:
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
