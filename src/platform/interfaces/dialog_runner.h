#pragma once

namespace artnet {

class ConfigDialogServices;

class DialogRunner {
 public:
  virtual ~DialogRunner() = default;

  // Shows the configuration dialog modally, with no owner window, and
  // returns once it has closed: 0, or an error number when no dialog can be
  // shown (a host without a GUI).
  virtual int ShowConfigDialog(ConfigDialogServices& services) = 0;
};

}  // namespace artnet
