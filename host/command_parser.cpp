#include "command_parser.h"

#include <cctype>
#include <charconv>
#include <limits>

namespace lumenhost {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

// Splits at blanks; "..." keeps blanks inside one word. Returns false on an
// unterminated quote.
bool SplitWords(std::string_view line, std::vector<std::string>& words) {
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    if (i >= line.size()) break;
    std::string word;
    if (line[i] == '"') {
      const std::size_t close = line.find('"', i + 1);
      if (close == std::string_view::npos) return false;
      word.assign(line.substr(i + 1, close - i - 1));
      i = close + 1;
    } else {
      while (i < line.size() && !IsBlank(line[i])) word.push_back(line[i++]);
    }
    words.push_back(std::move(word));
  }
  return true;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

ParseResult Error(std::string message) {
  ParseResult result;
  result.kind = ParseResult::Kind::Error;
  result.error = std::move(message);
  return result;
}

ParseResult Ok(Command command) {
  ParseResult result;
  result.kind = ParseResult::Kind::Command;
  result.command = std::move(command);
  return result;
}

}  // namespace

std::optional<std::int32_t> ParseInt32(std::string_view text) {
  if (!text.empty() && text.front() == '+') {
    text.remove_prefix(1);
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) return std::nullopt;
  }
  if (text.empty()) return std::nullopt;
  std::int32_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

ParseResult ParseCommandLine(std::string_view line) {
  std::size_t first = 0;
  while (first < line.size() && IsBlank(line[first])) ++first;
  if (first == line.size() || line[first] == '#') return ParseResult{};

  std::vector<std::string> words;
  if (!SplitWords(line, words)) return Error("unterminated quote");
  const std::string name = Lower(words[0]);
  const std::size_t argc = words.size() - 1;

  auto noArguments = [&](CommandKind kind) -> ParseResult {
    if (argc != 0) return Error("'" + name + "' takes no arguments");
    Command command;
    command.kind = kind;
    return Ok(std::move(command));
  };
  auto integer = [&](std::size_t index, std::int32_t& out) -> bool {
    const auto parsed = ParseInt32(words[index]);
    if (parsed) out = *parsed;
    return parsed.has_value();
  };

  if (name == "enable") return noArguments(CommandKind::Enable);
  if (name == "disable") return noArguments(CommandKind::Disable);
  if (name == "term") return noArguments(CommandKind::Term);
  if (name == "configure") return noArguments(CommandKind::Configure);
  if (name == "name") return noArguments(CommandKind::Name);
  if (name == "quit") return noArguments(CommandKind::Quit);

  if (name == "init") {
    if (argc > 2) return Error("usage: init [TITLE [FILE]]");
    Command command;
    command.kind = CommandKind::Init;
    if (argc >= 1) command.title = words[1];
    if (argc >= 2) command.file = words[2];
    return Ok(std::move(command));
  }
  if (name == "set") {
    Command command;
    command.kind = CommandKind::Set;
    if (argc != 2) return Error("usage: set CHANNEL VALUE");
    if (!integer(1, command.channel)) return Error("channel '" + words[1] + "' is not a 32-bit integer");
    if (!integer(2, command.value)) return Error("value '" + words[2] + "' is not a 32-bit integer");
    return Ok(std::move(command));
  }
  if (name == "frame") {
    if (argc == 0) return Error("usage: frame V1 V2 ... Vn");
    Command command;
    command.kind = CommandKind::Frame;
    for (std::size_t i = 1; i < words.size(); ++i) {
      std::int32_t value = 0;
      if (!integer(i, value)) return Error("value '" + words[i] + "' is not a 32-bit integer");
      command.values.push_back(value);
    }
    return Ok(std::move(command));
  }
  if (name == "wait") {
    std::int32_t ms = 0;
    if (argc != 1) return Error("usage: wait MS");
    if (!integer(1, ms) || ms < 0) return Error("wait time '" + words[1] + "' is not a number of milliseconds");
    Command command;
    command.kind = CommandKind::Wait;
    command.waitMs = ms;
    return Ok(std::move(command));
  }
  return Error("unknown command '" + words[0] + "'");
}

}  // namespace lumenhost
