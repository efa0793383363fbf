// A host may release its last reference while a method waits in a nested
// loop (the port-in-use box, the dialog): the object lives until the method
// returns, or the method goes on in freed memory.
#include <gtest/gtest.h>

#include <functional>

#include "com/com_output_driver.h"
#include "com/server_module.h"
#include "engine/connection.h"
#include "engine/module_state.h"
#include "fakes/fake_platform.h"

namespace artnet::testing {
namespace {

TEST(ComOutputDriverLifetime, ReleasedInsideANestedLoopLivesUntilTheMethodReturns) {
  fakes::FakePlatform platform;
  ModuleState mod{platform};
  Connect(mod);
  platform.socket->heldPorts = {6454};  // Enable's announcement meets the port-in-use box

  const std::function<HRESULT(ComOutputDriver&, VARIANT_BOOL*)> calls[] = {
      [](ComOutputDriver& driver, VARIANT_BOOL* result) { return driver.Enable(result); },
      [](ComOutputDriver& driver, VARIANT_BOOL* result) { return driver.Configure(result); },
  };
  for (const auto& call : calls) {
    auto* driver = new ComOutputDriver(mod);
    driver->AddRef();
    bool aliveInsideTheLoop = false;
    const auto releaseLast = [&] {
      driver->Release();
      aliveInsideTheLoop = !server::CanUnload();
    };
    platform.messages.whileShown = releaseLast;
    platform.dialogs.whileShown = [&](ConfigDialogServices&) { releaseLast(); };
    VARIANT_BOOL result = VARIANT_FALSE;
    EXPECT_EQ(call(*driver, &result), S_OK);
    EXPECT_TRUE(aliveInsideTheLoop);
    EXPECT_TRUE(server::CanUnload());
  }
}

}  // namespace
}  // namespace artnet::testing
