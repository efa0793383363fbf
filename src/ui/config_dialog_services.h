#pragma once

#include <string>

#include "engine/node_table.h"
#include "protocol/node_config.h"

namespace artnet {

// What the configuration dialog uses of the rest of the plug-in.
class ConfigDialogServices {
 public:
  virtual ~ConfigDialogServices() = default;

  virtual ArtNetSettings& Settings() = 0;
  // Empties the node table, polls and returns after a little over 4 s of
  // event processing.
  virtual void ScanNodes() = 0;
  virtual const NodeTable& Nodes() const = 0;
  virtual void SendPollReply(const std::string& destination) = 0;
  // A modal critical message box; returns once the user closed it.
  virtual void ShowWarning(const std::string& text) = 0;
};

}  // namespace artnet
