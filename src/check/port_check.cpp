#include "check/port_check.h"

#include <algorithm>
#include <cctype>

#include "platform/interfaces/datagram_socket.h"

namespace artnet::check {
namespace {

// A host that holds the port runs the plug-in: that is the port in use as it should be.
bool IsHost(const PortHolder& holder) {
  std::string name = holder.name;
  std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
  return name == "lumenhost" || name.rfind("lumenstage", 0) == 0;
}

}  // namespace

Section CheckPort(const PortState& port) {
  Section section{"Port 6454", {{"UDP port 6454", "held by", "PID"}, {}}, {}};
  if (port.openError == kSockOk) {
    section.table.rows.push_back({"free", "", ""});
    section.Good("UDP port 6454 is free: the plug-in can send from it and receive on it.");
    return section;
  }
  if (port.openError != kSockErrAddressInUse) {
    section.table.rows.push_back({"cannot be opened (error " + std::to_string(port.openError) + ")", "", ""});
    section.Error("This PC refuses UDP port 6454 to this user (error " + std::to_string(port.openError) +
                      "): the plug-in will fail to open it too.",
                  "Check the firewall or security software for rules on UDP port 6454.");
    return section;
  }
  if (!port.holders.empty() && std::all_of(port.holders.begin(), port.holders.end(), IsHost)) {
    for (const PortHolder& holder : port.holders) {
      section.table.rows.push_back({"in use", holder.name, std::to_string(holder.pid)});
    }
    section.Note("UDP port 6454 is held by " + port.holders.front().name + " (PID " +
                     std::to_string(port.holders.front().pid) +
                     "): the plug-in is running there, as it should. This check could not listen beside it.",
                 "To check the nodes and the DMX on the wire too, close " + port.holders.front().name +
                     " and run the check again.");
    return section;
  }
  std::string who;
  for (const PortHolder& holder : port.holders) {
    // PID 0: the system will not say which process (another user's, or outside Windows under Wine).
    const std::string name = holder.name.empty() ? "(name not readable)" : holder.name;
    section.table.rows.push_back({"in use", name, holder.pid == 0 ? "?" : std::to_string(holder.pid)});
    if (holder.name.empty() && holder.pid == 0) continue;
    who += (who.empty() ? "" : ", ") + name + " (PID " + std::to_string(holder.pid) + ")";
  }
  if (port.holders.empty()) {
    section.table.rows.push_back(
        {"in use", port.lookupProblem.empty() ? "(not found)" : "(" + port.lookupProblem + ")", ""});
  }
  section.Error(
      "UDP port 6454 is held by " + (who.empty() ? std::string("another program") : who) +
          ". The plug-in will show \"Port 0x1936 is already in use by another program\" and send from "
          "another port: nodes still get the DMX, but the plug-in receives nothing (no DMX input, no poll "
          "answers) and some nodes ignore senders that are not on port 6454.",
      "Close " + (who.empty() ? std::string("the other Art-Net program") : who) + " before starting the show" +
          (port.holders.empty() && !port.lookupProblem.empty() ? "; run this check as administrator to see its name"
                                                               : "") +
          ".");
  return section;
}

}  // namespace artnet::check
