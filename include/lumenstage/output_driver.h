// Interface between a Lumenstage host and an output-driver plug-in.
//
// A host loads the plug-in library, calls LmstCreateOutputDriver() and
// drives the object through the seven methods of _clsOutputDriver, all on
// the thread that runs its event loop (the Qt one on Linux; on Windows the
// same methods arrive through the automation server, from the thread of the
// object's apartment, with its message loop). Every method returns a Status
// (0 = success, otherwise an automation error number) and delivers its
// result through the trailing out-parameter; on failure the result is
// false (or empty).
#pragma once

#include <cstdint>
#include <string>

#include "lumenstage/automation_errors.h"
#include "lumenstage/plugin_helper.h"

namespace lumenstage {

// Automation booleans: true is -1.
using VBool = std::int16_t;
inline constexpr VBool kTrue = -1;
inline constexpr VBool kFalse = 0;

struct [[nodiscard]] Status {
  std::int32_t error = 0;        // 0 on success
  const char* description = "";  // static text, never freed by the host

  constexpr bool ok() const { return error == 0; }
};

// The output driver's default interface, methods in their dispatch order.
class _clsOutputDriver {
 public:
  virtual Status Disable(VBool* result) = 0;
  virtual Status Enable(VBool* result) = 0;
  virtual Status PluginName(std::string* result) = 0;
  virtual Status SetChannel(std::int32_t Channel, std::int32_t value, VBool* result) = 0;
  virtual Status Configure(VBool* result) = 0;
  virtual Status Init(const std::string& CallingAppTitle, const std::string& MyFilename,
                      IPluginHelper* LMSTPluginHelper, VBool* result) = 0;
  virtual Status Term(VBool* result) = 0;
  // Destroys the object; the host calls it instead of delete.
  virtual void Release() = 0;

 protected:
  ~_clsOutputDriver() = default;
};

}  // namespace lumenstage

// Creates a clsOutputDriver. A QCoreApplication (or QApplication) must exist.
extern "C" lumenstage::_clsOutputDriver* LmstCreateOutputDriver();
inline constexpr const char* kLmstCreateOutputDriverSymbol = "LmstCreateOutputDriver";
