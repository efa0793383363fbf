#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "driver/cls_output_driver.h"
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

}  // namespace artnet::testing
