#pragma once

#include <string>

#include "platform/interfaces/settings_store.h"

namespace artnet {

// Settings where classic Windows programs keep theirs (GetSetting,
// SaveSetting): the value `key` (REG_SZ) of the key
// HKEY_CURRENT_USER\Software\VB and VBA Program Settings\<appName>\<section>.
// A backslash in the section makes nested keys ("Plugins\ArtNet.dll" is the
// key ArtNet.dll inside Plugins); empty parts between backslashes are
// skipped. Text is UTF-8 here, UTF-16 in the registry. Nothing is stored
// for an empty application name (nor one made of backslashes only).
class RegistrySettingsStore final : public SettingsStore {
 public:
  std::string GetSetting(const std::string& appName, const std::string& section, const std::string& key,
                         const std::string& defaultValue) override;
  int SaveSetting(const std::string& appName, const std::string& section, const std::string& key,
                  const std::string& value) override;

  // The key's path below HKEY_CURRENT_USER, as UTF-8; empty without an application name.
  static std::string KeyPath(const std::string& appName, const std::string& section);
};

}  // namespace artnet
