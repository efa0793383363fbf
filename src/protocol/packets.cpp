#include "protocol/packets.h"

#include <algorithm>

namespace artnet {
namespace {

constexpr std::uint8_t kProtocolVersion = 14;
constexpr std::uint8_t kOemHi = 0x08;
constexpr std::uint8_t kOemLo = 0xB0;
constexpr std::uint8_t kEstaManLo = 'V';
constexpr std::uint8_t kEstaManHi = 'Q';
constexpr std::string_view kShortName = "Lumenstage";
constexpr std::string_view kLongName = "Lumenstage ArtNet output plugin";
constexpr std::string_view kNodeReport = "#0001 [0000] Lumenstage output plugin is ready";
constexpr std::uint8_t kPortTypeDmxInOut = 0xC0;  // output from and input onto Art-Net, DMX512
constexpr std::uint8_t kGoodData = 0x80;
constexpr std::uint8_t kStyleController = 1;

void WriteHeader(std::span<std::uint8_t> out, std::uint16_t opCode) {
  std::copy(kArtNetId.begin(), kArtNetId.end(), out.begin() + header::ID);
  out[header::OP_LO] = static_cast<std::uint8_t>(opCode & 0xFF);
  out[header::OP_HI] = static_cast<std::uint8_t>(opCode >> 8);
}

// The text, one NUL, then spaces up to the field's width.
void WriteTextField(std::span<std::uint8_t> out, std::size_t offset, std::size_t width, std::string_view text) {
  std::fill_n(out.begin() + offset, width, std::uint8_t{' '});
  std::copy(text.begin(), text.end(), out.begin() + offset);
  out[offset + text.size()] = 0;
}

std::uint8_t PortAddress(std::int32_t subNet, std::int32_t universe) {
  return static_cast<std::uint8_t>((subNet & 15) * 16 + (universe & 15));
}

}  // namespace

std::int16_t SwapBytes(std::int16_t value) {
  const auto bits = static_cast<std::uint16_t>(value);
  return static_cast<std::int16_t>(static_cast<std::uint16_t>((bits << 8) | (bits >> 8)));
}

std::string_view StripNull(std::string_view text) { return text.substr(0, text.find('\0')); }

ArtPollPacket BuildArtPoll() {
  ArtPollPacket p{};
  WriteHeader(p, kOpPoll);
  p[header::PROT_VER_HI] = 0;
  p[header::PROT_VER_LO] = kProtocolVersion;
  p[poll::TALK_TO_ME] = 0;
  p[poll::PRIORITY] = 0;
  return p;
}

ArtPollReplyPacket BuildArtPollReply(const ArtNetSettings& settings, const LocalAddressRecord& local) {
  namespace r = poll_reply;
  ArtPollReplyPacket p{};
  WriteHeader(p, kOpPollReply);
  std::copy(local.ip.begin(), local.ip.end(), p.begin() + r::IP);
  p[r::PORT_LO] = kArtNetPort & 0xFF;  // the Port is always the Art-Net port, low byte first
  p[r::PORT_HI] = kArtNetPort >> 8;
  p[r::VERS_INFO_H] = 0;
  p[r::VERS_INFO_L] = kProtocolVersion;
  p[r::NET_SWITCH] = 0;
  p[r::SUB_SWITCH] = static_cast<std::uint8_t>(settings.SubNet & 15);
  p[r::OEM_HI] = kOemHi;
  p[r::OEM_LO] = kOemLo;
  p[r::ESTA_MAN_LO] = kEstaManLo;
  p[r::ESTA_MAN_HI] = kEstaManHi;
  WriteTextField(p, r::SHORT_NAME, r::SHORT_NAME_SIZE, kShortName);
  WriteTextField(p, r::LONG_NAME, r::LONG_NAME_SIZE, kLongName);
  WriteTextField(p, r::NODE_REPORT, r::NODE_REPORT_SIZE, kNodeReport);
  p[r::NUM_PORTS_HI] = 0;
  p[r::NUM_PORTS_LO] = 1;
  p[r::PORT_TYPES] = kPortTypeDmxInOut;
  p[r::GOOD_INPUT] = kGoodData;
  p[r::GOOD_OUTPUT] = kGoodData;
  p[r::SW_IN] = PortAddress(settings.SubNet, settings.SendUniverse);
  p[r::SW_OUT] = PortAddress(settings.SubNet, settings.ReceiveUniverse);
  p[r::STYLE] = kStyleController;
  return p;
}

std::uint8_t NextSequence(std::uint8_t counter) { return counter == 255 ? 1 : counter + 1; }

std::size_t BuildArtDmx(ArtDmxPacket& out, std::uint8_t sequence, std::int32_t subNet, std::uint8_t universe,
                        std::span<const std::uint8_t> channels) {
  const std::size_t count = std::min(channels.size(), kMaxDmxChannels);
  const std::size_t length = std::max<std::size_t>(count, 2);
  WriteHeader(out, kOpDmx);
  out[header::PROT_VER_HI] = 0;
  out[header::PROT_VER_LO] = kProtocolVersion;
  out[dmx::SEQUENCE] = sequence;
  out[dmx::PHYSICAL] = 0;
  out[dmx::SUB_UNI] = PortAddress(subNet, universe);
  out[dmx::NET] = 0;
  out[dmx::LENGTH_HI] = static_cast<std::uint8_t>(length >> 8);
  out[dmx::LENGTH_LO] = static_cast<std::uint8_t>(length & 0xFF);
  std::copy_n(channels.begin(), count, out.begin() + dmx::DATA);
  // Only the padding of a frame shorter than two channels is zeroed: a
  // fill of the whole packet before the copy would cost as much again.
  std::fill(out.begin() + dmx::DATA + count, out.begin() + dmx::DATA + length, std::uint8_t{0});
  return kArtDmxHeaderSize + length;
}

}  // namespace artnet
