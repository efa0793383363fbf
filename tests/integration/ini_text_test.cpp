// The settings file's text handling on its own, without files: cases the
// fuzzer found, each reduced to the lines that matter.
#include "platform/qt/ini_text.h"

#include <gtest/gtest.h>

#include <string>

namespace artnet::ini {
namespace {

constexpr const char* kApp = "Lumenstage";
constexpr const char* kSection = "Plugins\\libArtNet.so";

// Saves one value and reads the rewritten text back, as Term and the next Init do.
IniText SaveAndReread(const std::string& file, const std::string& key, const std::string& value) {
  IniText text = ParseIniText(file);
  StoreSetting(text, kApp, kSection, key, value);
  return ParseIniText(RenderIniText(text));
}

TEST(IniTextTest, ACarriageReturnEndingAValueSurvivesSavingAnotherKey) {
  // Only the last CR before a line feed is a line end; one before it is the value's.
  const std::string file = "[Lumenstage\\Plugins\\libArtNet.so]\nArtNet_SubNet=5\r\r\nArtNet_InputUniverse1=1\r\n";
  ASSERT_EQ(FindSetting(ParseIniText(file), kApp, kSection, "ArtNet_SubNet"), "5\r");
  const IniText reread = SaveAndReread(file, "ArtNet_InputUniverse1", "2");
  EXPECT_EQ(FindSetting(reread, kApp, kSection, "ArtNet_SubNet"), "5\r");
  EXPECT_EQ(FindSetting(reread, kApp, kSection, "ArtNet_InputUniverse1"), "2");
}

}  // namespace
}  // namespace artnet::ini
