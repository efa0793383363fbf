#include "ui/config_dialog.h"

#include <algorithm>

#include "engine/node_table.h"
#include "protocol/conversions.h"
#include "ui/config_dialog_services.h"

namespace artnet {

ConfigDialogBehaviour::ConfigDialogBehaviour(ConfigDialogServices& services, ConfigDialogView& view)
    : services_(services), view_(view) {}

ConfigDialogBehaviour::~ConfigDialogBehaviour() { *alive_ = false; }

std::string ConfigDialogBehaviour::UnusableAddressWarning(const std::string& address) {
  return "The broadcast address \"" + address +
         "\" is not an IPv4 address, so no Art-Net data can be sent. Please correct it.";
}

std::string ConfigDialogBehaviour::HexText(std::int32_t value) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  auto bits = static_cast<std::uint32_t>(value);
  std::string text;
  do {
    text.insert(text.begin(), kDigits[bits & 0x0F]);
    bits >>= 4;
  } while (bits != 0);
  return text;
}

std::string ConfigDialogBehaviour::NodeEntryText(const NodeRecord& node) {
  return node.ShortName + " (IP: " + node.IPAddress + "; Subnet " + HexText(node.NetSubSwitch) + "; " +
         std::to_string(node.NumPorts) + " ports)";
}

std::string ConfigDialogBehaviour::PortCaption(int port, bool isOutput) {
  return "Port " + std::to_string(port + 1) + (isOutput ? " (Out)" : " (In)");
}

void ConfigDialogBehaviour::SetBar(ConfigBar bar, int value) {
  // The bars cannot show other values; the setting itself stays as stored
  // unless OK writes the bar back.
  view_.SetBarValue(bar, std::clamp(value, kBarMin, kBarMax));
  OnBarChanged(bar);
}

void ConfigDialogBehaviour::OnBarChanged(ConfigBar bar) { view_.SetBarLabel(bar, HexText(view_.BarValue(bar))); }

void ConfigDialogBehaviour::OnLoad() {
  const ArtNetSettings& settings = services_.Settings();
  SetBar(ConfigBar::SubNet, settings.SubNet);
  SetBar(ConfigBar::OutputUniverse, settings.SendUniverse);
  SetBar(ConfigBar::InputUniverse, settings.ReceiveUniverse);
  view_.SetBroadcastText(settings.BroadcastAddress);
}

void ConfigDialogBehaviour::OnScanClicked() {
  if (closed_) return;
  view_.ClearNodeEntries();
  view_.AddNodeEntry(kScanningEntry);
  view_.SetCurrentNodeEntry(0);
  statusEntryShown_ = true;

  // ScanNodes runs the event loop for seconds: the user may close the dialog
  // (and its owner may destroy it) before it returns.
  const std::shared_ptr<bool> alive = alive_;
  services_.ScanNodes();
  if (!*alive || closed_) return;

  view_.ClearNodeEntries();
  statusEntryShown_ = false;
  // Only the empty entry a reset leaves is skipped, so list positions stay
  // equal to table indices.
  for (const NodeRecord& node : services_.Nodes().Entries()) {
    if (node.IsEmpty()) continue;
    view_.AddNodeEntry(NodeEntryText(node));
  }
  view_.SetCurrentNodeEntry(-1);
}

const NodeRecord* ConfigDialogBehaviour::PickedNode(int position) const {
  if (statusEntryShown_ || position < 0) return nullptr;
  const auto& entries = services_.Nodes().Entries();
  if (static_cast<std::size_t>(position) >= entries.size()) return nullptr;
  return &entries[static_cast<std::size_t>(position)];
}

void ConfigDialogBehaviour::OnNodePicked() {
  if (closed_) return;
  const NodeRecord* node = PickedNode(view_.CurrentNodeEntry());
  if (node == nullptr) return;
  // Copied: the table may change while the view processes our calls.
  const NodeRecord picked = *node;
  for (int i = 0; i < kPortCount; ++i) {
    view_.SetPortCaption(i, PortCaption(i, picked.PortIsOutput[static_cast<std::size_t>(i)]));
    view_.SetPortChecked(i, false);
    view_.SetPortEnabled(i, i <= picked.NumPorts - 1);
  }
  // A subnet the bar cannot show leaves the bar alone rather than showing a
  // different, clamped subnet.
  if (picked.NetSubSwitch >= kBarMin && picked.NetSubSwitch <= kBarMax) {
    SetBar(ConfigBar::SubNet, picked.NetSubSwitch);
  }
}

void ConfigDialogBehaviour::OnPortPicked(int port) {
  if (closed_ || port < 0 || port >= kPortCount) return;
  const NodeRecord* node = PickedNode(view_.CurrentNodeEntry());
  if (node == nullptr) return;
  const auto i = static_cast<std::size_t>(port);
  const int universe = node->PortUniverse[i];
  if (node->PortIsOutput[i]) {
    SetBar(ConfigBar::OutputUniverse, universe);
  } else {
    SetBar(ConfigBar::InputUniverse, universe);
  }
}

void ConfigDialogBehaviour::OnOkClicked() {
  if (closed_) return;
  closed_ = true;
  ArtNetSettings& settings = services_.Settings();
  settings.BroadcastAddress = view_.BroadcastText();
  settings.SubNet = view_.BarValue(ConfigBar::SubNet);
  settings.ReceiveUniverse = view_.BarValue(ConfigBar::InputUniverse);
  settings.SendUniverse = view_.BarValue(ConfigBar::OutputUniverse);
  // Both the warning and sending (the port-in-use box) run nested event loops.
  const std::shared_ptr<bool> alive = alive_;
  // Told here, where someone is at the screen: sending itself stays silent,
  // so an unattended host never waits on a box.
  if (!settings.BroadcastAddress.Address()) {
    services_.ShowWarning(UnusableAddressWarning(settings.BroadcastAddress));
    if (!*alive) return;
  }
  services_.SendPollReply(settings.BroadcastAddress);
  if (!*alive) return;
  view_.CloseDialog();
}

void ConfigDialogBehaviour::OnCancelClicked() {
  if (closed_) return;
  closed_ = true;
  view_.CloseDialog();
}

}  // namespace artnet
