#pragma once

namespace artnet {

class ModuleState;

// Empties the node table, broadcasts an ArtPoll and keeps the event loop
// running for a little over four seconds while the replies are filed.
void ScanNodes(ModuleState& mod);

}  // namespace artnet
