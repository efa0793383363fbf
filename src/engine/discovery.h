#pragma once

namespace artnet {

class ModMain;

// Empties the node table, broadcasts an ArtPoll and keeps the event loop
// running for a little over four seconds while the replies are filed.
void ScanNodes(ModMain& mod);

}  // namespace artnet
