#include "platform/qt/ini_text.h"

#include <QString>
#include <algorithm>

namespace artnet::ini {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return std::string(text);
}

// Percent-encodes only the bytes that would break the line format. Blanks at
// either end are encoded too, since reading trims them.
std::string Encode(const std::string& text, const std::string& alsoEncode) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const bool atEdge = i == 0 || i + 1 == text.size();
    if (c == '%' || c == '\n' || c == '\r' || (atEdge && IsBlank(c)) || alsoEncode.find(c) != std::string::npos) {
      const auto byte = static_cast<unsigned char>(c);
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    } else {
      out += c;
    }
  }
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Malformed escapes stay as typed: a person's "100%" reads back unchanged.
std::string Decode(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      const int high = HexValue(text[i + 1]);
      const int low = HexValue(text[i + 2]);
      if (high >= 0 && low >= 0) {
        out += static_cast<char>(high * 16 + low);
        i += 2;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

std::string SectionName(const std::string& appName, const std::string& section) { return appName + "\\" + section; }

bool IsUtf8(const std::string& text) { return QString::fromUtf8(text).toUtf8().toStdString() == text; }

std::string EncodeSection(const std::string& name) { return Encode(name, "]"); }

// A key must not look like a section header or a comment either.
std::string EncodeKey(const std::string& key) {
  std::string encoded = Encode(key, "=");
  if (!encoded.empty() && (encoded[0] == '[' || encoded[0] == ';' || encoded[0] == '#')) {
    encoded = Encode(encoded.substr(0, 1), "[;#") + encoded.substr(1);
  }
  return encoded;
}

std::string EncodeValue(const std::string& value) { return Encode(value, ""); }

}  // namespace

// Keys and section names match regardless of letter case, as in the registry.
// Bytes that are not UTF-8 compare by ASCII case only.
bool SameName(const std::string& a, const std::string& b) {
  const auto asciiLower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
  if (std::ranges::equal(a, b, [&](char x, char y) { return asciiLower(x) == asciiLower(y); })) return true;
  return IsUtf8(a) && IsUtf8(b) && QString::fromUtf8(a).compare(QString::fromUtf8(b), Qt::CaseInsensitive) == 0;
}

// Lines are read the way people write them: blanks around the header, the
// section name, the key and the value are not part of them.
std::optional<std::string> HeaderName(const std::string& rawLine) {
  const std::string line = Trim(rawLine);
  if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
    return Decode(Trim(std::string_view(line).substr(1, line.size() - 2)));
  }
  return std::nullopt;
}

std::optional<Entry> KeyLine(const std::string& rawLine) {
  const std::string line = Trim(rawLine);
  if (!line.empty() && (line[0] == ';' || line[0] == '#')) return std::nullopt;
  const std::size_t equals = line.find('=');
  if (equals == std::string::npos) return std::nullopt;
  const std::string_view view(line);
  return Entry{Decode(Trim(view.substr(0, equals))), Decode(Trim(view.substr(equals + 1)))};
}

IniText ParseIniText(std::string_view text) {
  IniText ini;
  if (text.starts_with(kUtf8Bom)) {
    ini.bom = true;
    text.remove_prefix(kUtf8Bom.size());
  }
  std::vector<std::string>& lines = ini.lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line(text.substr(start, end - start));
    // A literal CR is never written (it is %0D), so one here is a CRLF line end from an editor.
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return ini;
}

std::string RenderIniText(const IniText& ini) {
  std::string text = ini.bom ? std::string(kUtf8Bom) : std::string();
  for (const std::string& line : ini.lines) {
    text += line;
    // Reading takes a CR before the LF as a line end: a line's own final CR
    // (a hand-edited "5\r\r\n") needs one more to read back as it was.
    if (!line.empty() && line.back() == '\r') text += '\r';
    text += '\n';
  }
  return text;
}

std::optional<std::string> FindSetting(const IniText& ini, const std::string& appName, const std::string& section,
                                       const std::string& key) {
  const std::string wanted = SectionName(appName, section);
  bool inSection = false;
  for (const std::string& line : ini.lines) {
    if (const auto header = HeaderName(line)) {
      inSection = SameName(*header, wanted);
      continue;
    }
    if (!inSection) continue;
    if (const auto entry = KeyLine(line); entry && SameName(entry->key, key)) return entry->value;
  }
  return std::nullopt;
}

void StoreSetting(IniText& ini, const std::string& appName, const std::string& section, const std::string& key,
                  const std::string& value) {
  std::vector<std::string>& lines = ini.lines;
  const std::string wanted = SectionName(appName, section);
  const std::string newLine = EncodeKey(key) + "=" + EncodeValue(value);

  bool inSection = false;
  bool replaced = false;
  int matchingSections = 0;
  std::optional<std::size_t> insertAt;  // after the last entry of the first matching section
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (const auto header = HeaderName(lines[i])) {
      inSection = SameName(*header, wanted);
      if (inSection && ++matchingSections == 1) insertAt = i + 1;
      continue;
    }
    if (!inSection) continue;
    if (const auto entry = KeyLine(lines[i])) {
      if (SameName(entry->key, key)) {
        lines[i] = newLine;
        replaced = true;
        break;
      }
      if (matchingSections == 1) insertAt = i + 1;
    }
  }
  if (!replaced) {
    if (insertAt) {
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(*insertAt), newLine);
    } else {
      if (!lines.empty() && !lines.back().empty()) lines.emplace_back();
      lines.push_back("[" + EncodeSection(wanted) + "]");
      lines.push_back(newLine);
    }
  }
}

}  // namespace artnet::ini
