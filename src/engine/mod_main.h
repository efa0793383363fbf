#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/host_helper_ref.h"
#include "engine/node_table.h"
#include "engine/packets.h"
#include "engine/settings.h"
#include "platform/platform.h"

namespace artnet {

class FrmMain;

inline constexpr std::int16_t kTrue = -1;
inline constexpr std::int16_t kFalse = 0;

// An ArtDmx the socket could not take when it was sent; it leaves as soon as
// the socket can take it, unless a newer frame leaves first.
struct PendingDmx {
  bool waiting = false;
  std::string destination;
  ArtDmxPacket bytes{};
  std::size_t length = 0;
};

// Module-wide state: one copy per loaded plug-in, shared by every
// clsOutputDriver instance. The routines that work on it are free functions
// in engine/, net/ and driver/.
class ModMain {
 public:
  explicit ModMain(Platform& platform);
  ~ModMain();
  ModMain(const ModMain&) = delete;
  ModMain& operator=(const ModMain&) = delete;

  Platform& platform;

  ArtNetSettings Settings;
  std::int16_t Enabled = kFalse;
  LocalAddressRecord LocalAddress;
  // Loopback stood in for the address at Enable; the refresh looks again.
  bool LocalAddressIsStandIn = false;
  HostHelperRef HostHelper;

  // Slot k holds channel k + 1; does not exist until the first Init or SetChannel.
  std::vector<std::uint8_t> ChannelBuffer;
  bool ChannelBufferExists = false;
  std::int32_t HighestChannel = 0;

  std::uint8_t SequenceCounter = 0;
  bool PortInUseWarned = false;
  // The destination text last reported as unusable, until the setting is usable again.
  std::optional<std::string> UnusableAddressWarned;
  PendingDmx PendingOutput;

  NodeTable Nodes;

  std::array<std::uint8_t, 512> DmxInputBuffer{};
  std::array<std::uint8_t, 512> DmxInputShadow{};

  // The hidden form with the socket control and the timers, created on first use.
  FrmMain& frmMain();
  bool FrmMainLoaded() const { return frmMain_ != nullptr; }

 private:
  std::unique_ptr<FrmMain> frmMain_;
};

}  // namespace artnet
