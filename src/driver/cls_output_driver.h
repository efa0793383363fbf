#pragma once

#include <string>

#include "engine/pacing.h"
#include "lumenstage/output_driver.h"

namespace artnet {

class ModuleState;

// The object the host drives. Holds only its own names and pacing stamps;
// everything else is module-wide in ModuleState.
class clsOutputDriver final : public lumenstage::_clsOutputDriver {
 public:
  explicit clsOutputDriver(ModuleState& mod) : mod_(mod) {}
  ~clsOutputDriver() = default;

  lumenstage::Status Disable(lumenstage::VBool* result) override;
  lumenstage::Status Enable(lumenstage::VBool* result) override;
  lumenstage::Status PluginName(std::string* result) override;
  lumenstage::Status SetChannel(std::int32_t Channel, std::int32_t value, lumenstage::VBool* result) override;
  lumenstage::Status Configure(lumenstage::VBool* result) override;
  lumenstage::Status Init(const std::string& CallingAppTitle, const std::string& MyFilename,
                          lumenstage::IPluginHelper* LMSTPluginHelper, lumenstage::VBool* result) override;
  lumenstage::Status Term(lumenstage::VBool* result) override;
  // Deferred while a method runs: a host may release the object from inside
  // a nested loop that one of its methods opened (a message box, the dialog,
  // a helper that pumps messages).
  void Release() override;

  // The bodies of the seven calls: they throw AutomationError, and the
  // caller is the call's one exception boundary (HostCall): the methods
  // above on Linux, the automation server's methods on Windows. Each returns
  // the call's result.
  bool RunInit(const std::string& CallingAppTitle, const std::string& MyFilename,
               lumenstage::IPluginHelper* LMSTPluginHelper);
  bool RunEnable();
  bool RunDisable();
  bool RunTerm();
  bool RunSetChannel(std::int32_t Channel, std::int32_t value);
  bool RunConfigure();
  static const char* RunPluginName();

  const std::string& AppTitle() const { return AppTitle_; }
  const std::string& PluginFileName() const { return PluginFileName_; }
  const PacingStamps& Stamps() const { return stamps_; }

 private:
  std::string Section() const;
  void LoadSettings();
  void SaveSettings();

  // Counts the methods running on this object, nested ones included.
  class CallScope {
   public:
    explicit CallScope(clsOutputDriver& driver) : driver_(driver) { ++driver_.callsRunning_; }
    ~CallScope();
    CallScope(const CallScope&) = delete;
    CallScope& operator=(const CallScope&) = delete;

   private:
    clsOutputDriver& driver_;
  };

  ModuleState& mod_;
  int callsRunning_ = 0;
  bool released_ = false;
  std::string AppTitle_;
  std::string PluginFileName_;
  PacingStamps stamps_;
};

}  // namespace artnet
