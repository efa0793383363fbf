// The helper object a Lumenstage host hands to its output-driver plug-in:
// the plug-in's one way to call back into the host.
#pragma once

#include <cstdint>

namespace lumenstage {

// One by-value argument of a late-bound helper call.
struct HelperArg {
  enum class Type : std::int32_t { Long = 3, Byte = 17 };  // automation variant types
  Type type;
  std::int32_t value;
};

// The host's helper object, handed to Init. The plug-in keeps a reference
// (AddRef) until Init replaces it or the library is unloaded.
class IPluginHelper {
 public:
  virtual void AddRef() = 0;
  virtual void Release() = 0;
  // Late-bound call of a method by name with by-value arguments.
  // Returns 0, or the automation error number of the failure.
  virtual std::int32_t Invoke(const char* method, const HelperArg* args, std::int32_t count) = 0;

 protected:
  ~IPluginHelper() = default;
};

}  // namespace lumenstage
