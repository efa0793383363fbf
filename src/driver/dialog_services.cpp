#include "driver/dialog_services.h"

#include "engine/discovery.h"
#include "engine/module_state.h"
#include "engine/senders.h"

namespace artnet {

ArtNetSettings& ModuleDialogServices::Settings() { return mod_.Settings; }
void ModuleDialogServices::ScanNodes() { artnet::ScanNodes(mod_); }
const NodeTable& ModuleDialogServices::Nodes() const { return mod_.Nodes; }
void ModuleDialogServices::SendPollReply(const std::string& destination) { artnet::SendPollReply(mod_, destination); }
void ModuleDialogServices::ShowWarning(const std::string& text) { mod_.platform.Messages().ShowCritical(text); }

}  // namespace artnet
