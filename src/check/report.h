#pragma once

#include <string>
#include <vector>

namespace artnet::check {

// How much a finding matters: an error makes the check end with exit code 1.
enum class Verdict { kGood, kNote, kError };

// One thing the check found, in an owner's words: what they will see in the
// show, and what to do about it (empty when nothing needs doing).
struct Finding {
  Verdict verdict = Verdict::kGood;
  std::string seen;
  std::string todo;
};

// One table of what was read or heard; every row has a cell per column.
struct Table {
  std::vector<std::string> columns;
  std::vector<std::vector<std::string>> rows;
};

struct Section {
  std::string title;
  Table table;
  std::vector<Finding> findings;

  void Good(std::string seen) { findings.push_back({Verdict::kGood, std::move(seen), {}}); }
  void Note(std::string seen, std::string todo = {}) {
    findings.push_back({Verdict::kNote, std::move(seen), std::move(todo)});
  }
  void Error(std::string seen, std::string todo) {
    findings.push_back({Verdict::kError, std::move(seen), std::move(todo)});
  }
};

struct Report {
  std::string tool;  // program and version, for a support request
  std::vector<Section> sections;

  bool HasErrors() const;
};

// The report as an owner reads it.
std::string RenderText(const Report& report);
// The same findings for scripts and IT departments.
std::string RenderJson(const Report& report);

}  // namespace artnet::check
