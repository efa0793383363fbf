#include "driver/start_art_net.h"

#include <string_view>
#include <vector>

#include "engine/automation_error.h"
#include "engine/conversions.h"
#include "engine/mod_main.h"
#include "engine/senders.h"
#include "net/endpoint.h"
#include "net/frm_main.h"

namespace artnet {

void StoreLocalAddress(const std::string& text, std::array<std::uint8_t, 4>& octets) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t dot = text.find('.', start);
    parts.emplace_back(std::string_view(text).substr(start, dot - start));
    if (dot == std::string::npos) break;
    start = dot + 1;
  }
  for (std::size_t i = 0; i < 4; ++i) {
    if (i >= parts.size()) RaiseSubscriptOutOfRange();
    octets[i] = RoundToByte(LeadingNumber(parts[i]));
  }
}

void StartArtNet(ModMain& mod, std::uint8_t subNet, std::uint8_t sendUniverse, std::uint8_t receiveUniverse,
                 const std::string& broadcastAddress) {
  mod.Nodes.Reset();
  mod.Settings.SubNet = subNet;
  mod.Settings.SendUniverse = sendUniverse;
  mod.Settings.ReceiveUniverse = receiveUniverse;
  mod.Settings.BroadcastAddress = broadcastAddress;
  OpenArtNetSocket(mod);

  std::string localIp;
  const int error = mod.frmMain().wskArtSend().GetLocalIP(localIp);
  if (error != 0) throw AutomationError(error, "The local address could not be read");
  StoreLocalAddress(localIp, mod.LocalAddress.ip);
  mod.LocalAddress.port = kArtNetPort;
  SendPollReply(mod, mod.Settings.BroadcastAddress);
}

}  // namespace artnet
