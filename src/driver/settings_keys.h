#pragma once

namespace artnet {

// Settings store keys ("Adress" and the crossed-over universe names are
// what existing stored settings use).
inline constexpr const char* kKeyBroadcastAddress = "ArtNet_BroadcastAdress";
inline constexpr const char* kKeySubNet = "ArtNet_SubNet";
inline constexpr const char* kKeySendUniverse = "ArtNet_InputUniverse1";
inline constexpr const char* kKeyReceiveUniverse = "ArtNet_OutputUniverse1";
inline constexpr const char* kSectionPrefix = "Plugins\\";

}  // namespace artnet
