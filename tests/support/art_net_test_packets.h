// Art-Net packets as other controllers and nodes send them, for feeding the
// plug-in in tests. Built field by field from offsets here rather than with
// the plug-in's own packet code, so a fault there cannot hide itself.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace artnet::testing {

using Bytes = std::vector<std::uint8_t>;

inline Bytes ArtNetHeader(std::uint16_t opCode) {
  return {'A',
          'r',
          't',
          '-',
          'N',
          'e',
          't',
          0,
          static_cast<std::uint8_t>(opCode & 0xFF),
          static_cast<std::uint8_t>(opCode >> 8)};
}

inline Bytes IncomingPoll(std::uint8_t talkToMe) {
  Bytes poll = ArtNetHeader(0x2000);
  poll.resize(14);
  poll[11] = 14;  // ProtVerLo
  poll[12] = talkToMe;
  return poll;
}

// An ArtDmx as another controller sends it; `length` is the Length field.
inline Bytes IncomingDmx(std::uint8_t subUni, std::uint16_t length, const Bytes& data, std::uint8_t net = 0) {
  Bytes dmx = ArtNetHeader(0x5000);
  dmx.resize(18 + data.size());
  dmx[11] = 14;  // ProtVerLo
  dmx[12] = 1;   // Sequence
  dmx[14] = subUni;
  dmx[15] = net;
  dmx[16] = static_cast<std::uint8_t>(length >> 8);
  dmx[17] = static_cast<std::uint8_t>(length & 0xFF);
  std::copy(data.begin(), data.end(), dmx.begin() + 18);
  return dmx;
}

struct ReplyFields {
  std::uint8_t ip[4] = {2, 0, 0, 1};
  std::uint8_t netSwitch = 0;
  std::uint8_t subSwitch = 0;
  std::string shortName = "Node";
  std::string longName = "Node long";
  std::string nodeReport = "#0001 [0000] ok";
  std::uint8_t numPortsHi = 0;
  std::uint8_t numPortsLo = 1;
  std::uint8_t portTypes[4] = {0x80, 0, 0, 0};
  std::uint8_t swIn[4] = {0, 0, 0, 0};
  std::uint8_t swOut[4] = {0, 0, 0, 0};
};

// A 239-byte ArtPollReply of another node; text fields are NUL-terminated
// when they are shorter than the field.
inline Bytes IncomingReply(const ReplyFields& f) {
  Bytes reply(239, 0);
  const Bytes header = ArtNetHeader(0x2100);
  std::copy(header.begin(), header.end(), reply.begin());
  for (int i = 0; i < 4; ++i) reply[10 + i] = f.ip[i];
  reply[18] = f.netSwitch;
  reply[19] = f.subSwitch;
  auto text = [&](std::size_t offset, std::size_t width, const std::string& s) {
    for (std::size_t i = 0; i < s.size() && i < width; ++i) reply[offset + i] = static_cast<std::uint8_t>(s[i]);
  };
  text(26, 18, f.shortName);
  text(44, 64, f.longName);
  text(108, 64, f.nodeReport);
  reply[172] = f.numPortsHi;
  reply[173] = f.numPortsLo;
  for (int i = 0; i < 4; ++i) {
    reply[174 + i] = f.portTypes[i];
    reply[186 + i] = f.swIn[i];
    reply[190 + i] = f.swOut[i];
  }
  return reply;
}

// One port of a node as the dialog's tests describe it.
struct PortSpec {
  std::uint8_t type = 0;  // PortTypes: 0x80 output, 0x40 input
  std::uint8_t swIn = 0;
  std::uint8_t swOut = 0;
};

// The same reply with only what the node list shows: address, subnet, short
// name and ports; no long name and no report.
inline Bytes IncomingReply(std::array<std::uint8_t, 4> ip, std::uint8_t netSwitch, std::uint8_t subSwitch,
                           const std::string& shortName, std::uint16_t numPorts, std::array<PortSpec, 4> ports = {}) {
  ReplyFields f;
  std::copy(ip.begin(), ip.end(), f.ip);
  f.netSwitch = netSwitch;
  f.subSwitch = subSwitch;
  f.shortName = shortName;
  f.longName.clear();
  f.nodeReport.clear();
  f.numPortsHi = static_cast<std::uint8_t>(numPorts >> 8);
  f.numPortsLo = static_cast<std::uint8_t>(numPorts & 0xFF);
  for (std::size_t p = 0; p < ports.size(); ++p) {
    f.portTypes[p] = ports[p].type;
    f.swIn[p] = ports[p].swIn;
    f.swOut[p] = ports[p].swOut;
  }
  return IncomingReply(f);
}

}  // namespace artnet::testing
