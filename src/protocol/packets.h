#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "protocol/node_config.h"

namespace artnet {

inline constexpr std::uint16_t kOpPoll = 0x2000;
inline constexpr std::uint16_t kOpPollReply = 0x2100;
inline constexpr std::uint16_t kOpDmx = 0x5000;

inline constexpr std::size_t kHeaderSize = 10;
inline constexpr std::size_t kArtPollSize = 14;
inline constexpr std::size_t kArtPollReplySize = 239;
inline constexpr std::size_t kArtDmxHeaderSize = 18;
inline constexpr std::size_t kMaxDmxChannels = 512;
inline constexpr std::size_t kArtDmxMaxSize = kArtDmxHeaderSize + kMaxDmxChannels;  // 530

inline constexpr std::string_view kArtNetId{"Art-Net\0", 8};

// Byte offsets shared by every packet.
namespace header {
inline constexpr std::size_t ID = 0;  // "Art-Net" + NUL
inline constexpr std::size_t OP_LO = 8;
inline constexpr std::size_t OP_HI = 9;
inline constexpr std::size_t PROT_VER_HI = 10;
inline constexpr std::size_t PROT_VER_LO = 11;
}  // namespace header

// The OpCode of an Art-Net datagram; nothing for one too short for the
// header or without the Art-Net ID. Inline: every received datagram asks.
inline std::optional<std::uint16_t> ArtNetOpCode(std::span<const std::uint8_t> datagram) {
  if (datagram.size() < kHeaderSize || !std::equal(kArtNetId.begin(), kArtNetId.end(), datagram.begin())) {
    return std::nullopt;
  }
  return static_cast<std::uint16_t>(datagram[header::OP_LO] | datagram[header::OP_HI] << 8);
}

namespace poll {
inline constexpr std::size_t TALK_TO_ME = 12;
inline constexpr std::size_t PRIORITY = 13;
}  // namespace poll

namespace poll_reply {
inline constexpr std::size_t IP = 10;
inline constexpr std::size_t PORT_LO = 14;
inline constexpr std::size_t PORT_HI = 15;
inline constexpr std::size_t VERS_INFO_H = 16;
inline constexpr std::size_t VERS_INFO_L = 17;
inline constexpr std::size_t NET_SWITCH = 18;
inline constexpr std::size_t SUB_SWITCH = 19;
inline constexpr std::size_t OEM_HI = 20;
inline constexpr std::size_t OEM_LO = 21;
inline constexpr std::size_t UBEA = 22;
inline constexpr std::size_t STATUS1 = 23;
inline constexpr std::size_t ESTA_MAN_LO = 24;
inline constexpr std::size_t ESTA_MAN_HI = 25;
inline constexpr std::size_t SHORT_NAME = 26;
inline constexpr std::size_t SHORT_NAME_SIZE = 18;
inline constexpr std::size_t LONG_NAME = 44;
inline constexpr std::size_t LONG_NAME_SIZE = 64;
inline constexpr std::size_t NODE_REPORT = 108;
inline constexpr std::size_t NODE_REPORT_SIZE = 64;
inline constexpr std::size_t NUM_PORTS_HI = 172;
inline constexpr std::size_t NUM_PORTS_LO = 173;
inline constexpr std::size_t PORT_TYPES = 174;  // 4 bytes, one per port
inline constexpr std::size_t GOOD_INPUT = 178;
inline constexpr std::size_t GOOD_OUTPUT = 182;
inline constexpr std::size_t SW_IN = 186;
inline constexpr std::size_t SW_OUT = 190;
inline constexpr std::size_t STYLE = 200;
}  // namespace poll_reply

namespace dmx {
inline constexpr std::size_t SEQUENCE = 12;
inline constexpr std::size_t PHYSICAL = 13;
inline constexpr std::size_t SUB_UNI = 14;
inline constexpr std::size_t NET = 15;
inline constexpr std::size_t LENGTH_HI = 16;
inline constexpr std::size_t LENGTH_LO = 17;
inline constexpr std::size_t DATA = 18;
}  // namespace dmx

using ArtPollPacket = std::array<std::uint8_t, kArtPollSize>;
using ArtPollReplyPacket = std::array<std::uint8_t, kArtPollReplySize>;
using ArtDmxPacket = std::array<std::uint8_t, kArtDmxMaxSize>;

// Exchanges the two bytes of a 16-bit value.
std::int16_t SwapBytes(std::int16_t value);
// The part of `text` before its first NUL character.
std::string_view StripNull(std::string_view text);

ArtPollPacket BuildArtPoll();
ArtPollReplyPacket BuildArtPollReply(const ArtNetSettings& settings, const LocalAddressRecord& local);
// Fills `out` with an ArtDmx carrying `channels` (at most 512 of them) and
// returns the packet's length. A single channel goes out as Length 2 with a
// trailing zero, because receivers drop ArtDmx shorter than two slots.
std::size_t BuildArtDmx(ArtDmxPacket& out, std::uint8_t sequence, std::int32_t subNet, std::uint8_t universe,
                        std::span<const std::uint8_t> channels);

// The sequence number that follows `counter` (1..255, never 0).
std::uint8_t NextSequence(std::uint8_t counter);

}  // namespace artnet
