// ArtNet Check's findings from what it reads: settings as the plug-in takes
// them, and which registration COM loads for a host.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "check/installation_check.h"
#include "check/settings_check.h"
#include "fakes/fake_platform.h"

namespace artnet::check {
namespace {

int Count(const Section& section, Verdict verdict) {
  return static_cast<int>(std::count_if(section.findings.begin(), section.findings.end(),
                                        [&](const Finding& finding) { return finding.verdict == verdict; }));
}

bool Says(const Section& section, const std::string& words) {
  return std::any_of(section.findings.begin(), section.findings.end(),
                     [&](const Finding& finding) { return finding.seen.find(words) != std::string::npos; });
}

struct SettingsCase {
  const char* name;
  std::map<std::string, std::string> stored;
  bool addressUsable;
  bool starts;
  int subNet, send, receive;
  int errors;
};

TEST(CheckSettings, ReadsEachValueAsThePluginDoes) {
  const SettingsCase cases[] = {
      {"defaults when nothing is stored", {}, true, true, 0, 0, 1, 0},
      {"padded address, numbers with blanks",
       {{"ArtNet_BroadcastAdress", " 10.0.000.255 "}, {"ArtNet_SubNet", " 2 "}, {"ArtNet_InputUniverse1", "3"}},
       true,
       true,
       2,
       3,
       1,
       0},
      {"no address: lost packets", {{"ArtNet_BroadcastAdress", "localhost"}}, false, true, 0, 0, 1, 1},
      {"short address", {{"ArtNet_BroadcastAdress", "10.77.0"}}, false, true, 0, 0, 1, 1},
      {"above 15: the low four bits",
       {{"ArtNet_SubNet", "17"}, {"ArtNet_OutputUniverse1", "255"}},
       true,
       true,
       1,
       0,
       15,
       0},
      {"above 255: Enable's overflow", {{"ArtNet_InputUniverse1", "256"}}, true, false, 0, 0, 1, 1},
      {"negative: Enable's overflow", {{"ArtNet_SubNet", "-1"}}, true, false, 0, 0, 1, 1},
      {"no number: Init's type mismatch",
       {{"ArtNet_SubNet", "abc"}, {"ArtNet_OutputUniverse1", ""}},
       true,
       false,
       0,
       0,
       1,
       2},
      {"beyond 32 bits: Init's overflow", {{"ArtNet_InputUniverse1", "99999999999"}}, true, false, 0, 0, 1, 1},
  };
  for (const SettingsCase& c : cases) {
    SCOPED_TRACE(c.name);
    fakes::MemorySettingsStore store;
    for (const auto& [key, value] : c.stored) store.values[{"Lumenstage", "Plugins\\libArtNet.so", key}] = value;
    PluginSettings settings;
    const Section section = CheckSettings(store, {"Lumenstage", "libArtNet.so", "plugins.ini", {}}, settings);
    EXPECT_EQ(settings.destination.has_value(), c.addressUsable);
    EXPECT_EQ(settings.starts, c.starts);
    if (c.starts) {
      EXPECT_EQ(settings.subNet, c.subNet);
      EXPECT_EQ(settings.sendUniverse, c.send);
      EXPECT_EQ(settings.receiveUniverse, c.receive);
    }
    EXPECT_EQ(Count(section, Verdict::kError), c.errors);
  }
}

TEST(CheckSettings, AnUnreadableStoreIsAProblem) {
  fakes::MemorySettingsStore store;
  PluginSettings settings;
  const Section section =
      CheckSettings(store, {"Lumenstage", "libArtNet.so", "plugins.ini", "Permission denied"}, settings);
  EXPECT_TRUE(Says(section, "cannot be read (Permission denied)"));
}

ClassRegistration At(const char* path, bool file = true, bool folder = true) {
  return {true, path, file, folder, "1.0.5.0"};
}

struct InstallationCase {
  const char* name;
  HostRegistrations host;
  const char* loaded;  // the path in the row marked "yes", or "" for none
  int errors;
  const char* says;
};

TEST(CheckInstallation, SaysWhichDllEachHostLoads) {
  const ClassRegistration none;
  const InstallationCase cases[] = {
      {"per machine", {"32-bit host", true, true, none, At("C:\\A\\ArtNet.dll")}, "C:\\A\\ArtNet.dll", 0, "loads"},
      {"per user over per machine",
       {"32-bit host", true, true, At("C:\\U\\ArtNet.dll"), At("C:\\M\\ArtNet.dll")},
       "C:\\U\\ArtNet.dll",
       1,
       "installed twice"},
      {"missing file",
       {"32-bit host", true, true, none, At("C:\\A\\ArtNet.dll", false)},
       "C:\\A\\ArtNet.dll",
       1,
       "a file that is missing"},
      {"stale path",
       {"32-bit host", true, true, At("C:\\Old\\ArtNet.dll", false, false), none},
       "C:\\Old\\ArtNet.dll",
       1,
       "a folder that no longer exists"},
      {"not registered for the host", {"32-bit host", true, true, none, none}, "", 1, "not registered"},
      {"another bitness needs none", {"64-bit host", true, false, none, none}, "", 0, "does not need it"},
      {"no 64-bit hosts on 32-bit Windows", {"64-bit host", false, false, none, none}, "", 0, ""},
  };
  for (const InstallationCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Section section = CheckInstallation({c.host});
    std::string loaded;
    for (const auto& row : section.table.rows) {
      if (row.back() == "yes") loaded = row[2];
    }
    EXPECT_EQ(loaded, c.loaded);
    EXPECT_EQ(Count(section, Verdict::kError), c.errors);
    if (*c.says != '\0') {
      EXPECT_TRUE(Says(section, c.says));
    }
  }
}

TEST(CheckReport, JsonCarriesAnyTextAndTheVerdict) {
  Report report{"ArtNet Check", {}};
  Section section{"Settings", {{"setting", "stored"}, {{"ArtNet_BroadcastAdress", "\"a\\b\"\x01\xff"}}}, {}};
  section.Error("bad", "fix");
  report.sections.push_back(section);
  EXPECT_TRUE(report.HasErrors());
  const std::string json = RenderJson(report);
  EXPECT_NE(json.find("\"ok\":false"), std::string::npos);
  EXPECT_NE(json.find(R"("stored":"\"a\\b\"\u0001\u00ff")"), std::string::npos);
  EXPECT_NE(RenderText(report).find("[PROBLEM] bad"), std::string::npos);
}

}  // namespace
}  // namespace artnet::check
