#pragma once

#include "lumenstage/plugin_helper.h"
#include "platform/win32/windows_support.h"

namespace artnet {

// The host's helper object as the engine sees it: late-bound calls by name
// on the IDispatch the host handed to Init. Reference-counted on its own; it
// holds one reference to the host's object for its whole life.
class DispatchHelper final : public lumenstage::IPluginHelper {
 public:
  // Starts with one reference, owned by the caller.
  explicit DispatchHelper(IDispatch* target);
  DispatchHelper(const DispatchHelper&) = delete;
  DispatchHelper& operator=(const DispatchHelper&) = delete;

  void AddRef() override;
  void Release() override;
  // Returns 0, or the automation error number of the failure: the callee's
  // own error, or 438 when it has no such method.
  std::int32_t Invoke(const char* method, const lumenstage::HelperArg* args, std::int32_t count) override;

 private:
  ~DispatchHelper();
  // Looked up on every call: a script host may add or replace the method
  // while the plug-in runs.
  HRESULT FindMethod(const char* method, DISPID* id);

  ULONG refs_ = 1;
  win32::ComPtr<IDispatch> target_;
};

}  // namespace artnet
