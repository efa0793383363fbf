// Parsing of the reference host's command lines. Pure: no I/O, no Qt.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lumenhost {

enum class CommandKind { Init, Enable, Disable, Term, Configure, Name, Set, Frame, Wait, Quit };

struct Command {
  CommandKind kind = CommandKind::Quit;
  std::optional<std::string> title;  // init: application title, when given
  std::optional<std::string> file;   // init: plug-in file name, when given
  std::int32_t channel = 0;          // set
  std::int32_t value = 0;            // set
  std::vector<std::int32_t> values;  // frame: values of channels 1..n
  std::int64_t waitMs = 0;           // wait
};

struct ParseResult {
  enum class Kind { Command, Nothing, Error };  // Nothing: blank line or comment
  Kind kind = Kind::Nothing;
  Command command;
  std::string error;  // for Error: what is wrong, without the line itself
};

// Parses one line. Words are separated by blanks; a word may be quoted with
// double quotes to hold blanks (e.g. init "My Show" libArtNet.so).
ParseResult ParseCommandLine(std::string_view line);

// A decimal 32-bit signed integer with optional sign, nothing else.
std::optional<std::int32_t> ParseInt32(std::string_view text);

}  // namespace lumenhost
