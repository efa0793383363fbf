#include "protocol/automation_error.h"

namespace artnet {

void RaiseOverflow() { throw AutomationError(lumenstage::kErrOverflow); }
void RaiseSubscriptOutOfRange() { throw AutomationError(lumenstage::kErrSubscriptOutOfRange); }
void RaiseTypeMismatch() { throw AutomationError(lumenstage::kErrTypeMismatch); }

}  // namespace artnet
