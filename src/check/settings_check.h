#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "check/report.h"
#include "platform/interfaces/settings_store.h"
#include "protocol/conversions.h"

namespace artnet::check {

// Where the plug-in's settings are kept, and whether they can be read at all.
struct SettingsSource {
  std::string appTitle;   // the host's title: the first part of the section
  std::string fileName;   // the plug-in's file name: the last part
  std::string location;   // the file or registry key, as the owner would look for it
  std::string readError;  // why the store cannot be read; empty when it can
};

// The settings as the plug-in will work with them.
struct PluginSettings {
  std::string addressText;
  std::optional<IPv4> destination;  // none: what the plug-in sends is lost
  bool starts = true;               // Init and Enable accept every value
  std::uint8_t subNet = 0;          // the low four bits, as they go into packets
  std::uint8_t sendUniverse = 0;
  std::uint8_t receiveUniverse = 1;
};

// "0:S:U", net, sub-net and universe as consoles and nodes write them.
std::string UniverseText(int net, int subNet, int universe);

// Reads the four settings through the plug-in's own store and keys, and says
// what the plug-in makes of each.
Section CheckSettings(SettingsStore& store, const SettingsSource& source, PluginSettings& out);

}  // namespace artnet::check
