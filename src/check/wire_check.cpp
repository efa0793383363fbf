#include "check/wire_check.h"

#include <algorithm>
#include <array>
#include <map>
#include <tuple>

#include "platform/core/ipv4.h"
#include "protocol/node_record.h"
#include "protocol/packets.h"

namespace artnet::check {
namespace {

// A flood of senders cannot grow the report without bound.
constexpr std::size_t kMaxListed = 64;

struct HeardNode {
  IPv4 sender = 0;
  NodeRecord record;
  int net = 0;
  int subNet = 0;
  std::array<std::uint8_t, 4> types{};
  std::array<std::uint8_t, 4> swIn{};
  std::array<std::uint8_t, 4> swOut{};
};

struct DmxKey {
  int net;
  int subNet;
  int universe;
  IPv4 sender;
  auto operator<=>(const DmxKey&) const = default;
};

struct Heard {
  std::vector<HeardNode> nodes;
  std::map<DmxKey, int> dmx;
  std::map<IPv4, int> garbage;  // datagrams that are no Art-Net, or cut short
  std::map<IPv4, int> damaged;  // poll replies cut short
  std::size_t dropped = 0;
};

void File(Heard& heard, std::span<const std::uint8_t> datagram, IPv4 sender) {
  const std::optional<std::uint16_t> op = ArtNetOpCode(datagram);
  if (!op) {
    ++heard.garbage[sender];
    return;
  }
  if (*op == kOpPollReply) {
    ArtPollReplyPacket reply{};  // a short reply reads zero-padded, as the plug-in's scan reads it
    std::copy_n(datagram.begin(), std::min(datagram.size(), reply.size()), reply.begin());
    const NodeRecord record = ReadNodeRecord(reply);
    if (datagram.size() < kArtPollReplySize) ++heard.damaged[sender];
    const bool known = std::any_of(heard.nodes.begin(), heard.nodes.end(), [&](const HeardNode& node) {
      return node.sender == sender && node.record.NetSubSwitch == record.NetSubSwitch;
    });
    if (known) return;
    if (heard.nodes.size() >= kMaxListed) {
      ++heard.dropped;
      return;
    }
    HeardNode node{sender, record, reply[poll_reply::NET_SWITCH] & 0x7F, reply[poll_reply::SUB_SWITCH] & 0x0F};
    for (std::size_t port = 0; port < 4; ++port) {
      node.types[port] = reply[poll_reply::PORT_TYPES + port];
      node.swIn[port] = reply[poll_reply::SW_IN + port] & 0x0F;
      node.swOut[port] = reply[poll_reply::SW_OUT + port] & 0x0F;
    }
    heard.nodes.push_back(std::move(node));
  } else if (*op == kOpDmx) {
    if (datagram.size() < kArtDmxHeaderSize) {
      ++heard.garbage[sender];
      return;
    }
    const DmxKey key{datagram[dmx::NET] & 0x7F, datagram[dmx::SUB_UNI] >> 4, datagram[dmx::SUB_UNI] & 0x0F, sender};
    if (heard.dmx.size() >= kMaxListed && !heard.dmx.contains(key)) {
      ++heard.dropped;
      return;
    }
    ++heard.dmx[key];
  }
}

// A node's name as the report can show it: what is not printable ASCII shows as '?'.
std::string Printable(const std::string& text) {
  std::string shown = text;
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) c = '?';
  }
  return shown;
}

std::string Join(const std::vector<std::string>& parts) {
  std::string text;
  for (const auto& part : parts) text += (text.empty() ? "" : " ") + part;
  return text.empty() ? "-" : text;
}

