#include "engine/pacing.h"

#include <limits>

#include "engine/local_address.h"
#include "engine/module_state.h"
#include "engine/senders.h"
#include "engine/transport.h"
#include "protocol/automation_error.h"
#include "protocol/conversions.h"

namespace artnet {
namespace {

constexpr std::int32_t kMaxChannel = 512;
constexpr double kWindowSeconds = 0.04;

// A tick has nobody to report to: a failure is dropped, and a tick before
// any channel buffer exists has nothing to send.
void SendFromTick(ModuleState& mod) {
  if (!mod.Enabled || !mod.Output.Exists) return;
  try {
    SendArtDmx(mod, ToByte(mod.Settings.SendUniverse), mod.Output.Buffer);
  } catch (...) {
  }
}

}  // namespace

bool SetChannel(ModuleState& mod, PacingStamps& stamps, std::int32_t channel, std::int32_t value) {
  if (channel > kMaxChannel) return false;
  if (channel > mod.Output.HighestChannel) {
    mod.Output.HighestChannel = channel;
    mod.Output.Buffer.resize(static_cast<std::size_t>(channel), 0);
    mod.Output.Exists = true;
  }
  if (channel == std::numeric_limits<std::int32_t>::min()) RaiseOverflow();  // channel - 1 overflows
  if (channel <= 0) RaiseSubscriptOutOfRange();
  mod.Output.Buffer[static_cast<std::size_t>(channel - 1)] = ToByte(value);

  if (!mod.Enabled) return true;

  Clock& clock = mod.clock;
  const float a = clock.SecondsSinceMidnight();
  const float b = clock.SecondsSinceMidnight();
  if (a <= stamps.NextSendTime && b >= stamps.LastSendTime) {
    const int error = mod.Network ? mod.Network->ArmFlush() : 0;
    if (error != 0) throw AutomationError(error, "The send timer could not be started");
    return true;
  }
  SendArtDmx(mod, ToByte(mod.Settings.SendUniverse), mod.Output.Buffer);
  const float t = clock.SecondsSinceMidnight();
  stamps.LastSendTime = t;
  stamps.NextSendTime = static_cast<float>(static_cast<double>(t) + kWindowSeconds);
  return true;
}

void OnFlushTimer(ModuleState& mod) {
  mod.Network->DisarmFlush();
  SendFromTick(mod);
}

void OnRefreshTimer(ModuleState& mod) {
  if (mod.Enabled) RecaptureStandInLocalAddress(mod);
  SendFromTick(mod);
}

}  // namespace artnet
