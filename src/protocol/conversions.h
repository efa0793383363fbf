#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "protocol/automation_error.h"

namespace artnet {

// Value conversions with the automation semantics the host expects.

// Text to a 32-bit signed integer: decimal text, optional sign and fraction
// (rounded half to even), surrounding blanks allowed. Not a number -> type
// mismatch (13); outside the 32-bit range -> overflow (6).
std::int32_t TextToLong(std::string_view text);

// Integer to a byte: outside 0..255 -> overflow (6). Inline: every SetChannel converts its value.
inline std::uint8_t ToByte(std::int64_t value) {
  if (value < 0 || value > 255) RaiseOverflow();
  return static_cast<std::uint8_t>(value);
}

// The leading number of a text, 0 when it starts with none (blanks skipped).
double LeadingNumber(std::string_view text);

// A number rounded half to even into a byte; outside 0..255 -> overflow (6).
std::uint8_t RoundToByte(double value);

// Decimal integer text without leading blank or plus sign.
std::string LongToText(std::int32_t value);

// An IPv4 address as people type it: four decimal parts 0..255, zero-padded
// parts read as decimal ("10.0.000.255"), blanks around the whole ignored.
// Nothing else (no names, no short forms such as "10.77.0").
std::optional<std::array<std::uint8_t, 4>> ParseIPv4(std::string_view text);

// The dotted text of an address ("10.0.0.255").
std::string IPv4ToText(const std::array<std::uint8_t, 4>& octets);

// An IPv4 address as a number, its first octet in the high byte (as the
// platform's sockets take it).
using IPv4 = std::uint32_t;
// The address a destination text names, as ParseIPv4 reads it; none for text
// that is no address.
std::optional<IPv4> ParseDestination(std::string_view text);

}  // namespace artnet
