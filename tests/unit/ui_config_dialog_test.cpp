// The configuration dialog's rules, against a fake view that behaves like
// real controls: a bar reports its changes, clamps to 0..15, and the first
// entry added to an empty list becomes current.
#include <gtest/gtest.h>

#include <memory>

#include "support/art_net_test_packets.h"
#include "support/fake_dialog_services.h"
#include "ui/config_dialog.h"

namespace artnet {
namespace {

using testing::FakeDialogServices;
using testing::IncomingReply;
using testing::PortSpec;

class FakeView final : public ConfigDialogView {
 public:
  ConfigDialogBehaviour* behaviour = nullptr;
  std::array<int, 3> bars{};
  std::array<std::string, 3> labels{"0", "0", "0"};
  std::string broadcast;
  std::vector<std::string> entries;
  int current = -1;
  std::array<std::string, 4> captions{"Port 1", "Port 2", "Port 3", "Port 4"};
  std::array<bool, 4> checked{};
  std::array<bool, 4> enabled{true, true, true, true};
  int closes = 0;

  void SetBarValue(ConfigBar bar, int value) override {
    int& slot = bars[static_cast<std::size_t>(bar)];
    value = std::clamp(value, 0, 15);
    if (slot == value) return;
    slot = value;
    if (behaviour != nullptr) behaviour->OnBarChanged(bar);
  }
  int BarValue(ConfigBar bar) const override { return bars[static_cast<std::size_t>(bar)]; }
  void SetBarLabel(ConfigBar bar, const std::string& text) override { labels[static_cast<std::size_t>(bar)] = text; }
  void SetBroadcastText(const std::string& text) override { broadcast = text; }
  std::string BroadcastText() const override { return broadcast; }
  void ClearNodeEntries() override { entries.clear(), current = -1; }
  void AddNodeEntry(const std::string& text) override {
    entries.push_back(text);
    if (entries.size() == 1) current = 0;
  }
  void SetCurrentNodeEntry(int index) override { current = index; }
  int CurrentNodeEntry() const override { return current; }
  void SetPortCaption(int port, const std::string& caption) override { captions.at(port) = caption; }
  void SetPortChecked(int port, bool on) override { checked.at(port) = on; }
  void SetPortEnabled(int port, bool on) override { enabled.at(port) = on; }
  void CloseDialog() override { ++closes; }

  const std::string& Label(ConfigBar bar) const { return labels[static_cast<std::size_t>(bar)]; }
  int Bar(ConfigBar bar) const { return bars[static_cast<std::size_t>(bar)]; }
};

constexpr PortSpec kOut(std::uint8_t universe) { return {0x80, 0, universe}; }
constexpr PortSpec kIn(std::uint8_t universe) { return {0x40, universe, 0}; }

class ConfigDialogTest : public ::testing::Test {
 protected:
  FakeDialogServices services;
  FakeView view;
  std::unique_ptr<ConfigDialogBehaviour> behaviour = std::make_unique<ConfigDialogBehaviour>(services, view);

