#include "driver/dialog_services.h"

#include "engine/connection.h"
#include "engine/discovery.h"
#include "engine/module_state.h"
#include "engine/senders.h"

namespace artnet {

ArtNetSettings& ModuleDialogServices::Settings() { return mod_.Settings; }
// The dialog may scan or announce before any Enable: the network is made
// where it is first needed, as Enable makes it.
void ModuleDialogServices::ScanNodes() {
  Connect(mod_);
  artnet::ScanNodes(mod_);
}
const NodeTable& ModuleDialogServices::Nodes() const { return mod_.Nodes; }
void ModuleDialogServices::SendPollReply(const std::string& destination) {
  Connect(mod_);
  artnet::SendPollReply(mod_, ParseDestination(destination));  // the setting the dialog has just made
}
void ModuleDialogServices::ShowWarning(const std::string& text) { mod_.platform.Messages().ShowCritical(text); }

}  // namespace artnet
