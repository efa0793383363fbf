#include "engine/mod_main.h"

#include "net/frm_main.h"

namespace artnet {

ModMain::ModMain(Platform& platform_) : platform(platform_) {
  ChannelBuffer.reserve(512);  // growth up to a full universe never reallocates
}

ModMain::~ModMain() = default;

FrmMain& ModMain::frmMain() {
  if (!frmMain_) frmMain_ = std::make_unique<FrmMain>(*this);
  return *frmMain_;
}

}  // namespace artnet
