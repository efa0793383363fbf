#pragma once

#include <windows.h>

#include <string>

namespace artnet {

// Self-registration under HKEY_CLASSES_ROOT: the class with its ProgID, the
// type library (embedded in the DLL at `modulePath`) and the interface,
// marshalled by the standard type-library marshaler.
HRESULT RegisterServer(const std::wstring& modulePath);
// Removes what RegisterServer wrote. The type library's entry of the other
// bitness, if registered too, stays, and with it the interface's.
HRESULT UnregisterServer();

}  // namespace artnet
