#include "ui/config_form.h"

#include <algorithm>
#include <array>

namespace artnet::config_form {
namespace {

using enum FormControl;
using enum ControlKind;

constexpr std::array<FormControlSpec, kControlCount> kControls{{
    {DeviceFrame, "Frame3", "\"Device\" configuration", Frame, Dialog, {120, 120, 5295, 615}, 4},
    {SubnetCaption, "Label3", "SubNet:", Label, DeviceFrame, {120, 270, 735, 255}, 7},
    {SubnetValue, "lblSubNet", "0", ValueLabel, DeviceFrame, {840, 240, 375, 255}, 6},
    {SubnetBar, "scrSubNet", "", Bar, DeviceFrame, {1320, 240, 495, 255}, 5},
    {BroadcastCaption, "Label5", "Broadcast adress:", Label, DeviceFrame, {2340, 270, 1335, 255}, 9},
    {BroadcastEdit, "txtBroadcast", "", Edit, DeviceFrame, {3720, 240, 1455, 285}, 8},
    {OutputFrame, "Frame2", "Output node", Frame, Dialog, {120, 840, 5295, 2175}, 0},
    {OutputUniverseCaption, "Label4", "Universe:", Label, OutputFrame, {1680, 270, 735, 255}, 3},
    {OutputUniverseValue, "lblOutputUniverse", "0", ValueLabel, OutputFrame, {2400, 240, 375, 255}, 2},
    {OutputUniverseBar, "scrOutputUniverse", "", Bar, OutputFrame, {2880, 240, 495, 255}, 1},
    {NodePickerFrame, "Frame1", "Output selection helper", Frame, OutputFrame, {120, 600, 5055, 1455}, 14},
    {NodeCaption, "Label1", "Node:", Label, NodePickerFrame, {120, 240, 495, 255}, 21},
    {NodeList, "cmbNodes", "", List, NodePickerFrame, {120, 480, 3975, 315}, 20},
    {Scan, "cmdScan", "Scan", PushButton, NodePickerFrame, {4080, 480, 855, 315}, 15},
    {PortsCaption, "Label2", "Output:", Label, NodePickerFrame, {120, 840, 1335, 255}, 22},
    {Port0, "optPort0", "Port 1", Option, NodePickerFrame, {240, 1080, 1215, 255}, 16},
    {Port1, "optPort1", "Port 2", Option, NodePickerFrame, {1440, 1080, 1215, 255}, 17},
    {Port2, "optPort2", "Port 3", Option, NodePickerFrame, {2640, 1080, 1215, 255}, 18},
    {Port3, "optPort3", "Port 4", Option, NodePickerFrame, {3840, 1080, 1095, 255}, 19},
    {InputFrame, "Frame4", "Input node", Frame, Dialog, {120, 3120, 5295, 615}, 10},
    {InputUniverseCaption, "Label7", "Universe:", Label, InputFrame, {1680, 270, 735, 255}, 13},
    {InputUniverseValue, "lblInputUniverse", "0", ValueLabel, InputFrame, {2400, 240, 375, 255}, 12},
    {InputUniverseBar, "scrInputUniverse", "", Bar, InputFrame, {2880, 240, 495, 255}, 11},
    {Ok, "cmdOk", "OK", PushButton, Dialog, {3120, 3840, 1095, 375}, 23},
    {Cancel, "cmdCancel", "Cancel", PushButton, Dialog, {4320, 3840, 1095, 375}, 24},
}};

constexpr bool TakesFocus(ControlKind kind) { return kind != Frame && kind != Label && kind != ValueLabel; }

// Rows are found by id, and the views make a frame before what it holds.
static_assert(std::ranges::all_of(kControls, [](const FormControlSpec& row) {
  const auto at = [](FormControl id) -> const FormControlSpec& { return kControls[static_cast<std::size_t>(id)]; };
  return &at(row.id) == &row &&
         (row.container == Dialog || (row.container < row.id && at(row.container).kind == Frame));
}));

constexpr std::size_t kFocusableCount =
    std::ranges::count_if(kControls, [](const FormControlSpec& row) { return TakesFocus(row.kind); });

constexpr std::array<FormControl, kFocusableCount> kFocusOrder = [] {
  std::array<FormControlSpec, kFocusableCount> rows{};
  std::ranges::copy_if(kControls, rows.begin(), [](const FormControlSpec& row) { return TakesFocus(row.kind); });
  std::ranges::sort(rows, {}, &FormControlSpec::tabIndex);
  std::array<FormControl, kFocusableCount> order{};
  std::ranges::transform(rows, order.begin(), &FormControlSpec::id);
  return order;
}();

constexpr std::array<FormControl, 3> kBars{SubnetBar, OutputUniverseBar, InputUniverseBar};
constexpr std::array<FormControl, 3> kBarDisplays{SubnetValue, OutputUniverseValue, InputUniverseValue};

}  // namespace

std::span<const FormControlSpec> Controls() { return kControls; }
const FormControlSpec& Spec(FormControl control) { return kControls[static_cast<std::size_t>(control)]; }
std::span<const FormControl> FocusOrder() { return kFocusOrder; }
FormControl ScrollBar(ConfigBar bar) { return kBars[static_cast<std::size_t>(bar)]; }
FormControl ValueDisplay(ConfigBar bar) { return kBarDisplays[static_cast<std::size_t>(bar)]; }

std::string WidestText(FormControl control) {
  const FormControlSpec& row = Spec(control);
  if (row.kind == ValueLabel) return "W";          // the widest of the hex digits it shows
  if (row.kind == Edit) return "255.255.255.255";  // a full dotted address
  if (row.kind == Option) {                        // the longest caption a node can give it
    return ConfigDialogBehaviour::PortCaption(static_cast<int>(control) - static_cast<int>(Port0), true);
  }
  return row.kind == Bar || row.kind == List ? std::string() : std::string(row.caption);
}

}  // namespace artnet::config_form
