#pragma once

#include <optional>
#include <string>

#include "check/report.h"

namespace artnet::check {

// How one of the check's programs is called on its platform.
struct Program {
  const char* name;        // as the owner types it
  const char* checks;      // what it checks, for the usage text
  const char* pluginFile;  // the plug-in's file name there
};

struct CommandLine {
  bool json = false;
  std::string title = "Lumenstage";
  std::string pluginFile;
};

// Reads the arguments into `line`. Returns the exit code when the program
// ends at once: 0 after the usage was asked for, 2 for an argument it does
// not know.
std::optional<int> ParseCommandLine(const Program& program, int argc, char** argv, CommandLine& line);

// Prints the report as text or JSON and returns the check's exit code.
int PrintReport(const Report& report, bool json);

}  // namespace artnet::check
