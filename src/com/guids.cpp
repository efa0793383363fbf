// Defines the GUIDs of the type library's header (LIBID, CLSID, IID) once,
// and IID_IDispatchEx, which mingw's libuuid lacks.
#include <initguid.h>

#include <dispex.h>

#include "artnet_automation.h"