  void SetUp() override { view.behaviour = behaviour.get(); }
  void Load() { behaviour->OnLoad(); }
  void ScanAndPick(int entry) {
    behaviour->OnScanClicked();
    view.current = entry;
    behaviour->OnNodePicked();
  }
};

TEST(ConfigDialogText, HexAndEntryFormats) {
  EXPECT_EQ(ConfigDialogBehaviour::HexText(0), "0");
  EXPECT_EQ(ConfigDialogBehaviour::HexText(10), "A");
  EXPECT_EQ(ConfigDialogBehaviour::HexText(0x105), "105");
  EXPECT_EQ(ConfigDialogBehaviour::HexText(-1), "FFFFFFFF");
  NodeRecord node{"2.0.0.17", 10, "Stage Left", "", "", 4, {}, {}};
  EXPECT_EQ(ConfigDialogBehaviour::NodeEntryText(node), "Stage Left (IP: 2.0.0.17; Subnet A; 4 ports)");
}

TEST_F(ConfigDialogTest, OpeningShowsTheSettingsOnTheirBars) {
  services.settings = {"2.255.255.255", 10, 15, 3};
  Load();
  EXPECT_EQ(view.Label(ConfigBar::SubNet), "A");
  EXPECT_EQ(view.Label(ConfigBar::OutputUniverse), "F");  // SendUniverse
  EXPECT_EQ(view.Label(ConfigBar::InputUniverse), "3");   // ReceiveUniverse
  EXPECT_EQ(view.broadcast, "2.255.255.255");
  EXPECT_TRUE(view.entries.empty());
  EXPECT_EQ(view.captions[0], "Port 1");
}

TEST_F(ConfigDialogTest, OpeningClampsOutOfRangeButKeepsTheSettingUntilOk) {
  services.settings = {"x", 99, -4, 16};
  Load();
  EXPECT_EQ(view.Label(ConfigBar::SubNet), "F");
  EXPECT_EQ(view.Label(ConfigBar::OutputUniverse), "0");
  EXPECT_EQ(view.Label(ConfigBar::InputUniverse), "F");
  EXPECT_EQ(services.settings.SubNet, 99);
  behaviour->OnOkClicked();
  EXPECT_EQ(services.settings.SubNet, 15);
  EXPECT_EQ(services.settings.SendUniverse, 0);
  EXPECT_EQ(services.settings.ReceiveUniverse, 15);
}

TEST_F(ConfigDialogTest, BeforeAnyScanPickingChangesNothing) {
  Load();
  for (int i = 0; i < 4; ++i) behaviour->OnPortPicked(i);
  view.current = 0;
  behaviour->OnNodePicked();  // the table has no entries at all
  EXPECT_EQ(view.captions[0], "Port 1");
  EXPECT_EQ(view.enabled, (std::array<bool, 4>{true, true, true, true}));
  EXPECT_EQ(view.Bar(ConfigBar::InputUniverse), 1);
}

TEST_F(ConfigDialogTest, ScanListsNodesInTableOrderWithNothingCurrent) {
  services.replies = {IncomingReply({2, 0, 0, 17}, 0, 10, "Stage Left", 4), IncomingReply({2, 0, 0, 18}, 1, 5, "", 1),
                      IncomingReply({2, 0, 0, 19}, 0, 0, "Dimmer", 0)};
  Load();
  behaviour->OnScanClicked();
  EXPECT_EQ(view.entries, (std::vector<std::string>{"Stage Left (IP: 2.0.0.17; Subnet A; 4 ports)",
                                                    " (IP: 2.0.0.18; Subnet 105; 1 ports)",
                                                    "Dimmer (IP: 2.0.0.19; Subnet 0; 0 ports)"}));
  EXPECT_EQ(view.current, -1);
}

TEST_F(ConfigDialogTest, ScanShowsStatusEntryMeanwhileAndLeavesControlsAlone) {
  services.replies = {IncomingReply({2, 0, 0, 1}, 0, 7, "N", 4, {kOut(3)})};
  Load();
  services.duringScan = [&] {
    EXPECT_EQ(view.entries, std::vector<std::string>{"Scanning..."});
    EXPECT_EQ(view.current, 0);
    // The table already holds a node at 0, but the status entry is no node.
    behaviour->OnNodePicked();
    behaviour->OnPortPicked(0);
    EXPECT_EQ(view.captions[0], "Port 1");
    EXPECT_EQ(view.Bar(ConfigBar::SubNet), 0);
    EXPECT_EQ(view.Bar(ConfigBar::OutputUniverse), 0);
  };
  behaviour->OnScanClicked();
  behaviour->OnPortPicked(0);  // nothing picked after the refill either
  EXPECT_EQ(view.Bar(ConfigBar::OutputUniverse), 0);
}

TEST_F(ConfigDialogTest, ScanWithoutRepliesLeavesListEmptyAndPortsAsTheyWere) {
  services.replies = {IncomingReply({2, 0, 0, 1}, 0, 0, "N", 1)};
  Load();
  ScanAndPick(0);
  services.replies.clear();
  behaviour->OnScanClicked();
  EXPECT_TRUE(view.entries.empty());
  EXPECT_EQ(view.current, -1);
  EXPECT_EQ(view.enabled, (std::array<bool, 4>{true, false, false, false}));
}

TEST_F(ConfigDialogTest, NestedScanLeavesTheLastScansTable) {
  Load();
  services.duringScan = [&] {
    services.duringScan = nullptr;
    services.replies = {IncomingReply({2, 0, 0, 9}, 0, 0, "Inner", 2)};
    behaviour->OnScanClicked();
    EXPECT_EQ(view.entries.size(), 1u);
  };
  behaviour->OnScanClicked();
  EXPECT_EQ(services.scans, 2);
  EXPECT_EQ(view.entries, std::vector<std::string>{"Inner (IP: 2.0.0.9; Subnet 0; 2 ports)"});
}

TEST_F(ConfigDialogTest, ClosedDuringScanTheListIsNotRefilled) {
  services.replies = {IncomingReply({2, 0, 0, 1}, 0, 0, "N", 1)};
  Load();
  services.duringScan = [&] { behaviour->OnCancelClicked(); };
  behaviour->OnScanClicked();
  EXPECT_EQ(view.entries, std::vector<std::string>{"Scanning..."});
  EXPECT_EQ(view.closes, 1);
  EXPECT_TRUE(services.pollReplies.empty());
}

TEST_F(ConfigDialogTest, DestroyedDuringScanNothingIsTouched) {
  Load();
  services.duringScan = [&] {
    view.behaviour = nullptr;
    behaviour.reset();
    view.entries = {"gone"};
  };
  ConfigDialogBehaviour* raw = behaviour.get();
  raw->OnScanClicked();  // returns without using the destroyed object
  EXPECT_EQ(view.entries, std::vector<std::string>{"gone"});
}

TEST_F(ConfigDialogTest, PickingANodeSetsCaptionsEnablingAndSubnet) {
  services.replies = {IncomingReply({2, 0, 0, 1}, 0, 12, "A", 3, {kIn(4), kOut(5), {0x05, 9, 9}, kOut(1)}),
                      IncomingReply({2, 0, 0, 2}, 0, 0, "B", 1), IncomingReply({2, 0, 0, 3}, 0, 2, "C", 0),
                      IncomingReply({2, 0, 0, 4}, 1, 5, "D", 7)};
  Load();
  view.checked[2] = true;
  ScanAndPick(0);
  EXPECT_EQ(view.captions, (std::array<std::string, 4>{"Port 1 (In)", "Port 2 (Out)", "Port 3 (In)", "Port 4 (Out)"}));
  EXPECT_EQ(view.checked, (std::array<bool, 4>{}));
  EXPECT_EQ(view.enabled, (std::array<bool, 4>{true, true, true, false}));
  EXPECT_EQ(view.Label(ConfigBar::SubNet), "C");

  ScanAndPick(1);  // 1 port
  EXPECT_EQ(view.enabled, (std::array<bool, 4>{true, false, false, false}));
  ScanAndPick(2);  // 0 ports
  EXPECT_EQ(view.enabled, (std::array<bool, 4>{false, false, false, false}));
  EXPECT_EQ(view.Bar(ConfigBar::SubNet), 2);
  ScanAndPick(3);  // NetSubSwitch 0x105: the bar cannot show it and stays
  EXPECT_EQ(view.enabled, (std::array<bool, 4>{true, true, true, true}));
  EXPECT_EQ(view.Bar(ConfigBar::SubNet), 2);
}

TEST_F(ConfigDialogTest, PortSelectionSetsTheUniverseOfItsDirection) {
  services.replies = {IncomingReply({2, 0, 0, 1}, 0, 0, "A", 2, {kIn(4), kOut(0x3A)})};
  services.settings.SendUniverse = 7;
  Load();
  ScanAndPick(0);
  behaviour->OnPortPicked(0);  // an input port: the received universe
  EXPECT_EQ(view.Bar(ConfigBar::InputUniverse), 4);
  EXPECT_EQ(view.Bar(ConfigBar::OutputUniverse), 7);
  behaviour->OnPortPicked(1);
  EXPECT_EQ(view.Label(ConfigBar::OutputUniverse), "A");
  EXPECT_EQ(view.Bar(ConfigBar::SubNet), 0);
}

TEST_F(ConfigDialogTest, OkWritesTheControlsAndAnnouncesThem) {
  services.settings = {"2.255.255.255", 1, 2, 3};
  Load();
  view.SetBarValue(ConfigBar::SubNet, 4);
  view.SetBarValue(ConfigBar::OutputUniverse, 5);
  view.SetBarValue(ConfigBar::InputUniverse, 6);
  view.broadcast = "not an address";
  behaviour->OnOkClicked();
  behaviour->OnOkClicked();  // a second press after closing sends nothing more
  EXPECT_EQ(services.settings.BroadcastAddress, "not an address");
  EXPECT_EQ(services.settings.SubNet, 4);
  EXPECT_EQ(services.settings.SendUniverse, 5);
  EXPECT_EQ(services.settings.ReceiveUniverse, 6);
  EXPECT_EQ(services.pollReplies, std::vector<std::string>{"not an address"});
  EXPECT_EQ(services.warnings,
            std::vector<std::string>{ConfigDialogBehaviour::UnusableAddressWarning("not an address")});
  EXPECT_EQ(view.closes, 1);
}

TEST_F(ConfigDialogTest, OkWithoutChangesAndWithEmptyBroadcast) {
  services.settings = {"2.255.255.255", 1, 2, 3};
  Load();
  behaviour->OnOkClicked();
  EXPECT_EQ(services.settings.SubNet, 1);
  EXPECT_EQ(services.pollReplies, std::vector<std::string>{"2.255.255.255"});
  EXPECT_TRUE(services.warnings.empty());

  FakeView second;
  ConfigDialogBehaviour again(services, second);
  again.OnLoad();
  second.broadcast.clear();
  again.OnOkClicked();
  EXPECT_EQ(services.settings.BroadcastAddress, "");
  EXPECT_EQ(services.pollReplies.back(), "");
  EXPECT_EQ(services.warnings.size(), 1u);
}

// The warning's modal loop may close and destroy the window.
TEST_F(ConfigDialogTest, DestroyedDuringTheAddressWarningNothingIsTouched) {
  Load();
  view.broadcast = "10.0.0";
  services.whileWarning = [&] {
    view.behaviour = nullptr;
    behaviour.reset();
  };
  ConfigDialogBehaviour* raw = behaviour.get();
  raw->OnOkClicked();
  EXPECT_TRUE(services.pollReplies.empty());
  EXPECT_EQ(view.closes, 0);
}

TEST_F(ConfigDialogTest, CancelAfterChangesAppliesAndSendsNothing) {
  services.settings = {"2.255.255.255", 1, 2, 3};
  Load();
  view.SetBarValue(ConfigBar::SubNet, 9);
  view.broadcast = "2.0.0.255";
  behaviour->OnCancelClicked();
  behaviour->OnOkClicked();  // too late: the dialog is closed
  EXPECT_EQ(services.settings.SubNet, 1);
  EXPECT_EQ(services.settings.BroadcastAddress, "2.255.255.255");
  EXPECT_TRUE(services.pollReplies.empty());
  EXPECT_EQ(view.closes, 1);
}

}  // namespace
}  // namespace artnet
