#include "check/installation_check.h"

namespace artnet::check {
namespace {

std::string FileState(const ClassRegistration& registration) {
  if (registration.fileExists) return "exists";
  return registration.folderExists ? "MISSING" : "MISSING (folder gone)";
}

}  // namespace

Section CheckInstallation(const std::vector<HostRegistrations>& hosts) {
  Section section{"Installation", {{"host", "scope", "ArtNet.dll registered", "version", "file", "loaded"}, {}}, {}};
  for (const HostRegistrations& host : hosts) {
    if (!host.exists) {
      section.table.rows.push_back({host.host, "-", "(no such hosts on 32-bit Windows)", "", "", ""});
      continue;
    }
    const ClassRegistration* loaded = host.user.found ? &host.user : host.machine.found ? &host.machine : nullptr;
    const auto row = [&](const char* scope, const ClassRegistration& registration) {
      if (!registration.found) return;
      section.table.rows.push_back({host.host, scope, registration.path,
                                    registration.version.empty() ? "?" : registration.version, FileState(registration),
                                    &registration == loaded ? "yes" : "no (shadowed)"});
    };
    row("just for you", host.user);
    row("for everyone", host.machine);
    if (loaded == nullptr) {
      section.table.rows.push_back({host.host, "-", "(not registered)", "", "", "no"});
      if (host.mainHost) {
        section.Error("ArtNet is not registered for " + host.host +
                          "s such as Lumenstage: ArtNet is missing from its "
                          "list of output plug-ins.",
                      "Run the ArtNet setup (or register the 32-bit ArtNet.dll with the 32-bit regsvr32 in "
                      "C:\\Windows\\SysWOW64).");
      } else {
        section.Note("No ArtNet for " + host.host + "s; Lumenstage is 32-bit and does not need it.");
      }
      continue;
    }
    if (host.user.found && host.machine.found) {
      section.Error("ArtNet is installed twice for " + host.host +
                        "s, just for you and for everyone: Lumenstage "
                        "loads the one just for you (" +
                        host.user.path +
                        "), and a Lumenstage run as administrator "
                        "loads the other (" +
                        host.machine.path + "). After an update they may differ.",
                    "Remove one of them in Apps & features (or run the setup again: it keeps one installation).");
    }
    if (!loaded->fileExists) {
      section.Error(host.host + "s load ArtNet.dll from " + loaded->path + ", " +
                        (loaded->folderExists ? "a file that is missing" : "a folder that no longer exists") +
                        ": Lumenstage cannot start the plug-in and there is no Art-Net output.",
                    "Run the ArtNet setup again to repair it (or unregister the old path with regsvr32 /u and register "
                    "the DLL where it now is).");
    } else if (host.mainHost) {
      section.Good("Lumenstage (" + host.host + ") loads " + loaded->path +
                   (loaded->version.empty() ? "" : ", version " + loaded->version) + ".");
    }
  }
  return section;
}

}  // namespace artnet::check
