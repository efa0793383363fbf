// A host without widgets (a QCoreApplication) gets an error instead of a
// dialog, and nothing changes.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <QCoreApplication>

#include "lumenstage/output_driver.h"
#include "support/fake_dialog_services.h"
#include "ui/qt/qt_dialog_runner.h"

namespace artnet {
namespace {

TEST(HeadlessConfigure, RunnerReportsNotAvailableAndChangesNothing) {
  testing::FakeDialogServices services;
  services.settings = {"10.99.0.255", 1, 2, 3};
  QtDialogRunner runner;
  EXPECT_EQ(runner.ShowConfigDialog(services), lumenstage::kErrNotAvailable.number);
  EXPECT_EQ(services.settings.BroadcastAddress, "10.99.0.255");
  EXPECT_EQ(services.scans, 0);
  EXPECT_TRUE(services.pollReplies.empty());
}

TEST(HeadlessConfigure, PluginConfigureFailsWith445) {
  void* library = dlopen(ARTNET_PLUGIN_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  auto create = reinterpret_cast<lumenstage::_clsOutputDriver* (*)()>(dlsym(library, kLmstCreateOutputDriverSymbol));
  ASSERT_NE(create, nullptr);
  lumenstage::_clsOutputDriver* driver = create();
  ASSERT_NE(driver, nullptr);
  lumenstage::VBool result = lumenstage::kTrue;
  ASSERT_TRUE(driver->Init("Lumenstage GUI test", "libArtNet.so", nullptr, &result).ok());
  result = lumenstage::kTrue;
  const lumenstage::Status status = driver->Configure(&result);
  EXPECT_EQ(status.error, lumenstage::kErrNotAvailable.number);
  EXPECT_EQ(result, lumenstage::kFalse);
  driver->Release();
}

}  // namespace
}  // namespace artnet

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  qputenv("XDG_CONFIG_HOME", ARTNET_TEST_CONFIG_HOME);  // the plug-in's settings stay in the build tree
  QCoreApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
