#include "net/frm_main.h"

#include "driver/pacing.h"
#include "engine/mod_main.h"
#include "net/endpoint.h"

namespace artnet {

FrmMain::FrmMain(ModMain& mod)
    : wskArtSend_(mod.platform.CreateSocketControl()),
      timSend_(mod.platform.CreateTimer()),
      timResend_(mod.platform.CreateTimer()) {
  wskArtSend_->SetLocalPort(0);  // a send before the first open goes out from a free port
  wskArtSend_->SetDataArrivalHandler([&mod] { OnDataArrival(mod); });
  wskArtSend_->SetWritableHandler([&mod] { OnSocketWritable(mod); });

  timSend_->SetInterval(kSendIntervalMs);
  timSend_->SetTickHandler([&mod] { TimSendTick(mod); });

  timResend_->SetInterval(kResendIntervalMs);
  timResend_->SetTickHandler([&mod] { TimResendTick(mod); });
  timResend_->SetEnabled(true);
}

}  // namespace artnet
