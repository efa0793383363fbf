#pragma once

#include "lumenstage/plugin_helper.h"

namespace artnet {

// Holds one reference to the host's helper object: the module's, and one for
// the duration of each call into the helper, so a host that hands over a new
// helper from inside that call cannot free the object whose method is running.
class HostHelperRef {
 public:
  HostHelperRef() = default;
  explicit HostHelperRef(lumenstage::IPluginHelper* helper) { Reset(helper); }
  HostHelperRef(const HostHelperRef&) = delete;
  HostHelperRef& operator=(const HostHelperRef&) = delete;
  ~HostHelperRef() { Reset(nullptr); }

  void Reset(lumenstage::IPluginHelper* helper) {
    if (helper != nullptr) helper->AddRef();
    lumenstage::IPluginHelper* old = helper_;
    helper_ = helper;
    if (old != nullptr) old->Release();
  }
  // Takes over the one reference the caller owns.
  void Adopt(lumenstage::IPluginHelper* helper) {
    Reset(helper);
    if (helper != nullptr) helper->Release();
  }
  lumenstage::IPluginHelper* get() const { return helper_; }
  // Lets go without releasing: for a helper whose apartment has gone with
  // its thread, where no call into it may be made any more.
  void Abandon() { helper_ = nullptr; }

 private:
  lumenstage::IPluginHelper* helper_ = nullptr;
};

}  // namespace artnet
