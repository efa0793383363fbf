// Runs the host's commands one at a time on the Qt event loop.
#pragma once

#include <QObject>
#include <deque>
#include <functional>
#include <string>

#include "command_parser.h"
#include "lumenstage/output_driver.h"
#include "printing_helper.h"

namespace lumenhost {

// Lines are queued as they arrive and run in order; the event loop gets a
// turn between commands and for the whole of a `wait`, so the plug-in's
// timers and sockets keep working. Lines arriving during a command wait.
class CommandRunner final : public QObject {
 public:
  // `finished` runs once, after the driver has been released.
  // `helper` must outlive the plug-in's use of it: the plug-in keeps its
  // reference after the driver is released.
  CommandRunner(lumenstage::_clsOutputDriver* driver, std::string pluginFileName, LineOutput& out,
                PrintingHelper& helper, std::function<void()> finished);
  ~CommandRunner() override;

  void AddLine(std::string text);
  void EndOfInput();

 private:
  void SchedulePump();
  void Pump();
  void Execute(const Command& command);
  void Finish();

  lumenstage::_clsOutputDriver* driver_;
  std::string pluginFileName_;
  LineOutput& out_;
  PrintingHelper& helper_;
  std::function<void()> finished_;
  std::deque<std::pair<int, std::string>> queue_;
  int lineCount_ = 0;
  bool busy_ = false;
  bool pumpScheduled_ = false;
  bool endOfInput_ = false;
  bool done_ = false;
};

}  // namespace lumenhost
