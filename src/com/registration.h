#pragma once

#include <windows.h>

#include <string>

namespace artnet {

// Where the class keys go: HKEY_LOCAL_MACHINE\Software\Classes for every user
// of the machine (administrators only), or HKEY_CURRENT_USER\Software\Classes
// for the calling user alone, which COM looks in first. Naming the root
// rather than writing through HKEY_CLASSES_ROOT keeps each scope to its own
// keys: a machine-wide unregistration never removes a user's registration.
enum class RegistrationScope { Machine, User };

// Self-registration: the class with its ProgID, the type library (embedded in
// the DLL at `modulePath`) and the interface, marshalled by the standard
// type-library marshaler. A failure part-way removes what was written.
HRESULT RegisterServer(RegistrationScope scope, const std::wstring& modulePath);
// Removes what RegisterServer wrote in that scope. The type library's entry
// of the other bitness, if registered too, stays, and with it the interface's.
HRESULT UnregisterServer(RegistrationScope scope);

// DllInstall's command line: "user" is the calling user's scope, nothing (or
// "machine") the machine's; any other text is no scope (false).
bool ScopeFromCommandLine(const wchar_t* commandLine, RegistrationScope& scope);

}  // namespace artnet
