#pragma once

#include <string>

namespace artnet {

class WarningBox {
 public:
  virtual ~WarningBox() = default;

  // Modal critical message with only an OK button and no caption of its own;
  // returns when the user has closed it.
  virtual void ShowCritical(const std::string& text) = 0;
};

}  // namespace artnet
