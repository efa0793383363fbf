#include "ui/qt/qt_dialog_runner.h"

#include "lumenstage/output_driver.h"

namespace artnet {

int QtDialogRunner::ShowConfigDialog(ConfigDialogServices&) { return lumenstage::kErrNotAvailable; }

}  // namespace artnet
