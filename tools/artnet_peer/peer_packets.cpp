#include "peer_packets.h"

#include <algorithm>
#include <cstdio>

namespace artnetpeer {
namespace {

constexpr char kId[8] = {'A', 'r', 't', '-', 'N', 'e', 't', '\0'};
constexpr std::uint8_t kProtocolVersion = 14;

Bytes Header(std::size_t size, std::uint16_t opcode) {
  Bytes packet(size, 0);
  std::copy(std::begin(kId), std::end(kId), packet.begin() + off::ID);
  packet[off::OPCODE] = static_cast<std::uint8_t>(opcode & 0xFF);
  packet[off::OPCODE + 1] = static_cast<std::uint8_t>(opcode >> 8);
  return packet;
}

Bytes ZeroExtended(const Bytes& packet, std::size_t size) {
  Bytes out = packet;
  if (out.size() < size) out.resize(size, 0);
  return out;
}

void PutText(Bytes& packet, std::size_t offset, std::size_t width, const std::string& text) {
  const std::size_t n = std::min(text.size(), width - 1);  // keep room for the NUL
  std::copy_n(text.begin(), n, packet.begin() + static_cast<std::ptrdiff_t>(offset));
}

std::string GetText(const Bytes& packet, std::size_t offset, std::size_t width) {
  std::string text;
  for (std::size_t i = offset; i < offset + width && packet[i] != 0; ++i) text.push_back(static_cast<char>(packet[i]));
  return text;
}

template <std::size_t N>
void PutArray(Bytes& packet, std::size_t offset, const std::array<std::uint8_t, N>& values) {
  std::copy(values.begin(), values.end(), packet.begin() + static_cast<std::ptrdiff_t>(offset));
}

template <std::size_t N>
std::array<std::uint8_t, N> GetArray(const Bytes& packet, std::size_t offset) {
  std::array<std::uint8_t, N> values{};
  std::copy_n(packet.begin() + static_cast<std::ptrdiff_t>(offset), N, values.begin());
  return values;
}

std::uint16_t HighFirst(const Bytes& packet, std::size_t hi, std::size_t lo) {
  return static_cast<std::uint16_t>(packet[hi] << 8 | packet[lo]);
}

std::string Hex8(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02x", value & 0xFFu);
  return text;
}

std::string Hex16(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04x", value & 0xFFFFu);
  return text;
}

template <std::size_t N>
std::string HexList(const std::array<std::uint8_t, N>& values) {
  std::string text;
  for (std::size_t i = 0; i < N; ++i) text += (i ? " " : "") + Hex8(values[i]);
  return text;
}

// Printable text in quotes; anything else as \xNN so a line stays one line.
std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x20 && u < 0x7F && c != '"' && c != '\\') {
      out.push_back(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", u);
      out += escaped;
    }
  }
  return out + "\"";
}

std::string Field(const char* name, const std::string& value) { return std::string("  ") + name + ": " + value; }

}  // namespace

std::string Dotted(const std::array<std::uint8_t, 4>& ip) {
  return std::to_string(ip[0]) + "." + std::to_string(ip[1]) + "." + std::to_string(ip[2]) + "." +
         std::to_string(ip[3]);
}

PacketKind Classify(const Bytes& packet) {
  if (packet.size() < off::OPCODE + 2 || !std::equal(std::begin(kId), std::end(kId), packet.begin())) {
    return PacketKind::Other;
  }
  switch (packet[off::OPCODE] | packet[off::OPCODE + 1] << 8) {
    case kOpPoll:
      return PacketKind::Poll;
    case kOpPollReply:
      return PacketKind::PollReply;
    case kOpDmx:
      return PacketKind::Dmx;
    default:
      return PacketKind::Other;
  }
}

Bytes EncodePoll(const Poll& poll) {
  Bytes packet = Header(kPollSize, kOpPoll);
  packet[off::POLL_PROTVER_HI] = 0;
  packet[off::POLL_PROTVER_LO] = kProtocolVersion;
  packet[off::TALKTOME] = poll.talkToMe;
  packet[off::PRIORITY] = poll.priority;
  return packet;
}

