// lumenhost: a small reference host for Lumenstage output-driver plug-ins.
// Loads the plug-in, runs the Qt event loop and drives one driver object
// with commands read one per line from standard input or a script file.
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "command_runner.h"
#include "plugin_loader.h"
#include "printing_helper.h"

namespace {

constexpr const char* kUsage =
    "usage: lumenhost [--plugin PATH] [--script FILE]\n"
    "Reads commands from FILE, or from standard input:\n"
    "  init [TITLE [FILE]] | enable | disable | term | configure | name\n"
    "  set CHANNEL VALUE | frame V1 V2 ... Vn | wait MS | quit\n";

bool HasGuiEnvironment() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return true;
  }
  return false;
}

// Standard input is read on its own thread so a slow terminal or pipe never
// stalls the event loop; lines are handed to the runner on the main thread.
// The runner pointer is cleared under the lock before the runner goes away.
struct InputBridge {
  std::mutex lock;
  lumenhost::CommandRunner* runner = nullptr;

  void Post(std::string line, bool end) {
    std::lock_guard guard(lock);
    if (runner == nullptr) return;
    lumenhost::CommandRunner* target = runner;
    QMetaObject::invokeMethod(
        target,
        [target, line = std::move(line), end]() mutable {
          if (end) {
            target->EndOfInput();
          } else {
            target->AddLine(std::move(line));
          }
        },
        Qt::QueuedConnection);
  }
};

void ReadStandardInput(std::shared_ptr<InputBridge> bridge) {
  std::string pending;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    pending.append(buffer, static_cast<std::size_t>(n));
    std::size_t start = 0;
    for (std::size_t nl; (nl = pending.find('\n', start)) != std::string::npos; start = nl + 1) {
      bridge->Post(pending.substr(start, nl - start), false);
    }
    pending.erase(0, start);
  }
  if (!pending.empty()) bridge->Post(pending, false);
  bridge->Post({}, true);
}

// The host's helper and the output it prints to live until the process ends:
// the plug-in may hold the helper until then (its module is never destroyed).
// Allocated only here, so the leak checker's suppressions can name this function
// (tests/sanitizers/lsan.supp); a plug-in that keeps the helper makes it reachable anyway.
struct KeptUntilExit {
  lumenhost::LineOutput out{stdout};
  lumenhost::PrintingHelper helper{out};
};
__attribute__((noinline)) KeptUntilExit& HostObjectsKeptUntilExit() { return *new KeptUntilExit; }

}  // namespace

int main(int argc, char** argv) {
  std::string pluginPath;
  std::string scriptPath;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if ((arg == "--plugin" || arg == "--script") && i + 1 < argc) {
      (arg == "--plugin" ? pluginPath : scriptPath) = argv[++i];
    } else if (arg == "-h" || arg == "--help") {
      std::fputs(kUsage, stdout);
      return 0;
    } else {
      std::fprintf(stderr, "lumenhost: unexpected argument '%s'\n%s", arg.c_str(), kUsage);
      return 2;
    }
  }
  if (pluginPath.empty()) pluginPath = lumenhost::DefaultPluginPath();

  std::ifstream script;
  if (!scriptPath.empty()) {
    script.open(scriptPath);
    if (!script) {
      std::fprintf(stderr, "lumenhost: cannot read script %s: %s\n", scriptPath.c_str(), std::strerror(errno));
      return 2;
    }
  }

  // Qt options are not taken from the command line; QT_QPA_PLATFORM and friends work.
  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  std::unique_ptr<QCoreApplication> app;
  if (HasGuiEnvironment()) {
    app = std::make_unique<QApplication>(qtArgc, qtArgv);
  } else {
    app = std::make_unique<QCoreApplication>(qtArgc, qtArgv);
  }

  lumenhost::LoadedPlugin plugin;
  std::string error;
  if (!lumenhost::LoadPlugin(pluginPath, plugin, error)) {
    std::fprintf(stderr, "lumenhost: cannot load plug-in: %s\n", error.c_str());
    return 2;
  }
  lumenstage::_clsOutputDriver* driver = plugin.create();
  if (driver == nullptr) {
    std::fprintf(stderr, "lumenhost: %s did not create an output driver\n", plugin.path.c_str());
    return 2;
  }

  KeptUntilExit& kept = HostObjectsKeptUntilExit();
  auto runner = std::make_unique<lumenhost::CommandRunner>(driver, plugin.fileName, kept.out, kept.helper,
                                                           [] { QCoreApplication::exit(0); });

  auto bridge = std::make_shared<InputBridge>();
  if (script.is_open()) {
    for (std::string line; std::getline(script, line);) runner->AddLine(line);
    runner->EndOfInput();
  } else {
    bridge->runner = runner.get();
    std::thread(ReadStandardInput, bridge).detach();  // may stay blocked in read() until exit
  }

  const int code = app->exec();
  {
    std::lock_guard guard(bridge->lock);
    bridge->runner = nullptr;
  }
  runner.reset();
  std::fflush(stdout);
  return code;
}
