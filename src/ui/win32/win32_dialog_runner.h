#pragma once

#include "platform/interfaces/dialog_runner.h"

namespace artnet {

// Shows the configuration dialog as a native modal window.
class Win32DialogRunner final : public DialogRunner {
 public:
  int ShowConfigDialog(ConfigDialogServices& services) override;
};

}  // namespace artnet
