// The whole Windows build under Wine: the driver's Configure on the Win32
// platform opens the native dialog; a scan is answered by a Linux peer node
// in a namespace of its own; the node and two of its ports are picked and
// OK applied. Run by scan-with-peer.sh, which builds the network, runs the
// node and a listener, and checks the ArtPollReply that OK broadcast.
//
//   this namespace: br-scan 10.88.0.1/24 (the plug-in)
//   namespace node: 10.88.0.2, node "Alpha Dimmer" (subnet 3; port 1 output
//                   on universe 5, port 2 input on universe 10)
//   namespace listener: 10.88.0.4, prints every ArtPollReply it hears
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "com/win32_platform.h"
#include "dialog_script.h"
#include "driver/cls_output_driver.h"
#include "engine/module_state.h"
#include "ui/win32/win32_config_dialog.h"

namespace artnet {
namespace {

using testing::Click;
using testing::DialogScript;
using testing::Do;
using testing::Item;
using testing::Press;
using testing::Step;
using testing::Text;

constexpr const char* kAlpha = "Alpha Dimmer (IP: 10.88.0.2; Subnet 3; 2 ports)";

bool OnTheScanBridge() {
  const char* bridge = std::getenv("ARTNET_TEST_SCAN_BRIDGE");
  return bridge != nullptr && std::string(bridge) == "1";
}

std::vector<std::string> Entries(HWND dialog) { return testing::NodeEntries(Item(dialog, kIdNodeList)); }

TEST(ScanWithPeer, PickingTheNodeAndItsPortsSetsTheSettingsOnOk) {
  if (!OnTheScanBridge()) GTEST_SKIP() << "run through scan-with-peer.sh";
  Win32Platform platform;
  ModuleState mod(platform);
  clsOutputDriver driver(mod);
  lumenstage::VBool result = 0;
  ASSERT_TRUE(driver.Init("Lumenstage", "ArtNet.dll", nullptr, &result).ok());
  mod.Settings = {"10.88.0.255", 0, 0, 0};
  // Replies reach the plug-in only once its endpoint is open.
  ASSERT_TRUE(driver.Enable(&result).ok());
  ASSERT_EQ(result, lumenstage::kTrue);

  int alpha = -1;
  DialogScript script({
      Click(kIdScan),
      // The scan pumps for a little over 4 s; the list shows the nodes after.
      [&](HWND dialog) {
        const std::vector<std::string> entries = Entries(dialog);
        for (std::size_t i = 0; i < entries.size(); ++i) {
          if (entries[i] == kAlpha) alpha = static_cast<int>(i);
        }
        return alpha >= 0;
      },
      // Picked with the keyboard: Home, then down to its entry.
      Do([&](HWND dialog) {
        SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(dialog, kIdNodeList)), TRUE);
        Press(VK_HOME);
        for (int i = 0; i < alpha; ++i) Press(VK_DOWN);
      }),
      Do([](HWND dialog) {
        EXPECT_EQ(Text(Item(dialog, kIdPort0)), "Port 1 (Out)");
        EXPECT_EQ(Text(Item(dialog, kIdPort0 + 1)), "Port 2 (In)");
        EXPECT_FALSE(IsWindowEnabled(Item(dialog, kIdPort0 + 2)));
        EXPECT_EQ(Text(Item(dialog, kIdSubnetValue)), "3");
      }),
      Click(kIdPort0),
      Click(kIdPort0 + 1),
      Do([](HWND dialog) {
        EXPECT_EQ(Text(Item(dialog, kIdOutputUniverseValue)), "5");
        EXPECT_EQ(Text(Item(dialog, kIdInputUniverseValue)), "A");
      }),
      Click(kIdOk),
  });
  ASSERT_TRUE(driver.Configure(&result).ok());
  EXPECT_TRUE(script.Finished()) << "stopped at step " << script.StepsRun();
  EXPECT_EQ(mod.Settings.SubNet, 3);
  EXPECT_EQ(mod.Settings.SendUniverse, 5);
  EXPECT_EQ(mod.Settings.ReceiveUniverse, 10);
  EXPECT_EQ(mod.Settings.BroadcastAddress, "10.88.0.255");
  EXPECT_TRUE(driver.Disable(&result).ok());
}

}  // namespace
}  // namespace artnet
