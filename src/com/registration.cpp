#include "com/registration.h"

#include <oleauto.h>
#include <olectl.h>

#include <initializer_list>

#include "artnet_automation.h"

namespace artnet {
namespace {

constexpr const wchar_t* kProgId = L"ArtNet.clsOutputDriver";
constexpr const wchar_t* kInterfaceName = L"_clsOutputDriver";
constexpr const wchar_t* kLibraryName = L"ArtNet";
constexpr const wchar_t* kVersion = L"1.0";
// The standard marshaler for dual interfaces described by a type library.
constexpr const wchar_t* kTypeLibMarshaler = L"{00020424-0000-0000-C000-000000000046}";
#ifdef _WIN64
constexpr const wchar_t* kPlatformKey = L"win64";
#else
constexpr const wchar_t* kPlatformKey = L"win32";
#endif

std::wstring GuidText(REFGUID guid) {
  wchar_t text[40] = {};
  StringFromGUID2(guid, text, 40);
  return text;
}

std::wstring ClassKey() { return L"CLSID\\" + GuidText(CLSID_clsOutputDriver); }
std::wstring InterfaceKey() { return L"Interface\\" + GuidText(IID__clsOutputDriver); }
std::wstring LibraryKey() { return L"TypeLib\\" + GuidText(LIBID_ArtNet); }
std::wstring LibraryVersionKey() { return LibraryKey() + L"\\" + kVersion; }

// Sets one text value (nullptr name: the key's default value), creating the key.
LONG SetText(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  HKEY handle = nullptr;
  LONG status =
      RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &handle, nullptr);
  if (status != ERROR_SUCCESS) return status;
  status = RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(handle);
  return status;
}

void DeleteTree(const std::wstring& key) { RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str()); }

// Subkeys of a key; -1 when it does not exist.
long SubkeyCount(const std::wstring& key) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return -1;
  DWORD count = 0;
  RegQueryInfoKeyW(handle, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                   nullptr);
  RegCloseKey(handle);
  return static_cast<long>(count);
}

bool HasSubkey(const std::wstring& key, const wchar_t* name) { return SubkeyCount(key + L"\\" + name) >= 0; }

void DeleteIfEmpty(const std::wstring& key) {
  if (SubkeyCount(key) == 0) RegDeleteKeyW(HKEY_CLASSES_ROOT, key.c_str());
}

std::wstring FolderOf(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

}  // namespace

HRESULT RegisterServer(const std::wstring& modulePath) {
  if (modulePath.empty()) return SELFREG_E_CLASS;

  // The type library must load from the file before anything points to it.
  ITypeLib* library = nullptr;
  if (FAILED(LoadTypeLibEx(modulePath.c_str(), REGKIND_NONE, &library))) return SELFREG_E_TYPELIB;
  library->Release();

  const std::wstring classKey = ClassKey();
  const std::wstring libraryId = GuidText(LIBID_ArtNet);
  for (const LONG status : {
           SetText(classKey, nullptr, kProgId),
           SetText(classKey + L"\\InprocServer32", nullptr, modulePath),
           SetText(classKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"),
           SetText(classKey + L"\\ProgID", nullptr, kProgId),
           SetText(classKey + L"\\VERSION", nullptr, kVersion),
           SetText(classKey + L"\\TypeLib", nullptr, libraryId),
           SetText(kProgId, nullptr, kProgId),
           SetText(std::wstring(kProgId) + L"\\Clsid", nullptr, GuidText(CLSID_clsOutputDriver)),
       }) {
    if (status != ERROR_SUCCESS) return SELFREG_E_CLASS;
  }

  // Locale 409 is the library's own; the marshaler looks under locale 0 only.
  const std::wstring versionKey = LibraryVersionKey();
  const std::wstring interfaceKey = InterfaceKey();
  for (const LONG status : {
           SetText(versionKey, nullptr, kLibraryName),
           SetText(versionKey + L"\\409\\" + kPlatformKey, nullptr, modulePath),
           SetText(versionKey + L"\\0\\" + kPlatformKey, nullptr, modulePath),
           SetText(versionKey + L"\\FLAGS", nullptr, L"0"),
           SetText(versionKey + L"\\HELPDIR", nullptr, FolderOf(modulePath)),
           SetText(interfaceKey, nullptr, kInterfaceName),
           SetText(interfaceKey + L"\\ProxyStubClsid", nullptr, kTypeLibMarshaler),
           SetText(interfaceKey + L"\\ProxyStubClsid32", nullptr, kTypeLibMarshaler),
           SetText(interfaceKey + L"\\TypeLib", nullptr, libraryId),
           SetText(interfaceKey + L"\\TypeLib", L"Version", kVersion),
       }) {
    if (status != ERROR_SUCCESS) return SELFREG_E_TYPELIB;
  }
  return S_OK;
}

HRESULT UnregisterServer() {
  DeleteTree(ClassKey());
  DeleteTree(kProgId);

  const std::wstring versionKey = LibraryVersionKey();
  for (const wchar_t* locale : {L"409", L"0"}) {
    const std::wstring localeKey = versionKey + L"\\" + locale;
    DeleteTree(localeKey + L"\\" + kPlatformKey);
    DeleteIfEmpty(localeKey);
  }
  if (!HasSubkey(versionKey, L"409") && !HasSubkey(versionKey, L"0")) {
    DeleteTree(versionKey);
    DeleteIfEmpty(LibraryKey());
    // Nothing describes the interface any more.
    DeleteTree(InterfaceKey());
  }
  return S_OK;
}

}  // namespace artnet
