// The configuration dialog's form, free of any toolkit: every control with
// the name, caption, kind, container and place the form gives it. Both views
// build their controls from it and fit their font to its captions.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "ui/config_dialog.h"

namespace artnet {

// The controls in the form's order, a line to each frame and what it holds;
// config_form.cpp gives each one's form name.
// clang-format off
enum class FormControl {
  DeviceFrame, SubnetCaption, SubnetValue, SubnetBar, BroadcastCaption, BroadcastEdit,
  OutputFrame, OutputUniverseCaption, OutputUniverseValue, OutputUniverseBar,
  NodePickerFrame, NodeCaption, NodeList, Scan, PortsCaption, Port0, Port1, Port2, Port3,
  InputFrame, InputUniverseCaption, InputUniverseValue, InputUniverseBar,
  Ok, Cancel,
  Dialog,  // not a control: the container of the outermost ones
};
// clang-format on

enum class ControlKind { Frame, Label, ValueLabel, Bar, Edit, List, PushButton, Option };

// Twips: 1440 an inch, 15 a pixel at 96 dpi.
struct TwipRect {
  int left;
  int top;
  int width;
  int height;
};

struct FormControlSpec {
  FormControl id;
  std::string_view name;     // the form's name of the control
  std::string_view caption;  // its text at creation
  ControlKind kind;
  FormControl container;
  TwipRect place;  // inside the container
  int tabIndex;    // the form's; only focusable kinds take the focus
};

namespace config_form {

inline constexpr std::string_view kName = "frmConfig";
inline constexpr std::string_view kCaption = "ArtNet configuration";
inline constexpr int kClientWidthTwips = 5535;
inline constexpr int kClientHeightTwips = 4335;
inline constexpr std::size_t kControlCount = static_cast<std::size_t>(FormControl::Dialog);

// Every control, in the form's order (FormControl's).
std::span<const FormControlSpec> Controls();
const FormControlSpec& Spec(FormControl control);
// The controls that take the focus, in tab order.
std::span<const FormControl> FocusOrder();

FormControl ScrollBar(ConfigBar bar);
FormControl ValueDisplay(ConfigBar bar);      // the bar's value in hex, beside it
constexpr FormControl PortOption(int port) {  // 0..3
  return static_cast<FormControl>(static_cast<int>(FormControl::Port0) + port);
}
// The widest text the control must show whole; empty when only its height
// matters.
std::string WidestText(FormControl control);

}  // namespace config_form
}  // namespace artnet
