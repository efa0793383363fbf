#include "driver/cls_output_driver.h"

#include "driver/dialog_services.h"
#include "driver/host_call.h"
#include "driver/settings_keys.h"
#include "engine/endpoint.h"
#include "engine/module_state.h"
#include "engine/start_art_net.h"
#include "protocol/automation_error.h"
#include "protocol/conversions.h"
#include "protocol/node_config.h"

namespace artnet {
namespace {

constexpr const char* kPluginName = "ArtNet Plugin";

// A method with a boolean result: false unless the body finished.
template <typename Body>
lumenstage::Status BoolCall(lumenstage::VBool* result, Body&& body) {
  bool value = false;
  const lumenstage::Status status = HostCall(value, body);
  if (result != nullptr) *result = status.ok() && value ? lumenstage::kTrue : lumenstage::kFalse;
  return status;
}

}  // namespace

clsOutputDriver::CallScope::~CallScope() {
  if (--driver_.callsRunning_ == 0 && driver_.released_) delete &driver_;
}

void clsOutputDriver::Release() {
  if (callsRunning_ > 0) {
    released_ = true;
    return;
  }
  delete this;
}

std::string clsOutputDriver::Section() const { return kSectionPrefix + PluginFileName_; }

lumenstage::Status clsOutputDriver::Init(const std::string& CallingAppTitle, const std::string& MyFilename,
                                         lumenstage::IPluginHelper* LMSTPluginHelper, lumenstage::VBool* result) {
  const CallScope scope(*this);
  return BoolCall(result, [&] { return RunInit(CallingAppTitle, MyFilename, LMSTPluginHelper); });
}

lumenstage::Status clsOutputDriver::Enable(lumenstage::VBool* result) {
  const CallScope scope(*this);
  return BoolCall(result, [&] { return RunEnable(); });
}

lumenstage::Status clsOutputDriver::Disable(lumenstage::VBool* result) {
  const CallScope scope(*this);
  return BoolCall(result, [&] { return RunDisable(); });
}

lumenstage::Status clsOutputDriver::Term(lumenstage::VBool* result) {
  const CallScope scope(*this);
  return BoolCall(result, [&] { return RunTerm(); });
}

lumenstage::Status clsOutputDriver::SetChannel(std::int32_t Channel, std::int32_t value, lumenstage::VBool* result) {
  const CallScope scope(*this);
  return BoolCall(result, [&] { return RunSetChannel(Channel, value); });
}

lumenstage::Status clsOutputDriver::Configure(lumenstage::VBool* result) {
  const CallScope scope(*this);
  return BoolCall(result, [&] { return RunConfigure(); });
}

lumenstage::Status clsOutputDriver::PluginName(std::string* result) {
  const CallScope scope(*this);
  std::string name;
  const lumenstage::Status status = HostCall(name, [] { return std::string(RunPluginName()); });
  if (result != nullptr) *result = status.ok() ? std::move(name) : std::string();
  return status;
}

bool clsOutputDriver::RunInit(const std::string& CallingAppTitle, const std::string& MyFilename,
                              lumenstage::IPluginHelper* LMSTPluginHelper) {
  AppTitle_ = CallingAppTitle;
  PluginFileName_ = MyFilename;
  mod_.Input.Helper.Reset(LMSTPluginHelper);
  LoadSettings();
  mod_.Output.Buffer.assign(1, 0);
  mod_.Output.Exists = true;
  mod_.Output.HighestChannel = 0;
  return false;
}

void clsOutputDriver::LoadSettings() {
  SettingsStore& store = mod_.platform.Settings();
  const std::string section = Section();
  mod_.Settings.BroadcastAddress = store.GetSetting(AppTitle_, section, kKeyBroadcastAddress, "255.255.255.255");
  mod_.Settings.SubNet = TextToLong(store.GetSetting(AppTitle_, section, kKeySubNet, "0"));
  mod_.Settings.SendUniverse = TextToLong(store.GetSetting(AppTitle_, section, kKeySendUniverse, "0"));
  mod_.Settings.ReceiveUniverse = TextToLong(store.GetSetting(AppTitle_, section, kKeyReceiveUniverse, "1"));
}

// Stops at the first value the store refuses; the values saved before it stay saved.
void clsOutputDriver::SaveSettings() {
  SettingsStore& store = mod_.platform.Settings();
  const std::string section = Section();
  const auto save = [&](const char* key, const std::string& value) {
    if (const int error = store.SaveSetting(AppTitle_, section, key, value); error != 0) {
      throw AutomationError(error, lumenstage::kErrPathFileAccess.description);
    }
  };
  save(kKeyBroadcastAddress, mod_.Settings.BroadcastAddress);
  save(kKeySubNet, LongToText(mod_.Settings.SubNet));
  save(kKeySendUniverse, LongToText(mod_.Settings.SendUniverse));
  save(kKeyReceiveUniverse, LongToText(mod_.Settings.ReceiveUniverse));
}

bool clsOutputDriver::RunEnable() {
  const std::string broadcastAddress = mod_.Settings.BroadcastAddress;
  const std::uint8_t receiveUniverse = ToByte(mod_.Settings.ReceiveUniverse);
  const std::uint8_t sendUniverse = ToByte(mod_.Settings.SendUniverse);
  const std::uint8_t subNet = ToByte(mod_.Settings.SubNet);
  StartArtNet(mod_, subNet, sendUniverse, receiveUniverse, broadcastAddress);
  mod_.Enabled = true;
  return true;
}

bool clsOutputDriver::RunDisable() {
  CloseArtNetSocket(mod_);
  mod_.Enabled = false;
  return true;
}

bool clsOutputDriver::RunTerm() {
  SaveSettings();
  CloseArtNetSocket(mod_);
  return false;
}

bool clsOutputDriver::RunSetChannel(std::int32_t Channel, std::int32_t value) {
  return artnet::SetChannel(mod_, stamps_, Channel, value);
}

bool clsOutputDriver::RunConfigure() {
  ModuleDialogServices services(mod_);
  const int error = mod_.platform.Dialogs().ShowConfigDialog(services);
  if (error != 0) throw AutomationError(error, "The configuration dialog cannot be shown without a GUI");
  return false;
}

const char* clsOutputDriver::RunPluginName() { return kPluginName; }

}  // namespace artnet