Bytes EncodePollReply(const PollReply& reply) {
  Bytes packet = Header(kPollReplySize, kOpPollReply);
  PutArray(packet, off::IP, reply.ip);
  packet[off::PORT] = static_cast<std::uint8_t>(reply.port & 0xFF);  // Port: low byte first
  packet[off::PORT + 1] = static_cast<std::uint8_t>(reply.port >> 8);
  packet[off::VERSINFO_H] = static_cast<std::uint8_t>(reply.versInfo >> 8);
  packet[off::VERSINFO_L] = static_cast<std::uint8_t>(reply.versInfo & 0xFF);
  packet[off::NETSWITCH] = reply.netSwitch;
  packet[off::SUBSWITCH] = reply.subSwitch;
  packet[off::OEM_HI] = static_cast<std::uint8_t>(reply.oem >> 8);
  packet[off::OEM_LO] = static_cast<std::uint8_t>(reply.oem & 0xFF);
  packet[off::UBEA] = reply.ubea;
  packet[off::STATUS1] = reply.status1;
  packet[off::ESTAMAN_LO] = static_cast<std::uint8_t>(reply.estaMan & 0xFF);  // EstaMan: low byte first
  packet[off::ESTAMAN_HI] = static_cast<std::uint8_t>(reply.estaMan >> 8);
  PutText(packet, off::SHORTNAME, off::SHORTNAME_LEN, reply.shortName);
  PutText(packet, off::LONGNAME, off::LONGNAME_LEN, reply.longName);
  PutText(packet, off::NODEREPORT, off::NODEREPORT_LEN, reply.nodeReport);
  packet[off::NUMPORTS_HI] = static_cast<std::uint8_t>(reply.numPorts >> 8);
  packet[off::NUMPORTS_LO] = static_cast<std::uint8_t>(reply.numPorts & 0xFF);
  PutArray(packet, off::PORTTYPES, reply.portTypes);
  PutArray(packet, off::GOODINPUT, reply.goodInput);
  PutArray(packet, off::GOODOUTPUT, reply.goodOutput);
  PutArray(packet, off::SWIN, reply.swIn);
  PutArray(packet, off::SWOUT, reply.swOut);
  packet[off::SWVIDEO] = reply.swVideo;
  packet[off::SWMACRO] = reply.swMacro;
  packet[off::SWREMOTE] = reply.swRemote;
  packet[off::STYLE] = reply.style;
  PutArray(packet, off::MAC, reply.mac);
  return packet;
}

Bytes EncodeDmx(const Dmx& dmx) {
  Bytes packet = Header(kDmxHeaderSize + dmx.data.size(), kOpDmx);
  packet[off::DMX_PROTVER_HI] = 0;
  packet[off::DMX_PROTVER_LO] = kProtocolVersion;
  packet[off::SEQUENCE] = dmx.sequence;
  packet[off::PHYSICAL] = dmx.physical;
  packet[off::SUBUNI] = dmx.subUni;
  packet[off::NET] = dmx.net;
  packet[off::LENGTH_HI] = static_cast<std::uint8_t>(dmx.length >> 8);
  packet[off::LENGTH_LO] = static_cast<std::uint8_t>(dmx.length & 0xFF);
  std::copy(dmx.data.begin(), dmx.data.end(), packet.begin() + off::DATA);
  return packet;
}

Poll DecodePoll(const Bytes& datagram) {
  const Bytes packet = ZeroExtended(datagram, kPollSize);
  return Poll{packet[off::TALKTOME], packet[off::PRIORITY]};
}

PollReply DecodePollReply(const Bytes& datagram) {
  const Bytes packet = ZeroExtended(datagram, kPollReplySize);
  PollReply reply;
  reply.ip = GetArray<4>(packet, off::IP);
  reply.port = static_cast<std::uint16_t>(packet[off::PORT] | packet[off::PORT + 1] << 8);
  reply.versInfo = HighFirst(packet, off::VERSINFO_H, off::VERSINFO_L);
  reply.netSwitch = packet[off::NETSWITCH];
  reply.subSwitch = packet[off::SUBSWITCH];
  reply.oem = HighFirst(packet, off::OEM_HI, off::OEM_LO);
  reply.ubea = packet[off::UBEA];
  reply.status1 = packet[off::STATUS1];
  reply.estaMan = static_cast<std::uint16_t>(packet[off::ESTAMAN_LO] | packet[off::ESTAMAN_HI] << 8);
  reply.shortName = GetText(packet, off::SHORTNAME, off::SHORTNAME_LEN);
  reply.longName = GetText(packet, off::LONGNAME, off::LONGNAME_LEN);
  reply.nodeReport = GetText(packet, off::NODEREPORT, off::NODEREPORT_LEN);
  reply.numPorts = HighFirst(packet, off::NUMPORTS_HI, off::NUMPORTS_LO);
  reply.portTypes = GetArray<4>(packet, off::PORTTYPES);
  reply.goodInput = GetArray<4>(packet, off::GOODINPUT);
  reply.goodOutput = GetArray<4>(packet, off::GOODOUTPUT);
  reply.swIn = GetArray<4>(packet, off::SWIN);
  reply.swOut = GetArray<4>(packet, off::SWOUT);
  reply.swVideo = packet[off::SWVIDEO];
  reply.swMacro = packet[off::SWMACRO];
  reply.swRemote = packet[off::SWREMOTE];
  reply.style = packet[off::STYLE];
  reply.mac = GetArray<6>(packet, off::MAC);
  return reply;
}

