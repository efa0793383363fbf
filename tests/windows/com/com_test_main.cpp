// The test host's main: a single-threaded apartment, as the host's UI
// thread, and ArtNet.dll registered the way regsvr32 does it.
#include <gtest/gtest.h>

// <windows.h> first: the COM headers need its types.
// clang-format off
#include <windows.h>
#include <objbase.h>
// clang-format on

#include <cstdio>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 2;
  HMODULE dll = LoadLibraryW(ARTNET_DLL_PATH);
  auto registerServer = dll != nullptr ? reinterpret_cast<HRESULT(STDAPICALLTYPE*)()>(
                                             reinterpret_cast<void*>(GetProcAddress(dll, "DllRegisterServer")))
                                       : nullptr;
  if (registerServer == nullptr || FAILED(registerServer())) {
    std::fprintf(stderr, "cannot register %ls\n", ARTNET_DLL_PATH);
    return 2;
  }
  const int result = RUN_ALL_TESTS();
  // The module stays: objects were made, so the server pinned itself.
  CoUninitialize();
  return result;
}
