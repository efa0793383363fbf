#include "check/network_check.h"

namespace artnet::check {
namespace {

int PrefixLength(IPv4 mask) {
  int bits = 0;
  while (bits < 32 && (mask & (0x80000000u >> bits)) != 0) ++bits;
  return bits;
}

bool Holds(const InterfaceAddress& candidate, IPv4 destination) {
  return candidate.mask != 0 && ((candidate.address ^ destination) & candidate.mask) == 0;
}

}  // namespace

Section CheckNetwork(const NetworkView& network, std::optional<IPv4> destination,
                     std::optional<InterfaceAddress>& chosen) {
  Section section{"Network", {{"interface", "address", "mask", "lighting interface"}, {}}, {}};
  std::vector<InterfaceAddress> up;
  for (const NamedInterface& named : network.up) up.push_back(named.address);
  const std::optional<InterfaceAddress> pick = ChooseLightingInterface(up, destination, network.routedSource);
  std::string pickName;
  for (const NamedInterface& named : network.up) {
    const InterfaceAddress& a = named.address;
    const bool isPick = pick && pick->address == a.address && pick->index == a.index;
    if (isPick) pickName = named.name;
    section.table.rows.push_back({named.name.empty() ? "#" + std::to_string(a.index) : named.name,
                                  DottedIPv4(a.address),
                                  DottedIPv4(a.mask) + " (/" + std::to_string(PrefixLength(a.mask)) + ")",
                                  isPick ? "yes: sends from here, announces " + DottedIPv4(a.address) : ""});
  }

  const bool loopbackAsked = destination && (*destination >> 24) == 127;
  if (!pick || (pick->loopback && !loopbackAsked)) {
    section.Error(
        "No interface on the lighting network is up: the plug-in can only send to this PC itself, so no "
        "node receives anything and the console sees no input.",
        "Plug in the lighting network's cable (or switch its adapter on) and give the PC an address on it, "
        "for example 2.0.0.10/8 or 10.0.0.10/24; then start the show again.");
    return section;
  }
  chosen = pick;
  const std::string from = (pickName.empty() ? "" : pickName + ", ") + DottedIPv4(pick->address);
  if (!destination) {
    section.Note(
        "With no usable broadcast address (see Settings) the plug-in announces itself from the first "
        "interface, " +
        from + ", and sends nothing.");
    return section;
  }
  const IPv4 target = *destination;
  if (target == kLimitedBroadcast) {
    int others = 0;
    for (const InterfaceAddress& a : up) others += a.loopback ? 0 : 1;
    if (others > 1) {
      section.Note("This PC has " + std::to_string(others) +
                       " networks and the plug-in sends to 255.255.255.255: "
                       "it uses " +
                       from + " and only that one. If the lights are on another network, they stay dark.",
                   "Set the broadcast address to the lighting network's own (its interface's address with the host "
                   "part all 255s) so the plug-in cannot pick the wrong network.");
    } else {
      section.Good("The plug-in sends from " + from + " and announces that address to the nodes.");
    }
    return section;
  }
  if (Holds(*pick, target)) {
    section.Good("The plug-in sends to " + DottedIPv4(target) + " from " + from +
                 ", the interface whose network holds it, and announces that address to the nodes.");
    return section;
  }
  if (network.routedSource(target)) {
    section.Note(DottedIPv4(target) +
                     " is not on any network of this PC: the plug-in sends there through a router "
                     "from " +
                     from +
                     ". Art-Net broadcasts do not cross routers, and nodes on a flat lighting network "
                     "will not hear it.",
                 "Use an address on the lighting network (see the interface list above).");
    return section;
  }
  section.Error("There is no route to " + DottedIPv4(target) +
                    ": everything the plug-in sends there is lost, so no "
                    "light on stage.",
                "Set a broadcast address on the lighting network, or give the PC an address on the network of " +
                    DottedIPv4(target) + ".");
  return section;
}

}  // namespace artnet::check
