#include "plugin_loader.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

namespace lumenhost {

bool LoadPlugin(const std::string& path, LoadedPlugin& plugin, std::string& error) {
  // dlopen searches the library path for a bare name; a host wants the file named.
  std::string resolved = path;
  if (path.find('/') == std::string::npos) resolved = "./" + path;

  void* handle = dlopen(resolved.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = dlerror();
    error = why != nullptr ? why : ("cannot open " + resolved);
    return false;
  }
  void* symbol = dlsym(handle, kLmstCreateOutputDriverSymbol);
  if (symbol == nullptr) {
    error = resolved + ": no symbol " + kLmstCreateOutputDriverSymbol;
    return false;
  }
  plugin.create = reinterpret_cast<LoadedPlugin::Factory>(symbol);
  plugin.path = resolved;
  plugin.fileName = std::filesystem::path(resolved).filename().string();
  return true;
}

std::string DefaultPluginPath() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return "./libArtNet.so";
  return (exe.parent_path() / "libArtNet.so").string();
}

}  // namespace lumenhost
