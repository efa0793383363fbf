#include "engine/dispatcher.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "engine/host_helper_ref.h"
#include "engine/module_state.h"
#include "engine/senders.h"
#include "protocol/conversions.h"
#include "protocol/packets.h"

namespace artnet {
namespace {

constexpr const char* kDmxInMethod = "LMST_DMXIn_SetChannel";

// The first N bytes of the datagram; bytes beyond its end read as zero.
template <std::size_t N>
std::array<std::uint8_t, N> Window(std::span<const std::uint8_t> datagram) {
  std::array<std::uint8_t, N> window{};
  std::copy_n(datagram.begin(), std::min(N, datagram.size()), window.begin());
  return window;
}

void HandlePoll(ModuleState& mod, std::span<const std::uint8_t> datagram, IPv4 sender) {
  const auto poll = Window<kArtPollSize>(datagram);
  // An answer to the broadcast address is charged to the poll's sender all the same.
  if (!mod.PollAnswers.Allow(sender, mod.clock.MonotonicSeconds())) return;
  if ((poll[poll::TALK_TO_ME] & 0x02) == 0x02) {
    SendPollReply(mod, sender);
  } else {
    SendPollReply(mod, mod.Settings.BroadcastAddress.Address());
  }
}

constexpr std::size_t kCompareBlock = 64;

// The host may run its event loop inside the helper call and so handle newer
// ArtDmx packets before it returns; they update the buffer and the shadow
// themselves. The loop therefore reads both afresh for every channel.
// Returns false when the rest must wait for the next packet.
bool PassChangedChannelsInBlock(DmxInput& input, std::size_t begin, std::size_t end) {
  for (std::size_t j = begin; j < end; ++j) {
    const std::uint8_t value = input.Buffer[j];
    const std::uint8_t previous = input.Shadow[j];
    if (value == previous) continue;
    const HostHelperRef helper(input.Helper.get());
    if (helper.get() == nullptr) return false;  // nobody to tell; offered again with the next packet
    const lumenstage::HelperArg args[] = {
        {lumenstage::HelperArg::Type::Long, static_cast<std::int32_t>(j + 1)},
        {lumenstage::HelperArg::Type::Byte, value},
    };
    // Recorded before the call, so a packet handled inside it compares with
    // what the host is being told: a different value follows this one, the
    // same value is not told twice. When the call returns the shadow thus
    // holds the buffer's value, unless a nested packet's value could not be
    // passed on and is still pending.
    input.Settled = 0;
    input.Shadow[j] = value;
    const std::uint32_t toldBefore = input.Told[j];
    if (helper.get()->Invoke(kDmxInMethod, args, 2) != 0) {
      // Not told after all: this and later channels stay pending. A value a
      // nested packet did tell the host stands, even one equal to this value.
      input.Settled = 0;  // a nested packet may have settled what is written back here
      if (input.Told[j] == toldBefore) input.Shadow[j] = previous;
      return false;
    }
    ++input.Told[j];
  }
  return true;
}

// Most frames repeat the last one: whole blocks are compared at once, and
// only a block that differs is walked channel by channel. A block is
// skipped only while it is equal, and nothing runs between that compare
// and the skip, so this visits exactly the channels a channel-by-channel
// walk would, even when a host call re-enters.
void PassChangedChannelsToHost(DmxInput& input, std::size_t length) {
  if (std::memcmp(input.Buffer.data(), input.Shadow.data(), length) == 0) {
    input.Settled = length;
    return;
  }
  for (std::size_t block = 0; block < length; block += kCompareBlock) {
    const std::size_t end = std::min(block + kCompareBlock, length);
    if (std::memcmp(&input.Buffer[block], &input.Shadow[block], end - block) == 0) continue;
    if (!PassChangedChannelsInBlock(input, block, end)) return;
  }
}

void HandleDmx(ModuleState& mod, std::span<const std::uint8_t> datagram) {
  if (datagram.size() < dmx::DATA) {
    const auto header = Window<dmx::DATA>(datagram);
    HandleDmx(mod, header);  // a datagram cut short within the header reads as zero-padded
    return;
  }
  if ((datagram[dmx::SUB_UNI] & 0x0F) != (mod.Settings.ReceiveUniverse & 0x0F)) return;
  const std::int16_t stored = static_cast<std::int16_t>(datagram[dmx::LENGTH_LO] << 8 | datagram[dmx::LENGTH_HI]);
  const std::int32_t length = std::min<std::int32_t>(SwapBytes(stored), kMaxDmxChannels);
  if (length <= 0) return;

  // Data missing from a short datagram counts as zero.
  const std::size_t available = datagram.size() > dmx::DATA ? datagram.size() - dmx::DATA : 0;
  const std::size_t copied = std::min<std::size_t>(available, length);
  DmxInput& input = mod.Input;
  const std::uint8_t* const data = datagram.data() + dmx::DATA;
  // A repeat of a settled frame: the buffer already holds it and the host has it.
  if (copied == static_cast<std::size_t>(length) && copied <= input.Settled &&
      std::memcmp(data, input.Buffer.data(), copied) == 0)
    return;
  input.Settled = 0;
  std::copy_n(data, copied, input.Buffer.begin());
  std::fill(input.Buffer.begin() + copied, input.Buffer.begin() + length, std::uint8_t{0});
  PassChangedChannelsToHost(input, static_cast<std::size_t>(length));
}

void Dispatch(ModuleState& mod, std::span<const std::uint8_t> datagram, IPv4 sender) {
  const std::optional<std::uint16_t> opCode = ArtNetOpCode(datagram);
  if (!opCode) return;
  switch (*opCode) {
    case kOpPoll:
      HandlePoll(mod, datagram, sender);
      break;
    case kOpPollReply: {
      const auto reply = Window<kArtPollReplySize>(datagram);
      mod.Nodes.AddNodeFromPollReply(reply);
      break;
    }
    case kOpDmx:
      HandleDmx(mod, datagram);
      break;
    default:
      break;
  }
}

}  // namespace

void HandleArtNetPacket(ModuleState& mod, std::span<const std::uint8_t> datagram, IPv4 sender) {
  try {
    Dispatch(mod, datagram, sender);
  } catch (...) {
    // A datagram that cannot be handled is dropped; the next one is handled normally.
  }
}

}  // namespace artnet
