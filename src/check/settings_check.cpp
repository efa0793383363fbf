#include "check/settings_check.h"

#include "driver/settings_keys.h"
#include "protocol/automation_error.h"
#include "protocol/node_config.h"

namespace artnet::check {
namespace {

constexpr const char* kUnset = "\x01(not stored)";  // no text the dialog or a hand edit would store

struct NumberSetting {
  const char* key;
  const char* fallback;
  const char* role;
  std::uint8_t* target;
};

}  // namespace

std::string UniverseText(int net, int subNet, int universe) {
  return std::to_string(net) + ':' + std::to_string(subNet) + ':' + std::to_string(universe);
}

Section CheckSettings(SettingsStore& store, const SettingsSource& source, PluginSettings& out) {
  Section section{"Settings", {{"setting", "stored", "what the plug-in makes of it"}, {}}, {}};
  const std::string where = source.appTitle + '\\' + kSectionPrefix + source.fileName;
  if (!source.readError.empty()) {
    section.Error("The settings at " + source.location + " cannot be read (" + source.readError +
                      "): the plug-in starts with its defaults, which may not reach your lighting network.",
                  "Make the file readable for the user who runs Lumenstage, or delete it and set the values again "
                  "in the plug-in's configuration dialog.");
  }
  const auto read = [&](const char* key) {
    return store.GetSetting(source.appTitle, kSectionPrefix + source.fileName, key, kUnset);
  };

  std::string address = read(kKeyBroadcastAddress);
  const bool addressStored = address != kUnset;
  if (!addressStored) address = "255.255.255.255";
  const AddressSetting setting(address);
  out.addressText = address;
  out.destination = setting.Address();
  if (out.destination) {
    section.table.rows.push_back({kKeyBroadcastAddress, addressStored ? address : "(not stored)",
                                  "sends to " + IPv4ToText(*ParseIPv4(address))});
    if (*out.destination == 0xFFFFFFFF) {
      section.Note(
          "The broadcast address is 255.255.255.255: the plug-in sends to every device on the network it "
          "picks (see Network). That is right only when the PC's one network is the lighting network.",
          "On a PC with another network (office, Wi-Fi), set the lighting network's own broadcast address "
          "in the configuration dialog, for example 2.255.255.255 or 10.0.0.255.");
    }
  } else {
    section.table.rows.push_back({kKeyBroadcastAddress, '"' + address + '"', "no address: every packet is lost"});
    section.Error("The broadcast address \"" + address +
                      "\" is not an IPv4 address. The plug-in starts, but everything it sends is lost without a "
                      "message: no light on stage, and nodes do not see the console.",
                  "Type the lighting network's broadcast address (four numbers 0-255, such as 2.255.255.255) in the "
                  "configuration dialog and press OK.");
  }

  const NumberSetting numbers[] = {
      {kKeySubNet, "0", "sub-net", &out.subNet},
      {kKeySendUniverse, "0", "universe it sends", &out.sendUniverse},
      {kKeyReceiveUniverse, "1", "universe it receives", &out.receiveUniverse},
  };
  for (const NumberSetting& number : numbers) {
    std::string text = read(number.key);
    const bool stored = text != kUnset;
    if (!stored) text = number.fallback;
    const std::string shown = stored ? '"' + text + '"' : "(not stored)";
    try {
      const std::int32_t value = TextToLong(text);
      if (value < 0 || value > 255) {
        out.starts = false;
        section.table.rows.push_back({number.key, shown, "refused when the show starts (error 6)"});
        section.Error(std::string("The ") + number.role + " is " + text +
                          ": Lumenstage reports error 6 (overflow) when it enables the plug-in, and nothing is "
                          "sent or received.",
                      "Set a value from 0 to 15 in the configuration dialog.");
        continue;
      }
      *number.target = static_cast<std::uint8_t>(value & 0x0F);
      if (value > 15) {
        section.table.rows.push_back({number.key, shown, "used as " + std::to_string(value & 0x0F)});
        section.Note(std::string("The ") + number.role + " is " + std::to_string(value) +
                         ", but only 0-15 exist: "
                         "the plug-in uses " +
                         std::to_string(value & 0x0F) + ".",
                     "Set the value you mean, 0 to 15, in the configuration dialog.");
      } else {
        section.table.rows.push_back({number.key, shown, std::to_string(value)});
      }
    } catch (const AutomationError& error) {
      out.starts = false;
      section.table.rows.push_back(
          {number.key, shown,
           "refused when Lumenstage starts the plug-in (error " + std::to_string(error.number()) + ")"});
      section.Error(std::string("The ") + number.role + " reads \"" + text +
                        "\", which is no whole number: Lumenstage "
                        "reports error " +
                        std::to_string(error.number()) +
                        " when it loads the plug-in, and there is no "
                        "Art-Net output or input at all.",
                    "Correct " + std::string(number.key) + " in " + source.location +
                        " (a number from 0 to 15), or delete the line to get the default.");
    }
  }
  if (out.starts) {
    section.Good("The plug-in sends universe " + UniverseText(0, out.subNet, out.sendUniverse) +
                 " and receives universe " + UniverseText(0, out.subNet, out.receiveUniverse) +
                 " (net:sub-net:universe, counted from 0; a console that counts from 1 calls them \"Universe " +
                 std::to_string(out.subNet * 16 + out.sendUniverse + 1) + "\" and \"Universe " +
                 std::to_string(out.subNet * 16 + out.receiveUniverse + 1) + "\").");
  }
  section.table.rows.insert(section.table.rows.begin(), {"section", "", where + " in " + source.location});
  return section;
}

}  // namespace artnet::check
