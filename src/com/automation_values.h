#pragma once

// Values as they cross the automation boundary: texts, booleans, error
// numbers and the HRESULTs that carry them.

#include <cstdint>
#include <string>

#include "platform/win32/windows_support.h"

namespace artnet {

inline constexpr const wchar_t* kComponentSource = L"ArtNet.clsOutputDriver";

// UTF-16 automation text to the UTF-8 the engine keeps, and back. A null
// BSTR is the empty text. BstrFromUtf8 throws std::bad_alloc when out of memory.
std::string Utf8FromBstr(BSTR text);
BSTR BstrFromUtf8(const std::string& text);

// The HRESULT a host sees for an automation error raised by a component:
// 0x800A0000 | number. Numbers outside 1..65535 are not automation errors
// and become E_FAIL; a negative "number" that is already an HRESULT stays one.
HRESULT HresultFromErrorNumber(std::int32_t number);

// Raises the error as a component does: the HRESULT for the number, with an
// IErrorInfo naming this component as its source. Allocates nothing on the heap.
HRESULT RaiseAutomationError(std::int32_t number, const char* description) noexcept;

// The automation error number a script host would show for a failed call:
// the number inside 0x800A.... results, the usual numbers for the standard
// dispatch failures, otherwise the HRESULT itself. 0 for success.
std::int32_t ErrorNumberFromHresult(HRESULT hr);

// The same for a call that returned DISP_E_EXCEPTION; frees the texts.
std::int32_t ErrorNumberFromException(EXCEPINFO& info);

}  // namespace artnet
