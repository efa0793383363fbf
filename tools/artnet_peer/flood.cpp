#include "flood.h"

namespace artnetpeer {
namespace {

// An ArtDmx claiming all 512 channels of the universe, all zero.
Bytes FullUniverse(std::uint8_t universe) {
  Dmx dmx;
  dmx.subUni = universe;
  dmx.length = static_cast<std::uint16_t>(kDmxMaxValues);
  dmx.data.assign(kDmxMaxValues, 0);
  return EncodeDmx(dmx);
}

}  // namespace

std::optional<FloodKind> ParseFloodKind(const std::string& text) {
  if (text == "random") return FloodKind::Random;
  if (text == "pollreply") return FloodKind::PollReply;
  if (text == "dmx") return FloodKind::Dmx;
  if (text == "truncated") return FloodKind::Truncated;
  return std::nullopt;
}

FloodMaker::FloodMaker(FloodKind kind, std::uint8_t universe, std::uint64_t seed)
    : kind_(kind), universe_(universe), random_(seed) {
  if (kind_ == FloodKind::PollReply) {
    PollReply reply;
    reply.shortName = "flood";
    reply.numPorts = 1;
    reply.portTypes = {0x80, 0, 0, 0};
    packet_ = EncodePollReply(reply);
  } else if (kind_ == FloodKind::Dmx) {
    packet_ = FullUniverse(universe_);
  } else if (kind_ == FloodKind::Truncated) {
    whole_ = {EncodePoll(Poll{}), EncodePollReply(PollReply{}), FullUniverse(universe_)};
  }
}

const Bytes& FloodMaker::Make(std::uint64_t index) {
  switch (kind_) {
    case FloodKind::Random: {
      // Half plain noise, half an Art-Net header with a random OpCode (now
      // and then a known one) and noise behind it, so the dispatcher's
      // branches are reached, not just its first check.
      const std::size_t length = random_() % 1473;  // up to one unfragmented Ethernet frame
      packet_.resize(length);
      for (auto& byte : packet_) byte = static_cast<std::uint8_t>(random_());
      if (index % 2 == 1 && length >= 10) {
        static constexpr char kId[8] = {'A', 'r', 't', '-', 'N', 'e', 't', 0};
        std::copy(kId, kId + 8, packet_.begin());
        static constexpr std::uint16_t kOps[] = {kOpPollReply, kOpDmx, 0x2000};
        const std::uint64_t pick = random_() % 4;
        if (pick < 3) {
          packet_[off::OPCODE] = static_cast<std::uint8_t>(kOps[pick] & 0xFF);
          packet_[off::OPCODE + 1] = static_cast<std::uint8_t>(kOps[pick] >> 8);
        }
      }
      break;
    }
    case FloodKind::PollReply: {
      // A distinct node address for each datagram, and varying switches.
      const std::uint32_t address = 0x0A000000u | static_cast<std::uint32_t>(index & 0xFFFFFF);
      for (int i = 0; i < 4; ++i) packet_[off::IP + i] = static_cast<std::uint8_t>(address >> (24 - 8 * i));
      packet_[off::NETSWITCH] = static_cast<std::uint8_t>(random_() & 0x7F);
      packet_[off::SUBSWITCH] = static_cast<std::uint8_t>(random_() & 0x0F);
      break;
    }
    case FloodKind::Truncated: {
      // A whole ArtPoll, ArtPollReply or ArtDmx cut anywhere short of its
      // size: readers must not trust the Length field or read past the end.
      const Bytes& whole = whole_[random_() % whole_.size()];
      packet_.assign(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(random_() % whole.size()));
      if (Classify(packet_) == PacketKind::Dmx) {
        for (std::size_t j = off::DATA; j < packet_.size(); ++j) packet_[j] = static_cast<std::uint8_t>(index + j);
      }
      break;
    }
    case FloodKind::Dmx: {
      // Every channel differs from the previous datagram: 512 host calls each.
      packet_[off::SEQUENCE] = static_cast<std::uint8_t>(index);
      for (std::size_t j = 0; j < kDmxMaxValues; ++j) packet_[off::DATA + j] = static_cast<std::uint8_t>(index + j);
      break;
    }
  }
  return packet_;
}

}  // namespace artnetpeer
