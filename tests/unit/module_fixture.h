#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "driver/cls_output_driver.h"
#include "engine/module_state.h"
#include "fakes/fake_platform.h"
#include "engine/transport.h"

namespace artnet::testing {

using Bytes = std::vector<std::uint8_t>;

// A fresh module on fake platform parts, and one driver instance over it.
class ModuleTest : public ::testing::Test {
 protected:
  fakes::RecordingHelper helper;  // outlives the module, which holds a reference
  fakes::FakePlatform platform;
  ModuleState mod{platform};
  clsOutputDriver driver{mod};

  fakes::FakeSocketControl& Socket() {
    mod.transport();
    return *platform.socket;
  }
  fakes::ManualTimer& FlushTimer() { return static_cast<fakes::ManualTimer&>(mod.transport().flushTimer()); }
  fakes::ManualTimer& RefreshTimer() { return static_cast<fakes::ManualTimer&>(mod.transport().refreshTimer()); }
  std::vector<fakes::SentDatagram>& Sent() { return Socket().sent; }

  void InitDriver() {
    lumenstage::VBool result = 1;
    ASSERT_TRUE(driver.Init("Lumenstage", "ArtNet.dll", &helper, &result).ok());
  }
  void EnableDriver() {
    lumenstage::VBool result = 0;
    ASSERT_TRUE(driver.Enable(&result).ok());
    ASSERT_EQ(result, lumenstage::kTrue);
  }
  void InitAndEnable() {
    InitDriver();
    EnableDriver();
  }
};

inline Bytes ArtNetHeader(std::uint16_t opCode) {
  return {'A', 'r', 't', '-', 'N', 'e', 't', 0, static_cast<std::uint8_t>(opCode & 0xFF),
          static_cast<std::uint8_t>(opCode >> 8)};
}

inline Bytes IncomingPoll(std::uint8_t talkToMe) {
  Bytes poll = ArtNetHeader(0x2000);
  poll.resize(14);
  poll[11] = 14;  // ProtVerLo
  poll[12] = talkToMe;
  return poll;
}

// An ArtDmx as another controller sends it; `length` is the Length field.
inline Bytes IncomingDmx(std::uint8_t subUni, std::uint16_t length, const Bytes& data, std::uint8_t net = 0) {
  Bytes dmx = ArtNetHeader(0x5000);
  dmx.resize(18 + data.size());
  dmx[11] = 14;  // ProtVerLo
  dmx[12] = 1;   // Sequence
  dmx[14] = subUni;
  dmx[15] = net;
  dmx[16] = static_cast<std::uint8_t>(length >> 8);
  dmx[17] = static_cast<std::uint8_t>(length & 0xFF);
  std::copy(data.begin(), data.end(), dmx.begin() + 18);
  return dmx;
}

struct ReplyFields {
  std::uint8_t ip[4] = {2, 0, 0, 1};
  std::uint8_t netSwitch = 0;
  std::uint8_t subSwitch = 0;
  std::string shortName = "Node";
  std::string longName = "Node long";
  std::string nodeReport = "#0001 [0000] ok";
  std::uint8_t numPortsHi = 0;
  std::uint8_t numPortsLo = 1;
  std::uint8_t portTypes[4] = {0x80, 0, 0, 0};
  std::uint8_t swIn[4] = {0, 0, 0, 0};
  std::uint8_t swOut[4] = {0, 0, 0, 0};
};

// A 239-byte ArtPollReply of another node; text fields are NUL-terminated
// when they are shorter than the field.
inline Bytes IncomingReply(const ReplyFields& f) {
  Bytes reply(239, 0);
  const Bytes header = ArtNetHeader(0x2100);
  std::copy(header.begin(), header.end(), reply.begin());
  for (int i = 0; i < 4; ++i) reply[10 + i] = f.ip[i];
  reply[18] = f.netSwitch;
  reply[19] = f.subSwitch;
  auto text = [&](std::size_t offset, std::size_t width, const std::string& s) {
    for (std::size_t i = 0; i < s.size() && i < width; ++i) reply[offset + i] = static_cast<std::uint8_t>(s[i]);
  };
  text(26, 18, f.shortName);
  text(44, 64, f.longName);
  text(108, 64, f.nodeReport);
  reply[172] = f.numPortsHi;
  reply[173] = f.numPortsLo;
  for (int i = 0; i < 4; ++i) {
    reply[174 + i] = f.portTypes[i];
    reply[186 + i] = f.swIn[i];
    reply[190 + i] = f.swOut[i];
  }
  return reply;
}

}  // namespace artnet::testing
