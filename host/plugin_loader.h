// Loads an output-driver plug-in library and finds its factory.
#pragma once

#include <string>

#include "lumenstage/output_driver.h"

namespace lumenhost {

struct LoadedPlugin {
  using Factory = lumenstage::_clsOutputDriver* (*)();
  Factory create = nullptr;
  std::string path;      // as opened
  std::string fileName;  // last path component, what a host passes to Init
};

// Opens the library (never closed: a plug-in may keep timers and sockets
// alive until the process ends). On failure returns false and sets error.
bool LoadPlugin(const std::string& path, LoadedPlugin& plugin, std::string& error);

// libArtNet.so beside the running executable.
std::string DefaultPluginPath();

}  // namespace lumenhost
