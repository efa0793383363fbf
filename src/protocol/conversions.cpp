#include "protocol/conversions.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "protocol/automation_error.h"

namespace artnet {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Parses [sign] digits [. digits] [e [sign] digits] from `pos`; returns
// false when no digit is found. Leaves `pos` after the number.
bool ParseNumber(std::string_view text, std::size_t& pos, double& value) {
  std::size_t i = pos;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  double mantissa = 0;
  int digits = 0;
  while (i < text.size() && IsDigit(text[i])) {
    mantissa = mantissa * 10 + (text[i++] - '0');
    ++digits;
  }
  if (i < text.size() && text[i] == '.') {
    ++i;
    double scale = 0.1;
    while (i < text.size() && IsDigit(text[i])) {
      mantissa += (text[i++] - '0') * scale;
      scale /= 10;
      ++digits;
    }
  }
  if (digits == 0) return false;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    std::size_t j = i + 1;
    bool expNegative = false;
    if (j < text.size() && (text[j] == '+' || text[j] == '-')) expNegative = text[j++] == '-';
    if (j < text.size() && IsDigit(text[j])) {
      int exponent = 0;
      while (j < text.size() && IsDigit(text[j])) exponent = std::min(exponent * 10 + (text[j++] - '0'), 9999);
      mantissa *= std::pow(10.0, expNegative ? -exponent : exponent);
      i = j;
    }
  }
  value = negative ? -mantissa : mantissa;
  pos = i;
  return true;
}

}  // namespace

std::int32_t TextToLong(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
  double value = 0;
  if (!ParseNumber(text, pos, value)) RaiseTypeMismatch();
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
  if (pos != text.size()) RaiseTypeMismatch();
  const double rounded = std::nearbyint(value);  // default rounding: half to even
  if (!(rounded >= std::numeric_limits<std::int32_t>::min() && rounded <= std::numeric_limits<std::int32_t>::max())) {
    RaiseOverflow();
  }
  return static_cast<std::int32_t>(rounded);
}

double LeadingNumber(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size() && IsBlank(text[pos])) ++pos;
  double value = 0;
  return ParseNumber(text, pos, value) ? value : 0.0;
}

std::uint8_t RoundToByte(double value) {
  const double rounded = std::nearbyint(value);
  if (!(rounded >= 0 && rounded <= 255)) RaiseOverflow();
  return static_cast<std::uint8_t>(rounded);
}

std::string LongToText(std::int32_t value) { return std::to_string(value); }

std::optional<std::array<std::uint8_t, 4>> ParseIPv4(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  std::array<std::uint8_t, 4> octets{};
  std::size_t pos = 0;
  for (std::size_t part = 0; part < octets.size(); ++part) {
    if (part > 0) {
      if (pos >= text.size() || text[pos] != '.') return std::nullopt;
      ++pos;
    }
    const std::size_t start = pos;
    unsigned value = 0;
    while (pos < text.size() && IsDigit(text[pos]) && value <= 255) value = value * 10 + (text[pos++] - '0');
    if (pos == start || value > 255) return std::nullopt;
    octets[part] = static_cast<std::uint8_t>(value);
  }
  if (pos != text.size()) return std::nullopt;
  return octets;
}

std::optional<IPv4> ParseDestination(std::string_view text) {
  const auto octets = ParseIPv4(text);
  if (!octets) return std::nullopt;
  return IPv4{(*octets)[0]} << 24 | IPv4{(*octets)[1]} << 16 | IPv4{(*octets)[2]} << 8 | (*octets)[3];
}

std::string IPv4ToText(const std::array<std::uint8_t, 4>& octets) {
  std::string text;
  for (std::size_t i = 0; i < octets.size(); ++i) {
    if (i > 0) text += '.';
    text += std::to_string(octets[i]);
  }
  return text;
}

}  // namespace artnet
