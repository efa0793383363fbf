#include "command_parser.h"

#include <gtest/gtest.h>

namespace lumenhost {
namespace {

using Kind = ParseResult::Kind;

Command Parsed(std::string_view line) {
  const ParseResult result = ParseCommandLine(line);
  EXPECT_EQ(result.kind, Kind::Command) << line << ": " << result.error;
  return result.command;
}

bool Rejected(std::string_view line) { return ParseCommandLine(line).kind == Kind::Error; }

TEST(CommandParser, BlankLinesAndCommentsAreNothing) {
  for (const char* line : {"", "   ", "\t", "\r", "# a comment", "   # indented comment", "#enable"}) {
    EXPECT_EQ(ParseCommandLine(line).kind, Kind::Nothing) << '"' << line << '"';
  }
}

TEST(CommandParser, CommandsWithoutArguments) {
  EXPECT_EQ(Parsed("enable").kind, CommandKind::Enable);
  EXPECT_EQ(Parsed("disable").kind, CommandKind::Disable);
  EXPECT_EQ(Parsed("term").kind, CommandKind::Term);
  EXPECT_EQ(Parsed("configure").kind, CommandKind::Configure);
  EXPECT_EQ(Parsed("name").kind, CommandKind::Name);
  EXPECT_EQ(Parsed("quit").kind, CommandKind::Quit);
  // Surrounding blanks and a Windows line end do not matter; case does not either.
  EXPECT_EQ(Parsed("  Enable \r").kind, CommandKind::Enable);
  EXPECT_TRUE(Rejected("enable now"));
  EXPECT_TRUE(Rejected("name 1"));
}

TEST(CommandParser, InitTakesOptionalTitleAndFile) {
  Command plain = Parsed("init");
  EXPECT_EQ(plain.kind, CommandKind::Init);
  EXPECT_FALSE(plain.title.has_value());
  EXPECT_FALSE(plain.file.has_value());

  Command titled = Parsed("init MyShow");
  EXPECT_EQ(titled.title, "MyShow");
  EXPECT_FALSE(titled.file.has_value());

  Command both = Parsed("init \"My Show\" libArtNet.so");
  EXPECT_EQ(both.title, "My Show");
  EXPECT_EQ(both.file, "libArtNet.so");

  Command emptyTitle = Parsed("init \"\" x.so");
  EXPECT_EQ(emptyTitle.title, "");

  EXPECT_TRUE(Rejected("init a b c"));
  EXPECT_TRUE(Rejected("init \"unterminated"));
}

TEST(CommandParser, SetPassesAny32BitNumbersThrough) {
  Command set = Parsed("set 5 200");
  EXPECT_EQ(set.kind, CommandKind::Set);
  EXPECT_EQ(set.channel, 5);
  EXPECT_EQ(set.value, 200);

  // Out-of-range for DMX is the plug-in's business, not the parser's.
  Command odd = Parsed("set -1 300");
  EXPECT_EQ(odd.channel, -1);
  EXPECT_EQ(odd.value, 300);
  Command extremes = Parsed("set -2147483648 2147483647");
  EXPECT_EQ(extremes.channel, INT32_MIN);
  EXPECT_EQ(extremes.value, INT32_MAX);
  EXPECT_EQ(Parsed("set +7 +0").channel, 7);

  EXPECT_TRUE(Rejected("set 1"));
  EXPECT_TRUE(Rejected("set 1 2 3"));
  EXPECT_TRUE(Rejected("set one 2"));
  EXPECT_TRUE(Rejected("set 1 2x"));
  EXPECT_TRUE(Rejected("set 1 2147483648"));
  EXPECT_TRUE(Rejected("set -2147483649 1"));
  EXPECT_TRUE(Rejected("set 1.5 2"));
  EXPECT_TRUE(Rejected("set 0x10 2"));
}

TEST(CommandParser, FrameCollectsValuesInOrder) {
  Command frame = Parsed("frame 10 0 -5 255 1000");
  EXPECT_EQ(frame.kind, CommandKind::Frame);
  EXPECT_EQ(frame.values, (std::vector<std::int32_t>{10, 0, -5, 255, 1000}));
  EXPECT_TRUE(Rejected("frame"));
  EXPECT_TRUE(Rejected("frame 1 2 x 4"));
}

TEST(CommandParser, WaitNeedsNonNegativeMilliseconds) {
  EXPECT_EQ(Parsed("wait 500").waitMs, 500);
  EXPECT_EQ(Parsed("wait 0").waitMs, 0);
  EXPECT_TRUE(Rejected("wait"));
  EXPECT_TRUE(Rejected("wait -1"));
  EXPECT_TRUE(Rejected("wait soon"));
  EXPECT_TRUE(Rejected("wait 1 2"));
}

TEST(CommandParser, ErrorsSayWhatIsWrong) {
  EXPECT_NE(ParseCommandLine("frobnicate 1").error.find("unknown command 'frobnicate'"), std::string::npos);
  EXPECT_NE(ParseCommandLine("set 1 abc").error.find("'abc'"), std::string::npos);
}

TEST(ParseInt32, AcceptsOnlyWholeDecimalIntegers) {
  EXPECT_EQ(ParseInt32("0"), 0);
  EXPECT_EQ(ParseInt32("-0"), 0);
  EXPECT_EQ(ParseInt32("+42"), 42);
  EXPECT_EQ(ParseInt32("007"), 7);
  for (const char* bad : {"", "+", "-", "+-1", "--1", " 1", "1 ", "1e3", "99999999999"}) {
    EXPECT_FALSE(ParseInt32(bad).has_value()) << '"' << bad << '"';
  }
}

}  // namespace
}  // namespace lumenhost
