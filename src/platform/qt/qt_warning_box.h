#pragma once

#include "platform/interfaces/warning_box.h"

namespace artnet {

// A modal critical message box when the host runs a QApplication;
// otherwise the text goes to standard error.
class QtWarningBox final : public WarningBox {
 public:
  void ShowCritical(const std::string& text) override;
};

}  // namespace artnet
