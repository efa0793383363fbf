#include "check/command_line.h"

#include <cstdio>

namespace artnet::check {
namespace {

std::string Usage(const Program& program) {
  return std::string("Usage: ") + program.name + " [--json] [--title TITLE] [--plugin-file NAME]\n" + program.checks +
         "Exit code: 0 nothing wrong, 1 something is (see PROBLEM lines), 2 bad usage.\n"
         "  --title TITLE       the host application's title (default Lumenstage)\n"
         "  --plugin-file NAME  the plug-in's file name (default " +
         program.pluginFile + ")\n";
}

}  // namespace

std::optional<int> ParseCommandLine(const Program& program, int argc, char** argv, CommandLine& line) {
  line.pluginFile = program.pluginFile;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--json") {
      line.json = true;
    } else if (arg == "--title" && i + 1 < argc) {
      line.title = argv[++i];
    } else if (arg == "--plugin-file" && i + 1 < argc) {
      line.pluginFile = argv[++i];
    } else if (arg == "--help" || arg == "-h" || arg == "/?") {
      std::fputs(Usage(program).c_str(), stdout);
      return 0;
    } else {
      std::fprintf(stderr, "%s: unknown argument %s\n%s", program.name, arg.c_str(), Usage(program).c_str());
      return 2;
    }
  }
  return std::nullopt;
}

int PrintReport(const Report& report, bool json) {
  const std::string text = json ? RenderJson(report) : RenderText(report);
  std::fwrite(text.data(), 1, text.size(), stdout);
  return report.HasErrors() ? 1 : 0;
}

}  // namespace artnet::check
