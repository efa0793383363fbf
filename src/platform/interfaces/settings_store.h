#pragma once

#include <string>

namespace artnet {

// Per-user store of string values addressed by application name, section and key.
class SettingsStore {
 public:
  virtual ~SettingsStore() = default;

  virtual std::string GetSetting(const std::string& appName, const std::string& section, const std::string& key,
                                 const std::string& defaultValue) = 0;
  // Returns 0, or an automation error number (75 when the file or folder
  // cannot be written) with everything stored before left as it was.
  virtual int SaveSetting(const std::string& appName, const std::string& section, const std::string& key,
                          const std::string& value) = 0;
};

}  // namespace artnet
