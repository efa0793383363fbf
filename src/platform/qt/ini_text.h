#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace artnet::ini {

// The settings file's text as lines, apart from any file: what the store
// reads and rewrites, kept pure so it can be tested and fuzzed on its own.
struct IniText {
  bool bom = false;                // an editor's UTF-8 byte-order mark, kept when writing back
  std::vector<std::string> lines;  // without their line ends
};

// Keys and section names match regardless of letter case, as in the
// registry; bytes that are not UTF-8 compare by ASCII case only.
bool SameName(const std::string& a, const std::string& b);

// A "[name]" line's name, decoded; nothing for any other line.
std::optional<std::string> HeaderName(const std::string& rawLine);

struct Entry {
  std::string key;
  std::string value;
};
// A "key=value" line's parts, decoded; nothing for a comment or any other line.
std::optional<Entry> KeyLine(const std::string& rawLine);

IniText ParseIniText(std::string_view text);
// Every line ends in LF; a CRLF file comes back with LF line ends (a line
// whose text ends in CR gets CR LF, so it reads back the same).
std::string RenderIniText(const IniText& ini);

// The value of `key` in section "<appName>\<section>"; names match in any
// letter case, blanks around them and around the value do not count.
std::optional<std::string> FindSetting(const IniText& ini, const std::string& appName, const std::string& section,
                                       const std::string& key);
// Rewrites the line FindSetting would read, or adds one at the end of the
// section (or a new section at the end); every other line stays as it was.
void StoreSetting(IniText& ini, const std::string& appName, const std::string& section, const std::string& key,
                  const std::string& value);

}  // namespace artnet::ini
