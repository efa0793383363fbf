#include <gtest/gtest.h>

#include "module_fixture.h"

namespace artnet {
namespace {

using lumenstage::kFalse;
using lumenstage::kTrue;
using lumenstage::VBool;

class DriverTest : public testing::ModuleTest {
 protected:
  const std::string kSection = "Plugins\\ArtNet.dll";

  void Store(const std::string& key, const std::string& value) {
    platform.settings.values[{"Lumenstage", kSection, key}] = value;
  }
  std::string Stored(const std::string& key) { return platform.settings.values[{"Lumenstage", kSection, key}]; }
  lumenstage::Status Init(VBool& result) { return driver.Init("Lumenstage", "ArtNet.dll", &helper, &result); }
};

TEST_F(DriverTest, InitWithoutStoredSettingsLoadsDefaultsAndEmptiesTheBuffer) {
  VBool result = lumenstage::kTrue;
  ASSERT_TRUE(Init(result).ok());
  EXPECT_EQ(result, lumenstage::kFalse);
  EXPECT_EQ(mod.Settings.BroadcastAddress, "255.255.255.255");
  EXPECT_EQ(mod.Settings.SubNet, 0);
  EXPECT_EQ(mod.Settings.SendUniverse, 0);
  EXPECT_EQ(mod.Settings.ReceiveUniverse, 1);
  EXPECT_EQ(mod.Output.Buffer, std::vector<std::uint8_t>{0});
  EXPECT_EQ(mod.Output.HighestChannel, 0);
  EXPECT_EQ(mod.Input.Helper.get(), &helper);
  EXPECT_EQ(helper.refs, 1);
}

TEST_F(DriverTest, InitReadsStoredSettingsUnderTitleAndPluginSection) {
  Store("ArtNet_BroadcastAdress", "");
  Store("ArtNet_SubNet", "3");
  Store("ArtNet_InputUniverse1", " 7 ");
  Store("ArtNet_OutputUniverse1", "-2");
  VBool result = lumenstage::kTrue;
  ASSERT_TRUE(Init(result).ok());
  EXPECT_EQ(mod.Settings.BroadcastAddress, "");
  EXPECT_EQ(mod.Settings.SubNet, 3);
  EXPECT_EQ(mod.Settings.SendUniverse, 7);
  EXPECT_EQ(mod.Settings.ReceiveUniverse, -2);
}

TEST_F(DriverTest, InitStopsAtABadNumberKeepingWhatWasReadBefore) {
  mod.Output.Buffer = {5, 6, 7};
  mod.Output.HighestChannel = 3;
  mod.Settings.ReceiveUniverse = 9;
  Store("ArtNet_SubNet", "4");
  Store("ArtNet_InputUniverse1", "");  // empty text is not a number
  VBool result = lumenstage::kTrue;
  const lumenstage::Status status = Init(result);
  EXPECT_EQ(status.error, 13);
  EXPECT_EQ(result, lumenstage::kFalse);
  EXPECT_EQ(driver.AppTitle(), "Lumenstage");
  EXPECT_EQ(mod.Input.Helper.get(), &helper);
  EXPECT_EQ(mod.Settings.SubNet, 4);
  EXPECT_EQ(mod.Settings.ReceiveUniverse, 9);
  EXPECT_EQ(mod.Output.Buffer.size(), 3u);

  // Term writes the values in memory back over the bad text.
  ASSERT_TRUE(driver.Term(&result).ok());
  EXPECT_EQ(Stored("ArtNet_InputUniverse1"), "0");
}

TEST_F(DriverTest, InitRejectsNonNumbersAndOutOfRangeNumbers) {
  VBool result;
  Store("ArtNet_SubNet", "abc");
  EXPECT_EQ(Init(result).error, 13);
  Store("ArtNet_SubNet", "2147483648");
  EXPECT_EQ(Init(result).error, 6);
  Store("ArtNet_SubNet", "-2147483649");
  EXPECT_EQ(Init(result).error, 6);
  Store("ArtNet_SubNet", "-2147483648");
  EXPECT_TRUE(Init(result).ok());
}

TEST_F(DriverTest, SecondInitReplacesHelperAndEmptiesTheBuffer) {
  VBool result;
  ASSERT_TRUE(Init(result).ok());
  ASSERT_TRUE(driver.SetChannel(10, 5, &result).ok());
  fakes::RecordingHelper other;
  ASSERT_TRUE(driver.Init("Lumenstage", "ArtNet.dll", &other, &result).ok());
  EXPECT_EQ(helper.refs, 0);
  EXPECT_EQ(other.refs, 1);
  EXPECT_EQ(mod.Output.Buffer, std::vector<std::uint8_t>{0});
  EXPECT_EQ(mod.Output.HighestChannel, 0);
  mod.Input.Helper.Reset(nullptr);
  EXPECT_EQ(other.refs, 0);
}

TEST_F(DriverTest, EnableOpensAnnouncesAndCapturesTheLocalAddress) {
  Store("ArtNet_BroadcastAdress", "10.0.0.255");
  Store("ArtNet_SubNet", "2");
  InitDriver();
  Socket().localIP = "192.168.1.20";
  mod.Nodes.AddNodeFromPollReply(testing::IncomingReply({}));
  EnableDriver();
  EXPECT_TRUE(mod.Enabled);
  EXPECT_TRUE(Socket().open);
  EXPECT_EQ(Socket().boundPort, 6454);
  EXPECT_EQ(mod.LocalAddress.ip, (std::array<std::uint8_t, 4>{192, 168, 1, 20}));
  EXPECT_EQ(mod.LocalAddress.port, 6454);
  EXPECT_EQ(mod.Nodes.Count(), 0);
  EXPECT_EQ(mod.Nodes.Entries().size(), 1u);
  ASSERT_EQ(Sent().size(), 1u);
  EXPECT_EQ(Sent()[0].remoteHost, "10.0.0.255");
  EXPECT_EQ(Sent()[0].bytes.size(), 239u);
  EXPECT_EQ(Sent()[0].bytes[10], 192);
  EXPECT_EQ(Sent()[0].bytes[19], 2);

  // A second Enable keeps the socket and announces again.
  Socket().log.clear();
  EnableDriver();
  EXPECT_EQ(Sent().size(), 2u);
  EXPECT_EQ(std::count(Socket().log.begin(), Socket().log.end(), "Bind 6454"), 0);
}

TEST_F(DriverTest, EnableWithASettingOutOfByteRangeDoesNothing) {
  InitDriver();
  mod.Settings.SubNet = 300;
  VBool result = lumenstage::kTrue;
  EXPECT_EQ(driver.Enable(&result).error, 6);
  EXPECT_EQ(result, lumenstage::kFalse);
  EXPECT_FALSE(mod.Enabled);
  EXPECT_FALSE(mod.HasTransport());  // the endpoint was not even created
  mod.Settings.SubNet = 0;
  mod.Settings.ReceiveUniverse = -1;
  EXPECT_EQ(driver.Enable(&result).error, 6);
}

TEST_F(DriverTest, EnableWithAnUnusableLocalAddressFailsAfterOpening) {
  Store("ArtNet_BroadcastAdress", "10.0.0.255");
  InitDriver();
  Socket().localIP = "10.0.0";
  VBool result = lumenstage::kTrue;
  EXPECT_EQ(driver.Enable(&result).error, 9);
  EXPECT_EQ(result, lumenstage::kFalse);
  EXPECT_FALSE(mod.Enabled);
  EXPECT_TRUE(Socket().open);
  EXPECT_TRUE(Sent().empty());

  Socket().localIP = "10.256.0.1";
  EXPECT_EQ(driver.Enable(&result).error, 6);
  EXPECT_EQ(mod.LocalAddress.ip[0], 10);  // filled up to the bad part

  // Leading numbers count; a part without one is 0; extra parts are ignored.
  Socket().localIP = "7x.8 .abc.9.5";
  ASSERT_TRUE(driver.Enable(&result).ok());
  EXPECT_EQ(mod.LocalAddress.ip, (std::array<std::uint8_t, 4>{7, 8, 0, 9}));
}

TEST_F(DriverTest, DisableClosesAndClearsEnabledEvenWithoutEnable) {
  VBool result = lumenstage::kFalse;
  ASSERT_TRUE(driver.Disable(&result).ok());
  EXPECT_EQ(result, lumenstage::kTrue);
  EXPECT_FALSE(mod.Enabled);

  InitAndEnable();
  ASSERT_TRUE(driver.Disable(&result).ok());
  EXPECT_FALSE(Socket().open);
  EXPECT_FALSE(mod.Enabled);

  EnableDriver();
  Socket().closeError = 10050;
  EXPECT_EQ(driver.Disable(&result).error, 10050);
  EXPECT_EQ(result, lumenstage::kFalse);
  EXPECT_TRUE(mod.Enabled);
}

TEST_F(DriverTest, TermSavesInStoredFormAndLeavesEnabled) {
  InitAndEnable();
  mod.Settings = {"10.9.8.255", 12, -3, 15};
  VBool result = lumenstage::kTrue;
  ASSERT_TRUE(driver.Term(&result).ok());
  EXPECT_EQ(result, lumenstage::kFalse);
  EXPECT_EQ(Stored("ArtNet_BroadcastAdress"), "10.9.8.255");
  EXPECT_EQ(Stored("ArtNet_SubNet"), "12");
  EXPECT_EQ(Stored("ArtNet_InputUniverse1"), "-3");
  EXPECT_EQ(Stored("ArtNet_OutputUniverse1"), "15");
  EXPECT_EQ(platform.settings.saveOrder, (std::vector<std::string>{"ArtNet_BroadcastAdress", "ArtNet_SubNet",
                                                                   "ArtNet_InputUniverse1", "ArtNet_OutputUniverse1"}));
  EXPECT_FALSE(Socket().open);
  EXPECT_TRUE(mod.Enabled);
}

TEST_F(DriverTest, TermFailsAtTheFirstSaveTheStoreRefusesAndStopsThere) {
  InitAndEnable();
  mod.Settings = {"10.9.8.255", 12, -3, 15};
  platform.settings.saveError = lumenstage::kErrPathFileAccess.number;
  platform.settings.savesBeforeError = 1;
  VBool result = lumenstage::kTrue;
  const lumenstage::Status status = driver.Term(&result);
  EXPECT_EQ(status.error, 75);
  EXPECT_STREQ(status.description, "Path/File access error");
  EXPECT_EQ(result, lumenstage::kFalse);
  EXPECT_EQ(platform.settings.saveOrder, std::vector<std::string>{"ArtNet_BroadcastAdress"});
  EXPECT_TRUE(Socket().open);  // the close step was never reached
  EXPECT_TRUE(mod.Enabled);

  // Once the store works again, Term saves everything and closes.
  platform.settings.saveError = 0;
  ASSERT_TRUE(driver.Term(&result).ok());
  EXPECT_EQ(Stored("ArtNet_OutputUniverse1"), "15");
  EXPECT_FALSE(Socket().open);
}

TEST_F(DriverTest, PluginNameAndConfigure) {
  std::string name;
  ASSERT_TRUE(driver.PluginName(&name).ok());
  EXPECT_EQ(name, "ArtNet Plugin");

  VBool result = lumenstage::kTrue;
  ASSERT_TRUE(driver.Configure(&result).ok());
  EXPECT_EQ(result, lumenstage::kFalse);
  EXPECT_EQ(platform.dialogs.shown, 1);
  platform.dialogs.result = 445;
  EXPECT_EQ(driver.Configure(&result).error, 445);
}

TEST_F(DriverTest, ModuleStateOutlivesAnInstance) {
  InitAndEnable();
  {
    clsOutputDriver second(mod);
    VBool result = lumenstage::kFalse;
    ASSERT_TRUE(second.SetChannel(3, 7, &result).ok());
    EXPECT_EQ(result, lumenstage::kTrue);
  }
  EXPECT_EQ(mod.Output.Buffer[2], 7);
  EXPECT_TRUE(mod.Enabled);
}

// A host may release the object while its method waits in a nested loop (the
// port-in-use box, the dialog); the object lives until the method returns
// (the sanitizer build catches a write to a freed one).
TEST_F(DriverTest, ReleasedInsideANestedLoopLivesUntilTheMethodReturns) {
  Socket().heldPorts = {6454};
  auto* enabling = new clsOutputDriver(mod);
  platform.messages.whileShown = [&] { enabling->Release(); };
  VBool result = kFalse;
  EXPECT_TRUE(enabling->Enable(&result).ok());
  EXPECT_EQ(result, kTrue);
  EXPECT_TRUE(mod.Enabled);

  auto* configuring = new clsOutputDriver(mod);
  platform.dialogs.whileShown = [&](ConfigDialogServices&) { configuring->Release(); };
  result = kTrue;
  EXPECT_TRUE(configuring->Configure(&result).ok());
  EXPECT_EQ(result, kFalse);
}

}  // namespace
}  // namespace artnet
