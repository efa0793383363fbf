#pragma once

#include <string>

namespace artnet::win32 {

// UTF-8 (the engine's text) to and from UTF-16 (the system's); invalid
// sequences become U+FFFD.
std::wstring Wide(const std::string& text);
std::string Narrow(const std::wstring& text);

}  // namespace artnet::win32
