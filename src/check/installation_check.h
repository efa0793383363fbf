#pragma once

#include <string>
#include <vector>

#include "check/report.h"

namespace artnet::check {

// The class's registration in one scope of one registry view.
struct ClassRegistration {
  bool found = false;
  std::string path;  // InprocServer32 as registered
  bool fileExists = false;
  bool folderExists = false;
  std::string version;  // the file's version; empty when unreadable
};

// What COM finds for a host of one bitness.
struct HostRegistrations {
  std::string host;           // "32-bit host", "64-bit host"
  bool exists = true;         // false: no such hosts on this Windows (32-bit Windows has no 64-bit ones)
  bool mainHost = false;      // Lumenstage is of this bitness
  ClassRegistration user;     // HKCU\Software\Classes: read first
  ClassRegistration machine;  // HKLM\Software\Classes
};

// Which ArtNet.dll each host loads, and what is wrong with the registrations.
Section CheckInstallation(const std::vector<HostRegistrations>& hosts);

}  // namespace artnet::check
