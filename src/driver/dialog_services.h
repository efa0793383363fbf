#pragma once

#include "ui/config_dialog_services.h"

namespace artnet {

class ModuleState;

// The configuration dialog's view of the module.
class ModuleDialogServices final : public ConfigDialogServices {
 public:
  explicit ModuleDialogServices(ModuleState& mod) : mod_(mod) {}

  ArtNetSettings& Settings() override;
  void ScanNodes() override;
  const NodeTable& Nodes() const override;
  void SendPollReply(const std::string& destination) override;
  void ShowWarning(const std::string& text) override;

 private:
  ModuleState& mod_;
};

}  // namespace artnet
