#include "ui/win32/win32_dialog_runner.h"

#include "lumenstage/automation_errors.h"
#include "ui/win32/win32_config_dialog.h"

namespace artnet {

int Win32DialogRunner::ShowConfigDialog(ConfigDialogServices& services) {
  // Fresh every time, so no list, caption or choice survives an opening.
  Win32ConfigDialog dialog(services);
  // A modal loop: output and input go on meanwhile.
  return dialog.Run() ? 0 : lumenstage::kErrNotAvailable.number;
}

}  // namespace artnet
