// Runs lumenhost against the fake plug-in and checks its exact output.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct HostRun {
  int exitCode = -1;
  std::vector<std::string> out;
  std::string err;
};

std::vector<std::string> Lines(const fs::path& file) {
  std::ifstream in(file);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Slurp(const fs::path& file) {
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class HostOutput : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/lumenhost-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  // viaStdin: the script is piped in instead of given with --script.
  HostRun RunHost(const std::string& script, bool viaStdin = false) {
    const fs::path scriptFile = dir_ / "script.txt";
    std::ofstream(scriptFile) << script;
    // No display: the host must manage with a QCoreApplication.
    std::string command =
        "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" LUMENHOST_PATH "' --plugin '" FAKE_PLUGIN_PATH "' ";
    command += viaStdin ? "< '" + scriptFile.string() + "'" : "--script '" + scriptFile.string() + "' </dev/null";
    command += " >'" + (dir_ / "out").string() + "' 2>'" + (dir_ / "err").string() + "'";
    const int status = std::system(command.c_str());
    HostRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = Lines(dir_ / "out");
    run.err = Slurp(dir_ / "err");
    return run;
  }

  fs::path dir_;
};

TEST_F(HostOutput, EveryCallPrintsOneLine) {
  const HostRun run = RunHost(
      "# a session\n"
      "init\n"
      "name\n"
      "\n"
      "set 5 200\n"
      "set -1 5\n"
      "set 1 256\n"
      "frame 10 20 999\n"
      "configure\n"
      "disable\n"
      "term\n");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  const std::vector<std::string> expected = {
      "Init -> false",
      "PluginName -> Fake Plugin",
      "SetChannel 5 200 -> true",
      "SetChannel -1 5 -> error 9",
      "SetChannel 1 256 -> error 6",
      "SetChannel 1 10 -> true",
      "SetChannel 2 20 -> true",
      "SetChannel 3 999 -> error 6",
      "LMST_NoSuchMethod 1 2 -> error 438",
      "Configure -> false",
      "Disable -> true",
      "Term -> error 13",
  };
  EXPECT_EQ(run.out, expected);
  EXPECT_NE(run.err.find("[fake] LMST_NoSuchMethod returned 438"), std::string::npos) << run.err;
}

TEST_F(HostOutput, InitDefaultsToTheHostTitleAndPluginFileName) {
  const HostRun run = RunHost("init\ninit \"My Show\" other.so\n");
  EXPECT_EQ(run.exitCode, 0);
  const std::string file = std::filesystem::path(FAKE_PLUGIN_PATH).filename().string();
  EXPECT_NE(run.err.find("[fake] Init title=Lumenstage file=" + file + "\n"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("[fake] Init title=My Show file=other.so\n"), std::string::npos) << run.err;
}

// The fake calls the helper once inside Enable and once 50 ms later from a
// timer: the second line shows up only if `wait` keeps the event loop going,
// and before Disable only if lines read during the wait stay queued.
TEST_F(HostOutput, HelperCallsPrintAndWaitRunsTheEventLoop) {
  for (const bool viaStdin : {false, true}) {
    SCOPED_TRACE(viaStdin ? "stdin" : "--script");
    const HostRun run = RunHost("init\nenable\nwait 300\ndisable\n", viaStdin);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::vector<std::string> expected = {
        "Init -> false",   "LMST_DMXIn_SetChannel 12 255", "Enable -> true", "LMST_DMXIn_SetChannel 13 1",
        "Disable -> true",
    };
    EXPECT_EQ(run.out, expected);
    EXPECT_NE(run.err.find("[fake] LMST_DMXIn_SetChannel returned 0"), std::string::npos) << run.err;
  }
}

TEST_F(HostOutput, BadLinesAreReportedAndSkipped) {
  const HostRun run = RunHost("name\nfrobnicate 1\nset 1 2147483648\nset 1\nname\n");
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, (std::vector<std::string>{"PluginName -> Fake Plugin", "PluginName -> Fake Plugin"}));
  EXPECT_NE(run.err.find("line 2: unknown command 'frobnicate': frobnicate 1"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("line 3: "), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("'2147483648'"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("line 4: usage: set CHANNEL VALUE: set 1"), std::string::npos) << run.err;
}

TEST_F(HostOutput, QuitAndEndOfInputReleaseTheDriverAndStop) {
  const HostRun quit = RunHost("name\nquit\nname\n");
  EXPECT_EQ(quit.exitCode, 0);
  EXPECT_EQ(quit.out, (std::vector<std::string>{"PluginName -> Fake Plugin"}));
  EXPECT_NE(quit.err.find("[fake] Release"), std::string::npos);

  const HostRun end = RunHost("name", /*viaStdin=*/true);  // last line without a newline still counts
  EXPECT_EQ(end.exitCode, 0);
  EXPECT_EQ(end.out, (std::vector<std::string>{"PluginName -> Fake Plugin"}));
  EXPECT_NE(end.err.find("[fake] Release"), std::string::npos);
}

TEST(HostStartup, MissingPluginFailsClearly) {
  const int status = std::system("'" LUMENHOST_PATH "' --plugin /nonexistent/libNothing.so </dev/null >/dev/null 2>&1");
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 2);
}

}  // namespace