Dmx DecodeDmx(const Bytes& datagram) {
  const Bytes packet = ZeroExtended(datagram, kDmxHeaderSize);
  Dmx dmx;
  dmx.sequence = packet[off::SEQUENCE];
  dmx.physical = packet[off::PHYSICAL];
  dmx.subUni = packet[off::SUBUNI];
  dmx.net = packet[off::NET];
  dmx.length = HighFirst(packet, off::LENGTH_HI, off::LENGTH_LO);
  const std::size_t carried = std::min(packet.size() - kDmxHeaderSize, kDmxMaxValues);
  dmx.data.assign(packet.begin() + off::DATA, packet.begin() + static_cast<std::ptrdiff_t>(off::DATA + carried));
  return dmx;
}

std::vector<std::string> Describe(const Bytes& packet, const std::string& from) {
  std::vector<std::string> lines;
  const std::string size = " from " + from + " (" + std::to_string(packet.size()) + " bytes)";
  switch (Classify(packet)) {
    case PacketKind::PollReply: {
      const PollReply r = DecodePollReply(packet);
      lines.push_back("ArtPollReply" + size);
      lines.push_back(Field("ID", Quoted("Art-Net")));
      lines.push_back(Field("OpCode", Hex16(kOpPollReply)));
      lines.push_back(Field("IP", Dotted(r.ip)));
      lines.push_back(Field("Port", std::to_string(r.port)));
      lines.push_back(Field("VersInfo", std::to_string(r.versInfo)));
      lines.push_back(Field("NetSwitch", std::to_string(r.netSwitch)));
      lines.push_back(Field("SubSwitch", std::to_string(r.subSwitch)));
      lines.push_back(Field("Oem", Hex16(r.oem)));
      lines.push_back(Field("Ubea", std::to_string(r.ubea)));
      lines.push_back(Field("Status1", Hex8(r.status1)));
      lines.push_back(Field("EstaMan", Hex16(r.estaMan)));
      lines.push_back(Field("ShortName", Quoted(r.shortName)));
      lines.push_back(Field("LongName", Quoted(r.longName)));
      lines.push_back(Field("NodeReport", Quoted(r.nodeReport)));
      lines.push_back(Field("NumPorts", std::to_string(r.numPorts)));
      lines.push_back(Field("PortTypes", HexList(r.portTypes)));
      lines.push_back(Field("GoodInput", HexList(r.goodInput)));
      lines.push_back(Field("GoodOutput", HexList(r.goodOutput)));
      lines.push_back(Field("SwIn", HexList(r.swIn)));
      lines.push_back(Field("SwOut", HexList(r.swOut)));
      lines.push_back(Field("SwVideo", std::to_string(r.swVideo)));
      lines.push_back(Field("SwMacro", std::to_string(r.swMacro)));
      lines.push_back(Field("SwRemote", std::to_string(r.swRemote)));
      lines.push_back(Field("Style", std::to_string(r.style)));
      char mac[24];
      std::snprintf(mac, sizeof mac, "%02x:%02x:%02x:%02x:%02x:%02x", r.mac[0], r.mac[1], r.mac[2], r.mac[3], r.mac[4],
                    r.mac[5]);
      lines.push_back(Field("MAC", mac));
      break;
    }
    case PacketKind::Dmx: {
      const Dmx d = DecodeDmx(packet);
      lines.push_back("ArtDmx" + size);
      lines.push_back(Field("Sequence", std::to_string(d.sequence)));
      lines.push_back(Field("Physical", std::to_string(d.physical)));
      lines.push_back(Field("SubUni", Hex8(d.subUni)));
      lines.push_back(Field("Net", std::to_string(d.net)));
      lines.push_back(Field("Length", std::to_string(d.length)));
      std::string data;
      for (std::size_t i = 0; i < d.data.size(); ++i) data += (i ? " " : "") + std::to_string(d.data[i]);
      lines.push_back(Field("Data", data));
      break;
    }
    case PacketKind::Poll: {
      const Poll p = DecodePoll(packet);
      lines.push_back("ArtPoll" + size);
      lines.push_back(Field("TalkToMe", Hex8(p.talkToMe)));
      lines.push_back(Field("Priority", std::to_string(p.priority)));
      break;
    }
    case PacketKind::Other:
      lines.push_back("other" + size);
      break;
  }
  std::string hex;
  for (std::size_t i = 0; i < packet.size(); ++i) hex += (i ? " " : "") + Hex8(packet[i]).substr(2);
  lines.push_back(Field("hex", hex));
  return lines;
}

}  // namespace artnetpeer