Section NodesSection(const Heard& heard, const PluginSettings& settings, int sendError, bool onArtNetPort) {
  Section section{"On the wire: nodes answering an ArtPoll",
                  {{"IP", "short name", "long name", "sends", "takes", "takes ours"}, {}},
                  {}};
  const std::string ours = UniverseText(0, settings.subNet, settings.sendUniverse);
  bool anyTakesOurs = false;
  for (const HeardNode& node : heard.nodes) {
    std::vector<std::string> sends;
    std::vector<std::string> takes;
    bool takesOurs = false;
    for (std::size_t port = 0; port < 4; ++port) {
      if (node.types[port] & 0x40) sends.push_back(UniverseText(node.net, node.subNet, node.swIn[port]));
      if (node.types[port] & 0x80) {
        takes.push_back(UniverseText(node.net, node.subNet, node.swOut[port]));
        takesOurs =
            takesOurs || (node.net == 0 && node.subNet == settings.subNet && node.swOut[port] == settings.sendUniverse);
      }
    }
    anyTakesOurs = anyTakesOurs || takesOurs;
    section.table.rows.push_back({DottedIPv4(node.sender), Printable(node.record.ShortName),
                                  Printable(node.record.LongName), Join(sends), Join(takes), takesOurs ? "yes" : "no"});
  }
  for (const auto& [sender, count] : heard.damaged) {
    section.Note(DottedIPv4(sender) + " answered with " + std::to_string(count) + " damaged repl" +
                     (count == 1 ? "y" : "ies") +
                     " (shorter than an ArtPollReply): its names and universes may be "
                     "wrong or blank, in the plug-in's scan too.",
                 "Update the node's firmware or settings if this stays.");
  }
  if (heard.dropped > 0) section.Note(std::to_string(heard.dropped) + " more answers or senders were not listed.");
  for (const auto& [sender, count] : heard.garbage) {
    section.Note(
        DottedIPv4(sender) + " sent " + std::to_string(count) +
            " datagram(s) to the Art-Net port that are not Art-Net or are cut short; the plug-in ignores them.",
        "If that device should be a node, check its settings; otherwise nothing to do.");
  }
  if (sendError != 0) {
    section.Error("The ArtPoll could not be sent (error " + std::to_string(sendError) +
                      "): the plug-in's packets to the same address will fail alike, so no light.",
                  "Fix the broadcast address and the network first (see Settings and Network).");
    return section;
  }
  if (!onArtNetPort) {
    section.Note("Nodes answer to port 6454, which is taken (see Port 6454), so their answers were not heard here.",
                 "Free port 6454 and run the check again.");
    return section;
  }
  if (heard.nodes.empty()) {
    section.Error("No node answered within 3 seconds: no fixture will follow the console.",
                  "Check that the nodes are powered and cabled to the lighting network, that their IP addresses are on "
                  "the lighting interface's network (see Network), and that the broadcast address reaches them.");
  } else if (!anyTakesOurs) {
    section.Error("No node takes universe " + ours + ", the one the plug-in sends: the lights stay dark.",
                  "Set the plug-in's sending universe (\"Output node\" in its dialog) to one a node takes (column "
                  "\"takes\"), or set a node to " +
                      ours +
                      ". Counting: the plug-in's universe 0 is \"Universe 1\" "
                      "on consoles and nodes that count from 1.");
  } else {
    section.Good("A node takes universe " + ours + ": the plug-in's output reaches it.");
  }
  return section;
}

Section DmxSection(const Heard& heard, const PluginSettings& settings, bool onArtNetPort) {
  Section section{"On the wire: DMX heard", {{"universe", "sender", "frames", "meaning"}, {}}, {}};
  if (!onArtNetPort) {
    section.Note("DMX could not be listened for: port 6454 is taken (see Port 6454).");
    return section;
  }
  const std::string receive = UniverseText(0, settings.subNet, settings.receiveUniverse);
  const std::string send = UniverseText(0, settings.subNet, settings.sendUniverse);
  bool receiveHeard = false;
  for (const auto& [key, frames] : heard.dmx) {
    const std::string universe = UniverseText(key.net, key.subNet, key.universe);
    std::string meaning;
    if (universe == receive) {
      meaning = "the plug-in's input";
      receiveHeard = true;
    } else if (key.universe == settings.receiveUniverse) {
      meaning = "MIXED into the plug-in's input";
      section.Error(DottedIPv4(key.sender) + " sends universe " + universe +
                        ". The plug-in matches input on the "
                        "last number alone, so it mixes this into its input of " +
                        receive + ": the console's input values jump between two sources.",
                    "Give that sender a universe whose last number differs from " +
                        std::to_string(settings.receiveUniverse) +
                        ", or change the plug-in's receiving universe "
                        "(\"Input node\" in its dialog).");
    } else if (universe == send) {
      meaning = "the universe the plug-in sends";
      section.Error(DottedIPv4(key.sender) + " already sends universe " + send +
                        ", the one the plug-in sends: the fixtures will flicker between the two consoles or follow "
                        "the other one.",
                    "Stop the other console or move one of the two to another universe.");
    }
    section.table.rows.push_back({universe, DottedIPv4(key.sender), std::to_string(frames), meaning});
  }
  if (receiveHeard) {
    section.Good("DMX for universe " + receive + " arrives: the console gets it as input.");
  } else {
    section.Note("Nobody sent universe " + receive +
                     " in 3 seconds: the console gets no DMX input. Nothing to do if "
                     "you use no input.",
                 "To get input, set the sending desk or node to " + receive + " (counted from 0).");
  }
  return section;
}

}  // namespace

WireSections CheckWire(WireProbe& probe, const PluginSettings& settings) {
  Heard heard;
  probe.socket.SetReceiveHandler(
      [&heard](std::span<const std::uint8_t> datagram, IPv4 sender) { File(heard, datagram, sender); });
  int sendError = 0;
  if (settings.destination) {
    const ArtPollPacket poll = BuildArtPoll();
    sendError = probe.socket.SendTo(*settings.destination, kArtNetPort, poll);
  } else {
    sendError = kSockErrHostNotFound;
  }
  const double end = probe.clock.MonotonicSeconds() + probe.listenSeconds;
  while (probe.clock.MonotonicSeconds() < end) {
    probe.pump.DoEvents();
    probe.pump.Sleep(10);
  }
  probe.socket.SetReceiveHandler(nullptr);
  return {NodesSection(heard, settings, sendError, probe.onArtNetPort),
          DmxSection(heard, settings, probe.onArtNetPort)};
}

}  // namespace artnet::check
