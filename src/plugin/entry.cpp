// The composition root: the loaded library's one module, on the Qt platform.
#include "driver/cls_output_driver.h"
#include "engine/module_state.h"
#include "lumenstage/output_driver.h"
#include "plugin/qt_platform.h"

namespace {

artnet::ModuleState& TheModule() {
  // Never destroyed: its timers and socket must not outlive the host's event loop
  // in a destructor that runs at process exit.
  static artnet::QtPlatform* platform = new artnet::QtPlatform();
  static artnet::ModuleState* module = new artnet::ModuleState(*platform);
  return *module;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) lumenstage::_clsOutputDriver* LmstCreateOutputDriver() {
  try {
    return new artnet::clsOutputDriver(TheModule());
  } catch (...) {
    return nullptr;
  }
}
