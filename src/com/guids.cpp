// Defines the GUIDs of the type library's header (LIBID, CLSID, IID) once,
// and IID_IDispatchEx, which mingw's libuuid lacks.
// <initguid.h> first: it turns the declarations below into definitions.
// clang-format off
#include <initguid.h>
#include <dispex.h>
// clang-format on

#include "artnet_automation.h"
