#pragma once

namespace artnet {

class ModuleState;
class Transport;

// Makes the module's socket and timers on first use and says, in this one
// place, who handles each of their events: datagrams the dispatcher, a
// drained send buffer the endpoint, the flush and refresh ticks the pacing.
// The refresh starts here, unless the module has ended. Later calls return
// the same transport.
Transport& Connect(ModuleState& mod);

}  // namespace artnet
