// Arbitrary settings files, and one value saved into each: the saved value
// reads back equal, every other value reads as before, and the rewritten text
// reads as the lines it was written from.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/qt/ini_text.h"

namespace {

#define FUZZ_CHECK(condition)                                                                \
  do {                                                                                       \
    if (!(condition)) {                                                                      \
      std::fprintf(stderr, "%s:%d: invariant broken: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                          \
    }                                                                                        \
  } while (false)

namespace ini = artnet::ini;

struct Probe {
  std::string header;
  std::string appName;
  std::string section;
  std::string key;
  std::optional<std::string> before;
};

// Every key the file holds under a section the store can address
// ("<appName>\<section>"), with what it reads as now.
std::vector<Probe> ProbesOf(const ini::IniText& text) {
  std::vector<Probe> probes;
  std::optional<std::string> header;
  for (const std::string& line : text.lines) {
    if (auto name = ini::HeaderName(line)) {
      header = std::move(name);
      continue;
    }
    if (!header) continue;
    const std::size_t slash = header->find('\\');
    if (slash == std::string::npos) continue;
    if (auto entry = ini::KeyLine(line)) {
      Probe probe{*header, header->substr(0, slash), header->substr(slash + 1), entry->key, std::nullopt};
      probe.before = ini::FindSetting(text, probe.appName, probe.section, probe.key);
      probes.push_back(std::move(probe));
      if (probes.size() >= 16) break;  // enough to notice damage, cheap to check
    }
  }
  return probes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string appName = in.ConsumeRandomLengthString(40);
  const std::string section = in.ConsumeRandomLengthString(40);
  const std::string key = in.ConsumeRandomLengthString(40);
  const std::string value = in.ConsumeRandomLengthString(80);
  const std::string file = in.ConsumeRemainingBytesAsString();

  ini::IniText text = ini::ParseIniText(file);
  const std::vector<Probe> probes = ProbesOf(text);

  ini::StoreSetting(text, appName, section, key, value);
  const std::string written = ini::RenderIniText(text);
  const ini::IniText reread = ini::ParseIniText(written);

  FUZZ_CHECK(reread.bom == text.bom);
  FUZZ_CHECK(reread.lines == text.lines);
  FUZZ_CHECK(ini::RenderIniText(reread) == written);
  const std::optional<std::string> saved = ini::FindSetting(reread, appName, section, key);
  FUZZ_CHECK(saved.has_value() && *saved == value);

  const std::string wanted = appName + "\\" + section;
  for (const Probe& probe : probes) {
    if (ini::SameName(probe.header, wanted) && ini::SameName(probe.key, key)) continue;
    FUZZ_CHECK(ini::FindSetting(reread, probe.appName, probe.section, probe.key) == probe.before);
  }
  return 0;
}
