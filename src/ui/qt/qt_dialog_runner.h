#pragma once

#include "platform/interfaces/dialog_runner.h"

namespace artnet {

// Shows the configuration dialog modally when the host has a QApplication.
class QtDialogRunner final : public DialogRunner {
 public:
  int ShowConfigDialog(ConfigDialogServices& services) override;
};

}  // namespace artnet
