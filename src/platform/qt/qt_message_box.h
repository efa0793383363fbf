#pragma once

#include "platform/message_box.h"

namespace artnet {

// A modal critical message box when the host runs a QApplication;
// otherwise the text goes to standard error.
class QtMessageBox final : public MessageBox {
 public:
  void ShowCritical(const std::string& text) override;
};

}  // namespace artnet
