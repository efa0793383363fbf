// Datagrams for flood tests: random bytes, forged ArtPollReply with distinct
// addresses, full-universe ArtDmx in which every channel changes, or Art-Net
// packets cut short of their size.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <random>
#include <string>

#include "peer_packets.h"

namespace artnetpeer {

enum class FloodKind { Random, PollReply, Dmx, Truncated };

std::optional<FloodKind> ParseFloodKind(const std::string& text);

class FloodMaker {
 public:
  FloodMaker(FloodKind kind, std::uint8_t universe, std::uint64_t seed);

  // Datagram number `index` of the flood; the same seed gives the same flood.
  const Bytes& Make(std::uint64_t index);

 private:
  FloodKind kind_;
  std::uint8_t universe_;
  std::mt19937_64 random_;
  Bytes packet_;
  std::array<Bytes, 3> whole_;  // what a truncated flood cuts short
};

}  // namespace artnetpeer
