#include "ui/win32/win32_dialog_runner.h"

#include "lumenstage/automation_errors.h"

namespace artnet {

// No native dialog yet: the host hears that the action is not supported.
int Win32DialogRunner::ShowConfigDialog(ConfigDialogServices&) { return lumenstage::kErrNotAvailable.number; }

}  // namespace artnet
