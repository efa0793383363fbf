// The registry settings store against the real (Wine prefix's) registry.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/win32/registry_settings_store.h"

namespace artnet {
namespace {

constexpr const char* kSection = "Plugins\\ArtNet.dll";
constexpr const char* kKey = "ArtNet_BroadcastAdress";

// Each test files its values under an application name of its own and
// removes the whole tree afterwards.
class RegistrySettingsStoreTest : public testing::Test {
 protected:
  void SetUp() override {
    app_ = "ArtNet platform test " + std::to_string(GetCurrentProcessId());
    Remove();
  }
  void TearDown() override { Remove(); }
  void Remove() { RegDeleteTreeW(HKEY_CURRENT_USER, (kRoot + Wide(app_)).c_str()); }
  static std::wstring Wide(const std::string& ascii) { return {ascii.begin(), ascii.end()}; }

  // The raw value as the registry holds it, with its type.
  bool ReadRaw(const std::wstring& keyPath, const std::wstring& name, DWORD& type, std::wstring& text) {
    wchar_t buffer[256] = {};
    DWORD size = sizeof buffer;
    if (RegGetValueW(HKEY_CURRENT_USER, keyPath.c_str(), name.c_str(), RRF_RT_ANY, &type, buffer, &size) !=
        ERROR_SUCCESS) {
      return false;
    }
    text.assign(buffer, size / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return true;
  }

  static inline const std::wstring kRoot = L"Software\\VB and VBA Program Settings\\";
  std::string app_;
  RegistrySettingsStore store;
};

TEST_F(RegistrySettingsStoreTest, RoundTripsUnderTheClassicKeyWithTheSectionAsNestedKeys) {
  EXPECT_EQ(store.GetSetting(app_, kSection, kKey, "255.255.255.255"), "255.255.255.255");
  ASSERT_EQ(store.SaveSetting(app_, kSection, kKey, "10.99.0.255"), 0);
  ASSERT_EQ(store.SaveSetting(app_, kSection, "ArtNet_SubNet", "3"), 0);
  ASSERT_EQ(store.SaveSetting(app_, kSection, "ArtNet_SubNet", "-7"), 0);  // replaced
  EXPECT_EQ(store.GetSetting(app_, kSection, kKey, ""), "10.99.0.255");
  EXPECT_EQ(store.GetSetting(app_, kSection, "ArtNet_SubNet", ""), "-7");
  EXPECT_EQ(RegistrySettingsStore::KeyPath(app_, kSection),
            "Software\\VB and VBA Program Settings\\" + app_ + "\\Plugins\\ArtNet.dll");

  // "Plugins" is a key of its own holding the file's key; the values are REG_SZ.
  HKEY plugins = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, (kRoot + Wide(app_) + L"\\Plugins").c_str(), 0, KEY_READ, &plugins),
            ERROR_SUCCESS);
  wchar_t subkey[64] = {};
  DWORD length = 64;
  EXPECT_EQ(RegEnumKeyExW(plugins, 0, subkey, &length, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_STREQ(subkey, L"ArtNet.dll");
  RegCloseKey(plugins);
  DWORD type = 0;
  std::wstring raw;
  ASSERT_TRUE(ReadRaw(kRoot + Wide(app_) + L"\\Plugins\\ArtNet.dll", L"ArtNet_BroadcastAdress", type, raw));
  EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(raw, L"10.99.0.255");
}

TEST_F(RegistrySettingsStoreTest, MissingValuesGiveTheDefaultAndNothingIsFiledWithoutAnApplicationName) {
  store.SaveSetting(app_, kSection, "ArtNet_SubNet", "3");
  EXPECT_EQ(store.GetSetting(app_, kSection, "ArtNet_InputUniverse1", "0"), "0");      // missing key
  EXPECT_EQ(store.GetSetting(app_, "Plugins\\other.dll", "ArtNet_SubNet", "d"), "d");  // missing section
  EXPECT_EQ(store.GetSetting(app_ + " other", kSection, "ArtNet_SubNet", "d"), "d");   // missing application
  EXPECT_EQ(store.GetSetting(app_, kSection, "ArtNet_SubNet", "d"), "3");

  // No application title (Term before Init): nothing written, nothing read.
  EXPECT_EQ(store.SaveSetting("", kSection, "ArtNet_SubNet", "9"), 0);
  EXPECT_EQ(store.GetSetting("", kSection, "ArtNet_SubNet", "d"), "d");
  EXPECT_EQ(store.SaveSetting("\\", kSection, "ArtNet_SubNet", "9"), 0);
  HKEY stray = nullptr;
  EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, (kRoot + L"Plugins\\ArtNet.dll").c_str(), 0, KEY_READ, &stray),
            ERROR_SUCCESS);

  // A value of another type is not one of ours.
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, (kRoot + Wide(app_) + L"\\Plugins\\ArtNet.dll").c_str(), 0, nullptr, 0,
                            KEY_SET_VALUE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  const DWORD number = 5;
  RegSetValueExW(key, L"ArtNet_OutputUniverse1", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
  // Text written by another program without its terminator still reads whole.
  const wchar_t unterminated[] = {L'1', L'2'};
  RegSetValueExW(key, L"ArtNet_InputUniverse1", 0, REG_SZ, reinterpret_cast<const BYTE*>(unterminated),
                 sizeof unterminated);
  RegCloseKey(key);
  EXPECT_EQ(store.GetSetting(app_, kSection, "ArtNet_OutputUniverse1", "1"), "1");
  EXPECT_EQ(store.GetSetting(app_, kSection, "ArtNet_InputUniverse1", "0"), "12");
}

TEST_F(RegistrySettingsStoreTest, TextIsUtf8InsideAndUtf16InTheRegistry) {
  const std::string value = "B\xC3\xBChne \xE2\x80\x93 \xE6\x9D\xB1\xE4\xBA\xAC";  // "Bühne – 東京"
  const std::string section =
      "Plugins\\Stra\xC3\x9F"
      "e.dll";  // "Straße.dll"
  ASSERT_EQ(store.SaveSetting(app_, section, kKey, value), 0);
  EXPECT_EQ(store.GetSetting(app_, section, kKey, ""), value);
  DWORD type = 0;
  std::wstring raw;
  ASSERT_TRUE(ReadRaw(kRoot + Wide(app_) + L"\\Plugins\\Stra\u00DFe.dll", L"ArtNet_BroadcastAdress", type, raw));
  EXPECT_EQ(raw, L"B\u00FChne \u2013 \u6771\u4EAC");
  // An empty value is a value, not a missing one.
  ASSERT_EQ(store.SaveSetting(app_, kSection, kKey, ""), 0);
  EXPECT_EQ(store.GetSetting(app_, kSection, kKey, "default"), "");
}

TEST_F(RegistrySettingsStoreTest, AKeyThatCannotBeCreatedReportsPathFileAccessAndKeepsTheRest) {
  ASSERT_EQ(store.SaveSetting(app_, kSection, kKey, "10.0.0.255"), 0);
  // Registry key names end at 255 characters.
  const std::string tooLong = "Plugins\\" + std::string(300, 'x');
  EXPECT_EQ(store.SaveSetting(app_, tooLong, kKey, "1"), 75);
  EXPECT_EQ(store.GetSetting(app_, kSection, kKey, ""), "10.0.0.255");
}

}  // namespace
}  // namespace artnet
