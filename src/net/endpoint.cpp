#include "net/endpoint.h"

#include <array>

#include "engine/automation_error.h"
#include "engine/dispatcher.h"
#include "engine/mod_main.h"
#include "engine/packets.h"
#include "net/frm_main.h"

namespace artnet {
namespace {

// Remembers the last failure of a sequence of steps, each of which runs regardless.
struct LastFailure {
  int error = 0;
  void operator()(int stepError) {
    if (stepError != 0) error = stepError;
  }
};

}  // namespace

void OpenArtNetSocket(ModMain& mod) {
  SocketControl& wsk = mod.frmMain().wskArtSend();
  int state = kSockStateClosed;
  if (wsk.GetState(state) == 0 && (state == kSockStateOpen || state == kSockStateConnected)) return;
  wsk.Close();
  wsk.SetLocalPort(kArtNetPort);
  wsk.SetRemotePort(kArtNetPort);
  wsk.SetRemoteHost(mod.Settings.BroadcastAddress);
  wsk.Bind(kArtNetPort);
}

void SendArtNetPacket(ModMain& mod, const std::string destination, std::span<const std::uint8_t> packet) {
  SocketControl& wsk = mod.frmMain().wskArtSend();
  LastFailure failure;
  failure(wsk.SetRemotePort(kArtNetPort));
  failure(wsk.SetRemoteHost(destination));
  failure(wsk.SendData(packet));

  if (failure.error == kSockErrAddressInUse) {
    if (!mod.PortInUseWarned) {
      // Marked before showing: sends inside the box's modal loop must not stack more boxes.
      mod.PortInUseWarned = true;
      mod.platform.Messages().ShowCritical(kPortInUseWarning);
    }
    // Sends made inside the box's modal loop may have pointed the control elsewhere.
    wsk.SetRemotePort(kArtNetPort);
    wsk.SetRemoteHost(destination);
    wsk.SetLocalPort(0);
    wsk.SendData(packet);  // from a free port; a failure here is ignored
    return;
  }
  int localPort = 0;
  if (wsk.GetLocalPort(localPort) != 0 || localPort == kArtNetPort) {
    mod.PortInUseWarned = false;  // back on the Art-Net port: warn again at the next conflict
  } else {
    wsk.Close();  // the next send tries the Art-Net port again
    wsk.SetLocalPort(kArtNetPort);
  }
}

void CloseArtNetSocket(ModMain& mod) {
  const int error = mod.frmMain().wskArtSend().Close();
  if (error != 0) throw AutomationError(error, "The socket could not be closed");
}

void OnDataArrival(ModMain& mod) {
  // Only the first 530 bytes are ever read; a longer datagram is handled as its first 530.
  std::array<std::uint8_t, kArtDmxMaxSize> datagram;
  std::size_t length = 0;
  if (mod.frmMain().wskArtSend().GetData(datagram, length) != 0) return;
  if (length == 0) return;
  HandleArtNetPacket(mod, std::span<const std::uint8_t>(datagram.data(), length));
}

std::string DatagramSender(ModMain& mod) {
  std::string ip;
  mod.frmMain().wskArtSend().GetRemoteHostIP(ip);
  return ip;
}

}  // namespace artnet
