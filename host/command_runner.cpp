#include "command_runner.h"

#include <QTimer>
#include <cstdio>

namespace lumenhost {
namespace {

std::string BoolText(lumenstage::VBool value) {
  if (value == lumenstage::kTrue) return "true";
  if (value == lumenstage::kFalse) return "false";
  return std::to_string(value);  // not a proper automation boolean: show it as it is
}

std::string Outcome(const lumenstage::Status& status, const std::string& result) {
  if (!status.ok()) return "error " + std::to_string(status.error);
  return result;
}

}  // namespace

CommandRunner::CommandRunner(lumenstage::_clsOutputDriver* driver, std::string pluginFileName, LineOutput& out,
                             PrintingHelper& helper, std::function<void()> finished)
    : driver_(driver),
      pluginFileName_(std::move(pluginFileName)),
      out_(out),
      helper_(helper),
      finished_(std::move(finished)) {}

CommandRunner::~CommandRunner() {
  if (driver_ != nullptr) driver_->Release();
}

void CommandRunner::AddLine(std::string text) {
  queue_.emplace_back(++lineCount_, std::move(text));
  SchedulePump();
}

void CommandRunner::EndOfInput() {
  endOfInput_ = true;
  SchedulePump();
}

void CommandRunner::SchedulePump() {
  if (pumpScheduled_ || busy_ || done_) return;
  pumpScheduled_ = true;
  QTimer::singleShot(0, this, [this] {
    pumpScheduled_ = false;
    Pump();
  });
}

// Runs one command, then hands the event loop a turn before the next.
void CommandRunner::Pump() {
  if (busy_ || done_) return;
  while (!queue_.empty()) {
    auto [number, text] = std::move(queue_.front());
    queue_.pop_front();
    const ParseResult parsed = ParseCommandLine(text);
    if (parsed.kind == ParseResult::Kind::Nothing) continue;
    if (parsed.kind == ParseResult::Kind::Error) {
      std::fprintf(stderr, "lumenhost: line %d: %s: %s\n", number, parsed.error.c_str(), text.c_str());
      std::fflush(stderr);
      continue;
    }
    const Command& command = parsed.command;
    if (command.kind == CommandKind::Quit) {
      Finish();
      return;
    }
    busy_ = true;
    if (command.kind == CommandKind::Wait) {
      QTimer::singleShot(std::chrono::milliseconds(command.waitMs), Qt::PreciseTimer, this, [this] {
        busy_ = false;
        SchedulePump();
      });
      return;
    }
    Execute(command);  // may run nested event loops (a dialog); lines arriving meanwhile queue up
    busy_ = false;
    SchedulePump();
    return;
  }
  if (endOfInput_) Finish();
}

void CommandRunner::Execute(const Command& command) {
  lumenstage::VBool result = lumenstage::kFalse;
  switch (command.kind) {
    case CommandKind::Init: {
      const std::string title = command.title.value_or("Lumenstage");
      const std::string file = command.file.value_or(pluginFileName_);
      const auto status = driver_->Init(title, file, &helper_, &result);
      out_.Line("Init -> " + Outcome(status, BoolText(result)));
      break;
    }
    case CommandKind::Enable: {
      const auto status = driver_->Enable(&result);
      out_.Line("Enable -> " + Outcome(status, BoolText(result)));
      break;
    }
    case CommandKind::Disable: {
      const auto status = driver_->Disable(&result);
      out_.Line("Disable -> " + Outcome(status, BoolText(result)));
      break;
    }
    case CommandKind::Term: {
      const auto status = driver_->Term(&result);
      out_.Line("Term -> " + Outcome(status, BoolText(result)));
      break;
    }
    case CommandKind::Configure: {
      const auto status = driver_->Configure(&result);
      out_.Line("Configure -> " + Outcome(status, BoolText(result)));
      break;
    }
    case CommandKind::Name: {
      std::string name;
      const auto status = driver_->PluginName(&name);
      out_.Line("PluginName -> " + Outcome(status, name));
      break;
    }
    case CommandKind::Set: {
      const auto status = driver_->SetChannel(command.channel, command.value, &result);
      out_.Line("SetChannel " + std::to_string(command.channel) + " " + std::to_string(command.value) + " -> " +
                Outcome(status, BoolText(result)));
      break;
    }
    case CommandKind::Frame: {
      // All calls back to back; the lines go out together afterwards.
      out_.BeginBatch();
      for (std::size_t i = 0; i < command.values.size(); ++i) {
        const auto channel = static_cast<std::int32_t>(i + 1);
        result = lumenstage::kFalse;
        const auto status = driver_->SetChannel(channel, command.values[i], &result);
        out_.Line("SetChannel " + std::to_string(channel) + " " + std::to_string(command.values[i]) + " -> " +
                  Outcome(status, BoolText(result)));
      }
      out_.EndBatch();
      break;
    }
    case CommandKind::Wait:
    case CommandKind::Quit:
      break;
  }
}

void CommandRunner::Finish() {
  if (done_) return;
  done_ = true;
  queue_.clear();
  if (driver_ != nullptr) {
    driver_->Release();
    driver_ = nullptr;
  }
  if (finished_) finished_();
}

}  // namespace lumenhost
