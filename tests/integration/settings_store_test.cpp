// The INI settings store against real files in a temporary config directory.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QTemporaryDir>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/qt/ini_settings_store.h"

namespace artnet {
namespace {

constexpr const char* kApp = "Lumenstage";
constexpr const char* kSection = "Plugins\\libArtNet.so";

class IniSettingsStoreTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.isValid());
    const char* old = std::getenv("XDG_CONFIG_HOME");
    if (old != nullptr) oldXdg_ = old;
    hadXdg_ = old != nullptr;
    setenv("XDG_CONFIG_HOME", dir_.path().toStdString().c_str(), 1);
    path_ = dir_.path().toStdString() + "/lumenstage/plugins.ini";
  }
  void TearDown() override {
    if (hadXdg_) {
      setenv("XDG_CONFIG_HOME", oldXdg_.c_str(), 1);
    } else {
      unsetenv("XDG_CONFIG_HOME");
    }
  }
  std::string ReadFile() const {
    std::ifstream in(path_, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  void WriteFile(const std::string& text) const {
    std::system(("mkdir -p '" + dir_.path().toStdString() + "/lumenstage'").c_str());
    std::ofstream(path_, std::ios::binary) << text;
  }

  QTemporaryDir dir_;
  std::string path_;
  std::string oldXdg_;
  bool hadXdg_ = false;
  IniSettingsStore store;
};

TEST_F(IniSettingsStoreTest, MissingFileSectionOrKeyGivesTheDefault) {
  EXPECT_EQ(IniSettingsStore::FilePath(), path_);
  EXPECT_EQ(store.GetSetting(kApp, kSection, "ArtNet_SubNet", "0"), "0");
  EXPECT_TRUE(ReadFile().empty());  // reading never creates the file
  store.SaveSetting(kApp, kSection, "ArtNet_SubNet", "3");
  EXPECT_EQ(store.GetSetting(kApp, kSection, "ArtNet_InputUniverse1", "1"), "1");
  EXPECT_EQ(store.GetSetting(kApp, "Plugins\\other.so", "ArtNet_SubNet", "d"), "d");
  EXPECT_EQ(store.GetSetting("Other host", kSection, "ArtNet_SubNet", "d"), "d");
}

TEST_F(IniSettingsStoreTest, RoundTripsTheFourKeysAsReadableText) {
  store.SaveSetting(kApp, kSection, "ArtNet_BroadcastAdress", "10.99.0.255");
  store.SaveSetting(kApp, kSection, "ArtNet_SubNet", "2");
  store.SaveSetting(kApp, kSection, "ArtNet_InputUniverse1", "4");
  store.SaveSetting(kApp, kSection, "ArtNet_OutputUniverse1", "5");
  store.SaveSetting(kApp, kSection, "ArtNet_SubNet", "7");  // replaced in place
  EXPECT_EQ(store.GetSetting(kApp, kSection, "ArtNet_BroadcastAdress", ""), "10.99.0.255");
  EXPECT_EQ(store.GetSetting(kApp, kSection, "ArtNet_SubNet", ""), "7");
  EXPECT_EQ(store.GetSetting(kApp, kSection, "ArtNet_InputUniverse1", ""), "4");
  EXPECT_EQ(store.GetSetting(kApp, kSection, "ArtNet_OutputUniverse1", ""), "5");
  EXPECT_EQ(ReadFile(),
            "[Lumenstage\\Plugins\\libArtNet.so]\n"
            "ArtNet_BroadcastAdress=10.99.0.255\n"
            "ArtNet_SubNet=7\n"
            "ArtNet_InputUniverse1=4\n"
            "ArtNet_OutputUniverse1=5\n");
}

TEST_F(IniSettingsStoreTest, KeepsOtherSectionsAndCommentsAndSeesHandEdits) {
  WriteFile(
      "; edited by hand\r\n"
      "[Other\\Plugins\\x.so]\r\n"
      "ArtNet_SubNet=9\r\n"
      "\r\n"
      "[Lumenstage\\Plugins\\libArtNet.so]\r\n"
      "ArtNet_SubNet=1\r\n"
      "\r\n"
      "[Last]\r\n"
      "k=v\r\n");
  EXPECT_EQ(store.GetSetting(kApp, kSection, "ArtNet_SubNet", ""), "1");
  store.SaveSetting(kApp, kSection, "ArtNet_SubNet", "2");
  store.SaveSetting(kApp, kSection, "ArtNet_OutputUniverse1", "3");
  EXPECT_EQ(ReadFile(),
            "; edited by hand\n"
            "[Other\\Plugins\\x.so]\n"
            "ArtNet_SubNet=9\n"
            "\n"
            "[Lumenstage\\Plugins\\libArtNet.so]\n"
            "ArtNet_SubNet=2\n"
            "ArtNet_OutputUniverse1=3\n"
            "\n"
            "[Last]\n"
            "k=v\n");
  EXPECT_EQ(store.GetSetting("Other", "Plugins\\x.so", "ArtNet_SubNet", ""), "9");

  // An edit made while the program runs is read at the next call.
  WriteFile("[Lumenstage\\Plugins\\libArtNet.so]\nArtNet_SubNet=12\n");
  EXPECT_EQ(store.GetSetting(kApp, kSection, "ArtNet_SubNet", ""), "12");
}

TEST_F(IniSettingsStoreTest, AwkwardTextSurvivesAndOnlyBreakingCharactersAreEncoded) {
  const std::string values[] = {"a=b=c", "  leading and trailing  ", "", "100%", "two\nlines\r", "%41"};
  for (std::size_t i = 0; i < std::size(values); ++i) {
    store.SaveSetting(kApp, kSection, "v" + std::to_string(i), values[i]);
  }
  store.SaveSetting("App]x", "Sec%", "key=with", "x");
  store.SaveSetting(kApp, kSection, "[looks like a header]", "y");
  for (std::size_t i = 0; i < std::size(values); ++i) {
    EXPECT_EQ(store.GetSetting(kApp, kSection, "v" + std::to_string(i), "missing"), values[i]) << i;
  }
  EXPECT_EQ(store.GetSetting("App]x", "Sec%", "key=with", ""), "x");
  EXPECT_EQ(store.GetSetting(kApp, kSection, "[looks like a header]", ""), "y");

  const std::string raw = ReadFile();
  EXPECT_NE(raw.find("\nv0=a=b=c\n"), std::string::npos);
  EXPECT_NE(raw.find("\nv1=%20 leading and trailing %20\n"), std::string::npos);
  EXPECT_NE(raw.find("\nv3=100%25\n"), std::string::npos);
  EXPECT_NE(raw.find("\nv4=two%0Alines%0D\n"), std::string::npos);
  EXPECT_NE(raw.find("\n[App%5Dx\\Sec%25]\nkey%3Dwith=x\n"), std::string::npos);
  EXPECT_NE(raw.find("\n%5Blooks like a header]=y\n"), std::string::npos);

  // Blanks at the ends of keys, values and section names are kept by encoding them.
  store.SaveSetting(" App\t", kSection, " key ", "\tv ");
  EXPECT_EQ(store.GetSetting(" App\t", kSection, " key ", ""), "\tv ");
  EXPECT_EQ(store.GetSetting("App", kSection, "key", "missing"), "missing");
  EXPECT_NE(ReadFile().find("\n[%20App\t\\Plugins\\libArtNet.so]\n%20key%20=%09v%20\n"), std::string::npos);

  // Hand-typed text that merely looks like an escape reads back as typed.
  WriteFile("[Lumenstage\\Plugins\\libArtNet.so]\nArtNet_BroadcastAdress= 10.0.0.255 %zz\n");
  EXPECT_EQ(store.GetSetting(kApp, kSection, "ArtNet_BroadcastAdress", ""), "10.0.0.255 %zz");
}

TEST_F(IniSettingsStoreTest, ReadsHandWrittenBlanksCaseAndByteOrderMarkAndRewritesTheLineItFound) {
  WriteFile(
      "\xEF\xBB\xBF[ lumenstage\\PLUGINS\\libartnet.so ]  \t\n"
      "  artnet_subnet = 5\n"
      "ArtNet_BroadcastAdress =\t10.0.0.255  \n"
      "  ; ArtNet_InputUniverse1 = 9\n"
      "\n"
      "[B\xC3\x9C"
      "HNE\\Plugins\\libArtNet.so]\n"  // "BÜHNE"
      "ArtNet_SubNet=4\n");
  EXPECT_EQ(store.GetSetting(kApp, kSection, "ArtNet_SubNet", "0"), "5");
  EXPECT_EQ(store.GetSetting(kApp, kSection, "ArtNet_BroadcastAdress", ""), "10.0.0.255");
  EXPECT_EQ(store.GetSetting(kApp, kSection, "ArtNet_InputUniverse1", "0"), "0");    // commented out
  EXPECT_EQ(store.GetSetting("B\xC3\xBChne", kSection, "ArtNet_SubNet", "0"), "4");  // "Bühne"

  ASSERT_EQ(store.SaveSetting(kApp, kSection, "ArtNet_SubNet", "6"), 0);
  ASSERT_EQ(store.SaveSetting(kApp, kSection, "ArtNet_OutputUniverse1", "2"), 0);
  EXPECT_EQ(ReadFile(),
            "\xEF\xBB\xBF[ lumenstage\\PLUGINS\\libartnet.so ]  \t\n"
            "ArtNet_SubNet=6\n"
            "ArtNet_BroadcastAdress =\t10.0.0.255  \n"
            "ArtNet_OutputUniverse1=2\n"
            "  ; ArtNet_InputUniverse1 = 9\n"
            "\n"
            "[B\xC3\x9C"
            "HNE\\Plugins\\libArtNet.so]\n"
            "ArtNet_SubNet=4\n");
}

TEST_F(IniSettingsStoreTest, WithoutAnApplicationTitleNothingIsWritten) {
  EXPECT_EQ(store.SaveSetting("", "Plugins\\", "ArtNet_SubNet", "0"), 0);
  EXPECT_FALSE(std::filesystem::exists(path_));
  WriteFile("[Lumenstage\\Plugins\\libArtNet.so]\nArtNet_SubNet=1\n");
  EXPECT_EQ(store.SaveSetting("", "Plugins\\", "ArtNet_SubNet", "0"), 0);
  EXPECT_EQ(ReadFile(), "[Lumenstage\\Plugins\\libArtNet.so]\nArtNet_SubNet=1\n");
}

TEST_F(IniSettingsStoreTest, SaveReportsAFileItCannotWriteAndLeavesEverythingAsItWas) {
  // A folder that cannot exist: the configuration home is a regular file.
  const std::string blocker = dir_.path().toStdString() + "/not-a-folder";
  std::ofstream(blocker) << "x";
  setenv("XDG_CONFIG_HOME", blocker.c_str(), 1);
  EXPECT_EQ(store.SaveSetting(kApp, kSection, "ArtNet_SubNet", "3"), 75);
  EXPECT_FALSE(std::filesystem::exists(blocker + "/lumenstage"));
  setenv("XDG_CONFIG_HOME", dir_.path().toStdString().c_str(), 1);

  // The settings file's name is taken by a folder, which can be neither read nor replaced.
  std::filesystem::create_directories(path_ + "/inside");
  EXPECT_EQ(store.SaveSetting(kApp, kSection, "ArtNet_SubNet", "3"), 75);
  EXPECT_TRUE(std::filesystem::exists(path_ + "/inside"));
  std::filesystem::remove_all(path_);

  // A full disk, as the size limit on written files makes it for this process.
  const std::string before = "[Lumenstage\\Plugins\\libArtNet.so]\nArtNet_SubNet=1\n";
  WriteFile(before);
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = before.size() / 2;  // a truncated file would differ from the old one
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const int error = store.SaveSetting(kApp, kSection, "ArtNet_BroadcastAdress", "10.0.0.255");
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(error, 75);
  EXPECT_EQ(ReadFile(), before);
}

TEST_F(IniSettingsStoreTest, FallsBackToHomeDotConfig) {
  unsetenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  const std::string saved = home != nullptr ? home : "";
  setenv("HOME", "/home/someone", 1);
  EXPECT_EQ(IniSettingsStore::FilePath(), "/home/someone/.config/lumenstage/plugins.ini");
  setenv("XDG_CONFIG_HOME", "relative/ignored", 1);
  EXPECT_EQ(IniSettingsStore::FilePath(), "/home/someone/.config/lumenstage/plugins.ini");
  if (home != nullptr) {
    setenv("HOME", saved.c_str(), 1);
  } else {
    unsetenv("HOME");
  }
}

}  // namespace
}  // namespace artnet
