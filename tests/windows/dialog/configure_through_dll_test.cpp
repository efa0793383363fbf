// Configure as a host calls it: ArtNet.dll loaded, its class created through
// the class factory and Configure invoked by name; the native dialog opens
// with the DLL's own Common Controls 6 manifest, and Configure returns once
// it has closed.
#include <gtest/gtest.h>
// <windows.h> first: the other headers need its types.
// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <oleauto.h>
// clang-format on

#include "dialog_script.h"
#include "ui/win32/win32_config_dialog.h"

namespace artnet {
namespace {

using testing::DialogScript;
using testing::Do;
using testing::Item;
using testing::Press;
using testing::Text;
using enum FormControl;

// The creatable class, as the DLL's own type library describes it.
CLSID CreatableClass(const wchar_t* dll) {
  CLSID found{};
  ITypeLib* library = nullptr;
  if (FAILED(LoadTypeLibEx(dll, REGKIND_NONE, &library))) return found;
  for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
    TYPEKIND kind{};
    ITypeInfo* info = nullptr;
    if (FAILED(library->GetTypeInfoType(i, &kind)) || kind != TKIND_COCLASS) continue;
    if (FAILED(library->GetTypeInfo(i, &info))) continue;
    TYPEATTR* attributes = nullptr;
    if (SUCCEEDED(info->GetTypeAttr(&attributes))) {
      found = attributes->guid;
      info->ReleaseTypeAttr(attributes);
    }
    info->Release();
  }
  library->Release();
  return found;
}

TEST(ConfigureThroughTheDll, OpensTheNativeDialogAndReturnsOnceItHasClosed) {
  ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
  const HMODULE dll = LoadLibraryW(ARTNET_DLL_PATH);
  ASSERT_NE(dll, nullptr);
  using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
  // Through void*: FARPROC's type is not the export's.
  const auto getClassObject =
      reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
  ASSERT_NE(getClassObject, nullptr);
  IClassFactory* factory = nullptr;
  ASSERT_EQ(getClassObject(CreatableClass(ARTNET_DLL_PATH), IID_IClassFactory, reinterpret_cast<void**>(&factory)),
            S_OK);
  IDispatch* driver = nullptr;
  ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void**>(&driver)), S_OK);
  factory->Release();

  LPOLESTR name[] = {const_cast<LPOLESTR>(L"Configure")};
  DISPID configure = DISPID_UNKNOWN;
  ASSERT_EQ(driver->GetIDsOfNames(IID_NULL, name, 1, LOCALE_USER_DEFAULT, &configure), S_OK);

  DialogScript script({Do([](HWND dialog) {
                         EXPECT_EQ(Text(dialog), "ArtNet configuration");
                         // The DLL's manifest took effect: Common Controls 6.
                         SIZE ideal{};
                         EXPECT_TRUE(
                             SendMessageW(Item(dialog, Ok), BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&ideal)));
                         EXPECT_EQ(GetFocus(), Item(dialog, OutputUniverseBar));
                       }),
                       Do([](HWND) { Press(VK_RIGHT); }),
                       Do([](HWND dialog) { EXPECT_EQ(Text(Item(dialog, OutputUniverseValue)), "1"); }),
                       Do([](HWND) { Press(VK_ESCAPE); })});
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  VARIANT result;
  VariantInit(&result);
  EXCEPINFO exception{};
  EXPECT_EQ(
      driver->Invoke(configure, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, &result, &exception, nullptr),
      S_OK);
  EXPECT_TRUE(script.Finished()) << "stopped at step " << script.StepsRun();
  EXPECT_EQ(DialogScript::FindDialog(), nullptr);
  VariantClear(&result);
  driver->Release();
  CoUninitialize();
}

}  // namespace
}  // namespace artnet
