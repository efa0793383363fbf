#pragma once

#include <memory>

#include "platform/socket_control.h"
#include "platform/timer.h"

namespace artnet {

class ModMain;

// The hidden form: owner of the socket control and the two send timers.
// Created on first use, it lives as long as the module.
class FrmMain {
 public:
  static constexpr int kSendIntervalMs = 50;
  static constexpr int kResendIntervalMs = 4000;

  explicit FrmMain(ModMain& mod);

  SocketControl& wskArtSend() { return *wskArtSend_; }
  Timer& timSend() { return *timSend_; }
  Timer& timResend() { return *timResend_; }

 private:
  std::unique_ptr<SocketControl> wskArtSend_;
  std::unique_ptr<Timer> timSend_;
  std::unique_ptr<Timer> timResend_;
};

}  // namespace artnet
