#pragma once

#include <string>

#include "platform/interfaces/settings_store.h"

namespace artnet {

// Settings in a plain INI file a person can read and edit:
// ${XDG_CONFIG_HOME:-$HOME/.config}/lumenstage/plugins.ini, one section
// "[<appName>\<section>]" per pair, lines "key=value". Reads go to the file
// every time, so hand edits are seen at once; blanks around names and values
// and the letter case of names do not matter. Nothing is stored for an empty
// application name.
class IniSettingsStore final : public SettingsStore {
 public:
  std::string GetSetting(const std::string& appName, const std::string& section, const std::string& key,
                         const std::string& defaultValue) override;
  int SaveSetting(const std::string& appName, const std::string& section, const std::string& key,
                  const std::string& value) override;

  // The file's path for the current environment.
  static std::string FilePath();
};

}  // namespace artnet
