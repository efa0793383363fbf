#include "driver/pacing.h"

#include <limits>

#include "engine/automation_error.h"
#include "engine/conversions.h"
#include "engine/mod_main.h"
#include "driver/start_art_net.h"
#include "engine/senders.h"
#include "net/frm_main.h"

namespace artnet {
namespace {

constexpr std::int32_t kMaxChannel = 512;
constexpr double kWindowSeconds = 0.04;

void SendChannelBuffer(ModMain& mod) {
  const std::uint8_t universe = ToByte(mod.Settings.SendUniverse);
  SendArtDmx(mod, universe, mod.ChannelBuffer);
}

// A tick has nobody to report to: a failure is dropped, and a tick before
// any channel buffer exists has nothing to send.
void SendFromTick(ModMain& mod) {
  if (mod.Enabled == kFalse || !mod.ChannelBufferExists) return;
  try {
    SendChannelBuffer(mod);
  } catch (...) {
  }
}

}  // namespace

bool SetChannel(ModMain& mod, PacingStamps& stamps, std::int32_t channel, std::int32_t value) {
  if (channel > kMaxChannel) return false;
  if (channel > mod.HighestChannel) {
    mod.HighestChannel = channel;
    mod.ChannelBuffer.resize(static_cast<std::size_t>(channel), 0);
    mod.ChannelBufferExists = true;
  }
  if (channel == std::numeric_limits<std::int32_t>::min()) RaiseOverflow();  // channel - 1 overflows
  if (channel <= 0) RaiseSubscriptOutOfRange();
  mod.ChannelBuffer[static_cast<std::size_t>(channel - 1)] = ToByte(value);

  if (mod.Enabled == kFalse) return true;

  Clock& clock = mod.platform.GetClock();
  const float a = clock.SecondsSinceMidnight();
  const float b = clock.SecondsSinceMidnight();
  if (a <= stamps.NextSendTime && b >= stamps.LastSendTime) {
    const int error = mod.frmMain().timSend().SetEnabled(true);
    if (error != 0) throw AutomationError(error, "The send timer could not be started");
    return true;
  }
  SendChannelBuffer(mod);
  const float t = clock.SecondsSinceMidnight();
  stamps.LastSendTime = t;
  stamps.NextSendTime = static_cast<float>(static_cast<double>(t) + kWindowSeconds);
  return true;
}

void TimSendTick(ModMain& mod) {
  mod.frmMain().timSend().SetEnabled(false);
  SendFromTick(mod);
}

void TimResendTick(ModMain& mod) {
  if (mod.Enabled != kFalse) RecaptureStandInLocalAddress(mod);
  SendFromTick(mod);
}

}  // namespace artnet
