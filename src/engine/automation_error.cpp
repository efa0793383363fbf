#include "engine/automation_error.h"

namespace artnet {

void RaiseOverflow() { throw AutomationError(kErrOverflow, "Overflow"); }
void RaiseSubscriptOutOfRange() { throw AutomationError(kErrSubscriptOutOfRange, "Subscript out of range"); }
void RaiseTypeMismatch() { throw AutomationError(kErrTypeMismatch, "Type mismatch"); }

}  // namespace artnet
