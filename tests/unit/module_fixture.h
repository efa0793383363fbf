#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "driver/cls_output_driver.h"
#include "engine/connection.h"
#include "engine/module_state.h"
#include "engine/transport.h"
#include "fakes/fake_platform.h"
#include "support/art_net_test_packets.h"

namespace artnet::testing {

// A fresh module on fake platform parts, and one driver instance over it.
class ModuleTest : public ::testing::Test {
 protected:
  fakes::RecordingHelper helper;  // outlives the module, which holds a reference
  fakes::FakePlatform platform;
  ModuleState mod{platform};
  clsOutputDriver driver{mod};

  fakes::FakeDatagramSocket& Socket() {
    Connect(mod);
    return *platform.socket;
  }
  // The transport makes the flush timer first, then the refresh.
  fakes::ManualTimer& FlushTimer() {
    Connect(mod);
    return *platform.timers.at(0);
  }
  fakes::ManualTimer& RefreshTimer() {
    Connect(mod);
    return *platform.timers.at(1);
  }
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

// For suites that drive the engine's routines directly, without an Enable:
// the network is made as Enable makes it.
class ConnectedModuleTest : public ModuleTest {
 protected:
  void SetUp() override { Connect(mod); }
};

}  // namespace artnet::testing
