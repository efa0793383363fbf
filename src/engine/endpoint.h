#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "protocol/conversions.h"

namespace artnet {

class ModuleState;

inline constexpr const char* kPortInUseWarning =
    "Port 0x1936 is already in use by another program. Please close that program.";

// What happens to a datagram the socket cannot take right now: poll answers
// may go, DMX output must not (the newest frame waits for the socket).
enum class Delivery { kMayDrop, kKeepNewest };

// The routines below work on the socket Connect made: before it, there is
// nothing to open, send on or close, and they do nothing.

// Binds the endpoint to the Art-Net port unless it is already open. Never fails.
void OpenArtNetSocket(ModuleState& mod);
// Sends one datagram to destination:6454. When another program holds the
// Art-Net port it warns once and sends from a free port, then tries the
// Art-Net port again on the next send. Never fails. The destination is taken
// by value: a setting it came from may change inside the warning's modal loop.
// A packet to no destination (a setting that is no address) is lost without
// a word, as any failed send.
void SendArtNetPacket(ModuleState& mod, std::optional<IPv4> destination, std::span<const std::uint8_t> packet,
                      Delivery delivery = Delivery::kMayDrop);
// Closes the endpoint; a failure reaches the caller as an AutomationError.
void CloseArtNetSocket(ModuleState& mod);

// Whose thread the host's helper is called on once the module ends.
enum class HelperOnEnd { kRelease, kAbandon };
// Ends the module's network work for good, as its apartment ends: the socket
// closed (port 6454 free again), both timers stopped, the host's helper let
// go, and nothing opened, armed or called again. Safe inside any handler or
// host call still running on the module: they finish without effect.
// kAbandon when the helper's thread has gone and no call into it may be made.
void EndNetworkWork(ModuleState& mod, HelperOnEnd helper);

// The socket's writable handler: sends the frame that waited for it.
void OnSocketWritable(ModuleState& mod);

}  // namespace artnet
