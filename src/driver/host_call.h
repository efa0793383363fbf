#pragma once

#include <new>

#include "lumenstage/output_driver.h"
#include "protocol/automation_error.h"

namespace artnet {

// The one place a host's call meets the exceptions of the code below it: each
// of the host's calls runs its whole body inside exactly one HostCall, on
// either platform, and nothing escapes it. `result` takes the body's value
// only when the body finished.
template <typename Result, typename Body>
lumenstage::Status HostCall(Result& result, Body&& body) noexcept {
  try {
    result = body();
    return {};
  } catch (const AutomationError& e) {
    return {e.number(), e.description()};
  } catch (const std::bad_alloc&) {
    return {lumenstage::kErrOutOfMemory.number, lumenstage::kErrOutOfMemory.description};
  } catch (...) {
    return {lumenstage::kErrInternal.number, lumenstage::kErrInternal.description};
  }
}

}  // namespace artnet
