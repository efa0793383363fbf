#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "protocol/conversions.h"

namespace artnet {

// An address setting as people type it, and the address it names, read once
// whenever the text is set rather than on every send.
class AddressSetting {
 public:
  AddressSetting() = default;
  AddressSetting(std::string text) : text_(std::move(text)), address_(ParseDestination(text_)) {}
  AddressSetting(const char* text) : AddressSetting(std::string(text)) {}

  const std::string& Text() const { return text_; }
  operator const std::string&() const { return text_; }
  // None when the text is no address: what is sent there is lost.
  std::optional<IPv4> Address() const { return address_; }
  friend bool operator==(const AddressSetting& setting, std::string_view text) { return setting.text_ == text; }

 private:
  std::string text_;
  std::optional<IPv4> address_;
};

// The node's configuration: the four persisted settings.
struct ArtNetSettings {
  AddressSetting BroadcastAddress;  // dotted IPv4 text
  std::int32_t SubNet = 0;
  std::int32_t SendUniverse = 0;     // universe the plug-in transmits on
  std::int32_t ReceiveUniverse = 0;  // universe whose ArtDmx goes to the host
};

inline constexpr std::uint16_t kArtNetPort = 6454;  // 0x1936

// The local IPv4 address, first octet first, and the Art-Net port once filled.
struct LocalAddressRecord {
  std::array<std::uint8_t, 4> ip{};
  std::uint16_t port = 0;
};

}  // namespace artnet
