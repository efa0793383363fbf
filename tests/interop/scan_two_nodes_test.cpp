// A scan by the real plug-in on the Qt platform, answered by two artnet-peer
// nodes in namespaces of their own on a bridge. Run by scan_two_nodes_test.sh,
// which builds the network below and starts the nodes; the values here must
// match the nodes it declares there.
//
//   this namespace: br-scan 10.88.0.1/24 (the plug-in)
//   namespace node-a: 10.88.0.2, node "Alpha Dimmer"
//   namespace node-b: 10.88.0.3, node "Beta Gateway", reporting IP 10.88.0.103
#include <gtest/gtest.h>
#include <net/if.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "driver/cls_output_driver.h"
#include "engine/discovery.h"
#include "engine/module_state.h"
#include "engine/node_table.h"
#include "plugin/qt_platform.h"

namespace {

using artnet::NodeRecord;

constexpr bool kOut = true;
constexpr bool kIn = false;

// Known to share the machine's own network namespace (PID 1's may be unreadable).
bool InInitialNetworkNamespace() {
  struct stat self {
  }, init{};
  if (stat("/proc/self/ns/net", &self) != 0 || stat("/proc/1/ns/net", &init) != 0) return false;
  return self.st_ino == init.st_ino && self.st_dev == init.st_dev;
}

// Only inside the wrapper's namespaces, where the bridge and the broadcast
// address 10.88.0.255 exist.
bool OnTheScanBridge() {
  const char* netns = std::getenv("ARTNET_TEST_NETNS");
  const char* bridge = std::getenv("INTEROP_SCAN_BRIDGE");
  return netns != nullptr && std::string(netns) == "1" && bridge != nullptr && std::string(bridge) == "1" &&
         ::if_nametoindex("br-scan") != 0 && !InInitialNetworkNamespace();
}

const NodeRecord* FindByIp(const artnet::NodeTable& table, const std::string& ip) {
  for (std::int32_t i = 0; i < table.Count(); ++i) {
    if (table.Entries()[static_cast<std::size_t>(i)].IPAddress == ip)
      return &table.Entries()[static_cast<std::size_t>(i)];
  }
  return nullptr;
}

void ExpectPorts(const NodeRecord& node, std::array<bool, 4> isOutput, std::array<std::int32_t, 4> universe) {
  EXPECT_EQ(node.PortIsOutput, isOutput) << node.ShortName;
  EXPECT_EQ(node.PortUniverse, universe) << node.ShortName;
}

TEST(ScanTwoNodes, FilesEveryNodeThatAnsweredAsItDeclaredItself) {
  if (!OnTheScanBridge()) GTEST_SKIP() << "run through scan_two_nodes_test.sh inside scripts/in-test-netns.sh";

  QTemporaryDir config;
  ASSERT_TRUE(config.isValid());
  const std::string dir = config.path().toStdString();
  ASSERT_EQ(::setenv("XDG_CONFIG_HOME", dir.c_str(), 1), 0);
  std::filesystem::create_directories(dir + "/lumenstage");
  std::ofstream(dir + "/lumenstage/plugins.ini") << "[Lumenstage\\Plugins\\libArtNet.so]\n"
                                                    "ArtNet_BroadcastAdress=10.88.0.255\n"
                                                    "ArtNet_SubNet=9\n"
                                                    "ArtNet_InputUniverse1=4\n"
                                                    "ArtNet_OutputUniverse1=11\n";

  artnet::QtPlatform platform;
  artnet::ModuleState mod(platform);
  artnet::clsOutputDriver driver(mod);
  lumenstage::VBool result = 0;
  ASSERT_TRUE(driver.Init("Lumenstage", "libArtNet.so", nullptr, &result).ok());
  ASSERT_EQ(mod.Settings.BroadcastAddress, "10.88.0.255");
  ASSERT_TRUE(driver.Enable(&result).ok());
  ASSERT_EQ(result, lumenstage::kTrue);

  const auto started = std::chrono::steady_clock::now();
  artnet::ScanNodes(mod);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  EXPECT_GT(seconds, 4.0);
  EXPECT_LT(seconds, 12.0);  // "a little over 4 s", with room for a loaded machine

  const artnet::NodeTable& table = mod.Nodes;
  for (std::int32_t i = 0; i < table.Count(); ++i) {
    const NodeRecord& n = table.Entries()[static_cast<std::size_t>(i)];
    std::printf("node %d: %s \"%s\" NetSubSwitch %d NumPorts %d\n", i, n.IPAddress.c_str(), n.ShortName.c_str(),
                n.NetSubSwitch, n.NumPorts);
  }
  // The two nodes, and the plug-in itself: its poll and its answer to it are
  // broadcasts, which this host receives as well.
  ASSERT_EQ(table.Count(), 3);
  ASSERT_EQ(table.Entries().size(), 3u);

  const NodeRecord* alpha = FindByIp(table, "10.88.0.2");
  ASSERT_NE(alpha, nullptr);
  EXPECT_EQ(alpha->ShortName, "Alpha Dimmer");
  EXPECT_EQ(alpha->LongName, "Alpha dimmer rack, two ports");
  EXPECT_EQ(alpha->NodeReport, "#0001 [0042] ok");
  EXPECT_EQ(alpha->NetSubSwitch, 3);
  EXPECT_EQ(alpha->NumPorts, 2);
  ExpectPorts(*alpha, {kOut, kIn, kIn, kIn}, {5, 10, 0, 0});

  // Filed under the address it reports, not the one it sent from.
  EXPECT_EQ(FindByIp(table, "10.88.0.3"), nullptr);
  const NodeRecord* beta = FindByIp(table, "10.88.0.103");
  ASSERT_NE(beta, nullptr);
  EXPECT_EQ(beta->ShortName, "Beta Gateway");
  EXPECT_EQ(beta->LongName, "Beta Gateway");
  EXPECT_EQ(beta->NodeReport, "");
  EXPECT_EQ(beta->NetSubSwitch, 1 * 256 + 15);
  EXPECT_EQ(beta->NumPorts, 4);
  ExpectPorts(*beta, {kOut, kOut, kIn, kIn}, {12, 13, 14, 0});

  const NodeRecord* self = FindByIp(table, "10.88.0.1");
  ASSERT_NE(self, nullptr);
  EXPECT_EQ(self->ShortName, "Lumenstage");
  EXPECT_EQ(self->NetSubSwitch, 9);
  EXPECT_EQ(self->NumPorts, 1);
  ExpectPorts(*self, {kOut, kIn, kIn, kIn}, {11, 0, 0, 0});

  EXPECT_TRUE(driver.Disable(&result).ok());
  EXPECT_TRUE(driver.Term(&result).ok());
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
