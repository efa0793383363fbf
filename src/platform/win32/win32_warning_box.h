#pragma once

#include <string>

#include "platform/interfaces/warning_box.h"

namespace artnet {

// MessageBoxW: OK only, the critical icon, task-modal, no owner. Its title
// is the base name of the module holding this code (the plug-in's file
// name without extension, "ArtNet"), as a classic component's own message
// box shows it.
class Win32WarningBox final : public WarningBox {
 public:
  void ShowCritical(const std::string& text) override;

  // The title the box will show.
  static std::string Title();
};

}  // namespace artnet
