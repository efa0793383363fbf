// The loaded plug-in stays mapped after a host unloads it: its timers keep
// ticking in the host's event loop and must never call into unmapped code.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "lumenstage/output_driver.h"
#include "net_support.h"

namespace artnet {
namespace {

bool Mapped(const std::string& path) {
  std::ifstream maps("/proc/self/maps");
  std::stringstream text;
  text << maps.rdbuf();
  return text.str().find(path) != std::string::npos;
}

TEST(PluginResidentTest, UnloadedPluginStaysMappedWhileItsTimersRun) {
  SKIP_UNLESS_TEST_NETNS();
  QTemporaryDir config;
  ASSERT_TRUE(config.isValid());
  qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
  const std::string path = ARTNET_PLUGIN_PATH;
  const std::string real = std::filesystem::canonical(path).string();

  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  auto create = reinterpret_cast<lumenstage::_clsOutputDriver* (*)()>(dlsym(library, "LmstCreateOutputDriver"));
  ASSERT_NE(create, nullptr);
  lumenstage::_clsOutputDriver* driver = create();
  ASSERT_NE(driver, nullptr);
  lumenstage::VBool result;
  ASSERT_TRUE(driver->Init("Lumenstage", "libArtNet.so", nullptr, &result).ok());
  ASSERT_TRUE(driver->SetChannel(1, 10, &result).ok());  // starts the transport's timers
  driver->Release();
  ASSERT_EQ(dlclose(library), 0);

  EXPECT_TRUE(Mapped(real));
  itest::PumpFor(100);  // timers of the resident module may fire: no crash
}

}  // namespace
}  // namespace artnet
