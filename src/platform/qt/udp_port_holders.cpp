#include "platform/qt/udp_port_holders.h"

#include <dirent.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <sstream>

namespace artnet {
namespace {

// The socket inodes bound to `port` in this network namespace's UDP table.
std::set<std::string> SocketInodes(int port) {
  std::set<std::string> inodes;
  std::ifstream table("/proc/net/udp");
  std::string line;
  std::getline(table, line);  // column titles
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
    fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode;
    const auto colon = local.find(':');
    if (colon == std::string::npos || inode.empty()) continue;
    if (std::stoi(local.substr(colon + 1), nullptr, 16) == port) inodes.insert("socket:[" + inode + "]");
  }
  return inodes;
}

}  // namespace

std::vector<UdpPortHolder> UdpPortHolders(int port, std::string& problem) {
  std::vector<UdpPortHolder> holders;
  const std::set<std::string> inodes = SocketInodes(port);
  if (inodes.empty()) return holders;
  DIR* processes = ::opendir("/proc");
  if (processes == nullptr) {
    problem = "the process list cannot be read";
    return holders;
  }
  bool hidden = false;
  while (const dirent* process = ::readdir(processes)) {
    const std::string pid = process->d_name;
    if (pid.find_first_not_of("0123456789") != std::string::npos) continue;
    const std::string fdPath = "/proc/" + pid + "/fd";
    DIR* fds = ::opendir(fdPath.c_str());
    if (fds == nullptr) {
      hidden = true;
      continue;
    }
    bool holds = false;
    while (const dirent* fd = ::readdir(fds)) {
      char target[64];
      const ssize_t length = ::readlink((fdPath + '/' + fd->d_name).c_str(), target, sizeof target - 1);
      if (length > 0 && inodes.contains(std::string(target, static_cast<std::size_t>(length)))) holds = true;
    }
    ::closedir(fds);
    if (!holds) continue;
    std::string name;
    std::getline(std::ifstream("/proc/" + pid + "/comm"), name);
    holders.push_back({static_cast<unsigned>(std::stoul(pid)), name});
  }
  ::closedir(processes);
  if (holders.empty() && hidden) problem = "a process of another user; run the check as root to name it";
  return holders;
}

}  // namespace artnet
