// The configuration dialog's services without a network: a scan files the
// replies the test gives it, and announcements are only recorded.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/node_table.h"
#include "protocol/node_config.h"
#include "ui/config_dialog_services.h"

namespace artnet::testing {

class FakeDialogServices final : public ConfigDialogServices {
 public:
  ArtNetSettings settings{"10.99.0.255", 0, 0, 1};
  NodeTable table;                                 // no entries until a scan resets it
  std::vector<std::vector<std::uint8_t>> replies;  // filed by each scan
  std::function<void()> duringScan;                // runs while the scan "waits"
  std::vector<std::string> pollReplies;            // destinations of SendPollReply
  std::vector<std::string> warnings;               // texts of ShowWarning
  std::function<void()> whileWarning;              // runs while the warning is shown
  int scans = 0;

  ArtNetSettings& Settings() override { return settings; }
  void ScanNodes() override {
    ++scans;
    table.Reset();
    for (const auto& reply : replies) table.AddNodeFromPollReply(reply);
    if (duringScan) duringScan();
  }
  const NodeTable& Nodes() const override { return table; }
  void SendPollReply(const std::string& destination) override { pollReplies.push_back(destination); }
  void ShowWarning(const std::string& text) override {
    warnings.push_back(text);
    if (whileWarning) whileWarning();
  }
};

}  // namespace artnet::testing
