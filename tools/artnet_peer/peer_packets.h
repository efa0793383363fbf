// Art-Net packets as a test peer sees them: encode and decode of ArtPoll,
// ArtPollReply and ArtDmx, every byte at a named offset.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace artnetpeer {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint16_t kArtNetPort = 6454;
inline constexpr std::uint16_t kOpPoll = 0x2000;
inline constexpr std::uint16_t kOpPollReply = 0x2100;
inline constexpr std::uint16_t kOpDmx = 0x5000;
inline constexpr std::size_t kPollSize = 14;
inline constexpr std::size_t kPollReplySize = 239;
inline constexpr std::size_t kDmxHeaderSize = 18;
inline constexpr std::size_t kDmxMaxValues = 512;

// Byte offsets from the start of the UDP payload.
namespace off {
inline constexpr std::size_t ID = 0, OPCODE = 8;  // OpCode low byte first
// ArtPoll
inline constexpr std::size_t POLL_PROTVER_HI = 10, POLL_PROTVER_LO = 11, TALKTOME = 12, PRIORITY = 13;
// ArtPollReply
inline constexpr std::size_t IP = 10, PORT = 14, VERSINFO_H = 16, VERSINFO_L = 17, NETSWITCH = 18, SUBSWITCH = 19,
                             OEM_HI = 20, OEM_LO = 21, UBEA = 22, STATUS1 = 23, ESTAMAN_LO = 24, ESTAMAN_HI = 25,
                             SHORTNAME = 26, LONGNAME = 44, NODEREPORT = 108, NUMPORTS_HI = 172, NUMPORTS_LO = 173,
                             PORTTYPES = 174, GOODINPUT = 178, GOODOUTPUT = 182, SWIN = 186, SWOUT = 190, SWVIDEO = 194,
                             SWMACRO = 195, SWREMOTE = 196, SPARE = 197, STYLE = 200, MAC = 201, FILLER = 207;
inline constexpr std::size_t SHORTNAME_LEN = 18, LONGNAME_LEN = 64, NODEREPORT_LEN = 64;
// ArtDmx
inline constexpr std::size_t DMX_PROTVER_HI = 10, DMX_PROTVER_LO = 11, SEQUENCE = 12, PHYSICAL = 13, SUBUNI = 14,
                             NET = 15, LENGTH_HI = 16, LENGTH_LO = 17, DATA = 18;
}  // namespace off

enum class PacketKind { Poll, PollReply, Dmx, Other };

struct Poll {
  std::uint8_t talkToMe = 0;
  std::uint8_t priority = 0;
};

struct PollReply {
  std::array<std::uint8_t, 4> ip{};
  std::uint16_t port = kArtNetPort;
  std::uint16_t versInfo = 14;
  std::uint8_t netSwitch = 0;
  std::uint8_t subSwitch = 0;
  std::uint16_t oem = 0;
  std::uint8_t ubea = 0;
  std::uint8_t status1 = 0;
  std::uint16_t estaMan = 0;
  std::string shortName, longName, nodeReport;  // up to the first NUL
  std::uint16_t numPorts = 0;
  std::array<std::uint8_t, 4> portTypes{}, goodInput{}, goodOutput{}, swIn{}, swOut{};
  std::uint8_t swVideo = 0, swMacro = 0, swRemote = 0, style = 0;
  std::array<std::uint8_t, 6> mac{};
};

struct Dmx {
  std::uint8_t sequence = 0;
  std::uint8_t physical = 0;
  std::uint8_t subUni = 0;
  std::uint8_t net = 0;
  std::uint16_t length = 0;        // as in the Length field, which need not match data
  std::vector<std::uint8_t> data;  // the values carried
};

// ID "Art-Net\0" and a known OpCode; anything else is Other.
PacketKind Classify(const Bytes& packet);

Bytes EncodePoll(const Poll& poll);
Bytes EncodePollReply(const PollReply& reply);  // texts NUL-padded, cut to field width - 1
Bytes EncodeDmx(const Dmx& dmx);                // 18 + data.size() bytes

// Short datagrams read as if zero-extended to the packet's size.
Poll DecodePoll(const Bytes& packet);
PollReply DecodePollReply(const Bytes& packet);
Dmx DecodeDmx(const Bytes& packet);  // data: what follows the header, at most 512 bytes

// The printed block for one datagram: a title line, one line per field,
// and a hex line with the raw bytes.
std::vector<std::string> Describe(const Bytes& packet, const std::string& from);

std::string Dotted(const std::array<std::uint8_t, 4>& ip);

}  // namespace artnetpeer
