#include "com/registration.h"

// clang-format off
#include "platform/win32/windows_support.h"
#include <olectl.h>
#include "artnet_automation.h"
// clang-format on

#include <initializer_list>
#include <string_view>

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

// The classes key of one scope, opened for the calls below; keys are named
// relative to it, as under HKEY_CLASSES_ROOT.
class ClassesRoot {
 public:
  // Registering creates the scope's classes key where it is missing (a new
  // user's profile may have none); unregistering only opens it.
  enum class Open { Existing, OrCreate };
  ClassesRoot(RegistrationScope scope, Open open) {
    const HKEY base = scope == RegistrationScope::User ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    constexpr REGSAM access = KEY_READ | KEY_WRITE | DELETE;
    status_ = open == Open::OrCreate
                  ? RegCreateKeyExW(base, L"Software\\Classes", 0, nullptr, 0, access, nullptr, root_.Out(), nullptr)
                  : RegOpenKeyExW(base, L"Software\\Classes", 0, access, root_.Out());
  }

  LONG status() const { return status_; }

  // Sets one text value (nullptr name: the key's default value), creating the key.
  LONG SetText(const std::wstring& key, const wchar_t* name, const std::wstring& value) const {
    win32::RegistryKey owned;
    const LONG status =
        RegCreateKeyExW(root_.Get(), key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, owned.Out(), nullptr);
    if (status != ERROR_SUCCESS) return status;
    return RegSetValueExW(owned.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  }

  // Deletes a key with everything below it; a key that is not there is no failure.
  LONG DeleteTree(const std::wstring& key) const {
    const LONG status = RegDeleteTreeW(root_.Get(), key.c_str());
    return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
  }

  // Subkeys of a key; -1 when it does not exist.
  long SubkeyCount(const std::wstring& key) const {
    win32::RegistryKey owned;
    if (RegOpenKeyExW(root_.Get(), key.c_str(), 0, KEY_READ, owned.Out()) != ERROR_SUCCESS) return -1;
    DWORD count = 0;
    RegQueryInfoKeyW(owned.Get(), nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr);
    return static_cast<long>(count);
  }

  bool HasSubkey(const std::wstring& key, const wchar_t* name) const { return SubkeyCount(key + L"\\" + name) >= 0; }

  void DeleteIfEmpty(const std::wstring& key) const {
    if (SubkeyCount(key) == 0) RegDeleteKeyW(root_.Get(), key.c_str());
  }

 private:
  win32::RegistryKey root_;
  LONG status_ = ERROR_SUCCESS;
};

// Deletes the interface's key in one registry view (KEY_WOW64_32KEY or
// KEY_WOW64_64KEY). Every open names the view: one relative to a key of the
// other view would be redirected again.
LONG DeleteInterfaceKey(RegistrationScope scope, REGSAM view) {
  const HKEY base = scope == RegistrationScope::User ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
  const std::wstring key = L"Software\\Classes\\" + InterfaceKey();
  LONG status;
  {
    win32::RegistryKey owned;
    status = RegOpenKeyExW(base, key.c_str(), 0, KEY_READ | KEY_WRITE | DELETE | view, owned.Out());
    if (status == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
    if (status != ERROR_SUCCESS) return status;
    status = RegDeleteTreeW(owned.Get(), nullptr);
  }
  return status == ERROR_SUCCESS ? RegDeleteKeyExW(base, key.c_str(), view, 0) : status;
}

// Whether the DLL of the other bitness still registers the class in this
// scope. On 64-bit Windows each registry view has its own CLSID key, but the
// ProgID's key is one that both views share: it may go only with the last
// class. On 32-bit Windows the other view is this one, where the class is
// gone by the time this is asked.
bool OtherBitnessRegistered(RegistrationScope scope) {
#ifdef _WIN64
  constexpr REGSAM kOtherView = KEY_WOW64_32KEY;
#else
  constexpr REGSAM kOtherView = KEY_WOW64_64KEY;
#endif
  const HKEY base = scope == RegistrationScope::User ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
  const std::wstring key = L"Software\\Classes\\" + ClassKey() + L"\\InprocServer32";
  win32::RegistryKey owned;
  return RegOpenKeyExW(base, key.c_str(), 0, KEY_READ | kOtherView, owned.Out()) == ERROR_SUCCESS;
}

std::wstring FolderOf(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

HRESULT WriteKeys(const ClassesRoot& root, const std::wstring& modulePath) {
  if (modulePath.empty()) return SELFREG_E_CLASS;

  // The type library must load from the file before anything points to it.
  win32::ComPtr<ITypeLib> library;
  if (FAILED(LoadTypeLibEx(modulePath.c_str(), REGKIND_NONE, &library))) return SELFREG_E_TYPELIB;

  if (root.status() != ERROR_SUCCESS) return SELFREG_E_CLASS;
  const std::wstring classKey = ClassKey();
  const std::wstring libraryId = GuidText(LIBID_ArtNet);
  for (const LONG status : {
           root.SetText(classKey, nullptr, kProgId),
           root.SetText(classKey + L"\\InprocServer32", nullptr, modulePath),
           root.SetText(classKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment"),
           root.SetText(classKey + L"\\ProgID", nullptr, kProgId),
           root.SetText(classKey + L"\\VERSION", nullptr, kVersion),
           root.SetText(classKey + L"\\TypeLib", nullptr, libraryId),
           root.SetText(kProgId, nullptr, kProgId),
           root.SetText(std::wstring(kProgId) + L"\\Clsid", nullptr, GuidText(CLSID_clsOutputDriver)),
       }) {
    if (status != ERROR_SUCCESS) return SELFREG_E_CLASS;
  }

  // Locale 409 is the library's own; the marshaler looks under locale 0 only.
  const std::wstring versionKey = LibraryVersionKey();
  const std::wstring interfaceKey = InterfaceKey();
  for (const LONG status : {
           root.SetText(versionKey, nullptr, kLibraryName),
           root.SetText(versionKey + L"\\409\\" + kPlatformKey, nullptr, modulePath),
           root.SetText(versionKey + L"\\0\\" + kPlatformKey, nullptr, modulePath),
           root.SetText(versionKey + L"\\FLAGS", nullptr, L"0"),
           root.SetText(versionKey + L"\\HELPDIR", nullptr, FolderOf(modulePath)),
           root.SetText(interfaceKey, nullptr, kInterfaceName),
           root.SetText(interfaceKey + L"\\ProxyStubClsid", nullptr, kTypeLibMarshaler),
           root.SetText(interfaceKey + L"\\ProxyStubClsid32", nullptr, kTypeLibMarshaler),
           root.SetText(interfaceKey + L"\\TypeLib", nullptr, libraryId),
           root.SetText(interfaceKey + L"\\TypeLib", L"Version", kVersion),
       }) {
    if (status != ERROR_SUCCESS) return SELFREG_E_TYPELIB;
  }
  return S_OK;
}

}  // namespace

HRESULT RegisterServer(RegistrationScope scope, const std::wstring& modulePath) {
  const ClassesRoot root(scope, ClassesRoot::Open::OrCreate);
  const HRESULT result = WriteKeys(root, modulePath);
  if (FAILED(result)) UnregisterServer(scope);
  return result;
}

HRESULT UnregisterServer(RegistrationScope scope) {
  const ClassesRoot root(scope, ClassesRoot::Open::Existing);
  if (root.status() == ERROR_FILE_NOT_FOUND) return S_OK;
  // A caller without the right to change the machine's classes must hear so,
  // not be told the keys are gone.
  if (root.status() != ERROR_SUCCESS) return SELFREG_E_CLASS;
  if (root.DeleteTree(ClassKey()) != ERROR_SUCCESS) return SELFREG_E_CLASS;
  if (!OtherBitnessRegistered(scope) && root.DeleteTree(kProgId) != ERROR_SUCCESS) return SELFREG_E_CLASS;

  const std::wstring versionKey = LibraryVersionKey();
  for (const wchar_t* locale : {L"409", L"0"}) {
    const std::wstring localeKey = versionKey + L"\\" + locale;
    if (root.DeleteTree(localeKey + L"\\" + kPlatformKey) != ERROR_SUCCESS) return SELFREG_E_TYPELIB;
    root.DeleteIfEmpty(localeKey);
  }
  if (!root.HasSubkey(versionKey, L"409") && !root.HasSubkey(versionKey, L"0")) {
    if (root.DeleteTree(versionKey) != ERROR_SUCCESS) return SELFREG_E_TYPELIB;
    root.DeleteIfEmpty(LibraryKey());
    // Nothing describes the interface any more. The type library's key is
    // shared by both registry views on 64-bit Windows, the interface's may be
    // kept apart per view, and the other bitness may have gone first and
    // left its view's: remove it from both.
    for (const REGSAM view : {REGSAM{KEY_WOW64_32KEY}, REGSAM{KEY_WOW64_64KEY}}) {
      if (DeleteInterfaceKey(scope, view) != ERROR_SUCCESS) return SELFREG_E_TYPELIB;
    }
  }
  return S_OK;
}

bool ScopeFromCommandLine(const wchar_t* commandLine, RegistrationScope& scope) {
  const std::wstring_view text = commandLine == nullptr ? std::wstring_view() : std::wstring_view(commandLine);
  if (text.empty() ||
      CompareStringOrdinal(text.data(), static_cast<int>(text.size()), L"machine", -1, TRUE) == CSTR_EQUAL) {
    scope = RegistrationScope::Machine;
    return true;
  }
  if (CompareStringOrdinal(text.data(), static_cast<int>(text.size()), L"user", -1, TRUE) == CSTR_EQUAL) {
    scope = RegistrationScope::User;
    return true;
  }
  return false;
}

}  // namespace artnet
