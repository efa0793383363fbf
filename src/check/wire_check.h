#pragma once

#include <optional>

#include "check/report.h"
#include "check/settings_check.h"
#include "platform/interfaces/clock.h"
#include "platform/interfaces/datagram_socket.h"
#include "platform/interfaces/event_pump.h"

namespace artnet::check {

struct WireProbe {
  DatagramSocket& socket;  // open: on 6454 when it was free, else on any port
  EventPump& pump;
  Clock& clock;
  bool onArtNetPort = true;
  double listenSeconds = 3.0;
};

// What was heard: the nodes that answered and the DMX on the wire.
struct WireSections {
  Section nodes;
  Section dmx;
};

// Sends one ArtPoll to the configured address and listens for answers and
// ArtDmx for the probe's time, then says what they mean for the plug-in.
WireSections CheckWire(WireProbe& probe, const PluginSettings& settings);

}  // namespace artnet::check
