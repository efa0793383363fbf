#include "check/report.h"

#include <algorithm>
#include <cstdio>

namespace artnet::check {
namespace {

const char* VerdictWord(Verdict verdict) {
  switch (verdict) {
    case Verdict::kGood:
      return "ok";
    case Verdict::kNote:
      return "note";
    case Verdict::kError:
      return "PROBLEM";
  }
  return "";
}

void AppendTable(std::string& out, const Table& table) {
  if (table.columns.empty()) return;
  std::vector<std::size_t> widths(table.columns.size(), 0);
  const auto measure = [&](const std::vector<std::string>& row) {
    for (std::size_t i = 0; i < row.size() && i < widths.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
  };
  measure(table.columns);
  for (const auto& row : table.rows) measure(row);
  const auto line = [&](const std::vector<std::string>& row) {
    std::string text = "  ";
    for (std::size_t i = 0; i < widths.size(); ++i) {
      const std::string cell = i < row.size() ? row[i] : std::string();
      text += cell;
      if (i + 1 < widths.size()) text += std::string(widths[i] - cell.size() + 2, ' ');
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    out += text + '\n';
  };
  line(table.columns);
  if (table.rows.empty()) out += "  (none)\n";
  for (const auto& row : table.rows) line(row);
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20 || byte >= 0x80) {  // bytes from the wire or a hand-edited file need not be UTF-8
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + '"';
}

}  // namespace

bool Report::HasErrors() const {
  return std::any_of(sections.begin(), sections.end(), [](const Section& section) {
    return std::any_of(section.findings.begin(), section.findings.end(),
                       [](const Finding& finding) { return finding.verdict == Verdict::kError; });
  });
}

std::string RenderText(const Report& report) {
  std::string out = report.tool + "\n";
  for (const Section& section : report.sections) {
    out += "\n== " + section.title + "\n";
    AppendTable(out, section.table);
    for (const Finding& finding : section.findings) {
      out += std::string("  [") + VerdictWord(finding.verdict) + "] " + finding.seen + '\n';
      if (!finding.todo.empty()) out += "      What to do: " + finding.todo + '\n';
    }
  }
  out +=
      report.HasErrors() ? "\nResult: something is wrong (see PROBLEM above).\n" : "\nResult: nothing wrong found.\n";
  return out;
}

std::string RenderJson(const Report& report) {
  std::string out = "{\"tool\":" + JsonString(report.tool) + ",\"ok\":" + (report.HasErrors() ? "false" : "true");
  out += ",\"sections\":[";
  for (std::size_t s = 0; s < report.sections.size(); ++s) {
    const Section& section = report.sections[s];
    if (s > 0) out += ',';
    out += "{\"title\":" + JsonString(section.title) + ",\"rows\":[";
    for (std::size_t r = 0; r < section.table.rows.size(); ++r) {
      if (r > 0) out += ',';
      out += '{';
      const auto& row = section.table.rows[r];
      for (std::size_t c = 0; c < section.table.columns.size(); ++c) {
        if (c > 0) out += ',';
        out += JsonString(section.table.columns[c]) + ':' + JsonString(c < row.size() ? row[c] : std::string());
      }
      out += '}';
    }
    out += "],\"findings\":[";
    for (std::size_t f = 0; f < section.findings.size(); ++f) {
      const Finding& finding = section.findings[f];
      if (f > 0) out += ',';
      out += std::string("{\"verdict\":\"") +
             (finding.verdict == Verdict::kError  ? "error"
              : finding.verdict == Verdict::kNote ? "note"
                                                  : "ok") +
             "\",\"seen\":" + JsonString(finding.seen) + ",\"todo\":" + JsonString(finding.todo) + '}';
    }
    out += "]}";
  }
  return out + "]}\n";
}

}  // namespace artnet::check
