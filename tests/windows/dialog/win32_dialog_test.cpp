// The native configuration dialog under Wine, driven through its controls
// as a person would, against fake services (no network, no platform).
#include <gtest/gtest.h>
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <array>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "dialog_script.h"
#include "png_writer.h"
#include "support/art_net_test_packets.h"
#include "support/fake_dialog_services.h"
#include "ui/win32/win32_config_dialog.h"
#include "ui/win32/win32_dialog_runner.h"

namespace artnet {
namespace {

using testing::Click;
using testing::DialogScript;
using testing::Do;
using testing::FakeDialogServices;
using testing::IncomingReply;
using testing::Item;
using testing::NodeEntries;
using testing::PortSpec;
using testing::Press;
using testing::PumpFor;
using testing::Step;
using testing::Text;
using enum FormControl;
using config_form::PortOption;

constexpr PortSpec kOut(std::uint8_t universe) { return {0x80, 0, universe}; }
constexpr PortSpec kIn(std::uint8_t universe) { return {0x40, universe, 0}; }

int BarValue(HWND dialog, FormControl id) { return GetScrollPos(Item(dialog, id), SB_CTL); }
bool Checked(HWND dialog, FormControl id) { return SendMessageW(Item(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
bool Enabled(HWND dialog, FormControl id) { return IsWindowEnabled(Item(dialog, id)) != FALSE; }

int CurrentEntry(HWND dialog) { return static_cast<int>(SendMessageW(Item(dialog, NodeList), CB_GETCURSEL, 0, 0)); }

Step Key(UINT key) {
  return Do([key](HWND) { Press(key); });
}

Step FocusOn(FormControl id) {
  return Do(
      [id](HWND dialog) { SendMessageW(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(dialog, id)), TRUE); });
}

class Win32DialogTest : public ::testing::Test {
 protected:
  FakeDialogServices services;
  Win32DialogRunner runner;
  bool scanning = false;

  void SetUp() override {
    services.settings = {"10.99.0.255", 0, 0, 0};
    services.duringScan = [this] {
      scanning = true;
      PumpFor(600);
      scanning = false;
    };
  }

  // Opens the dialog, runs the steps inside it and returns when it closed.
  void Show(std::vector<Step> steps) {
    DialogScript script(std::move(steps));
    EXPECT_EQ(runner.ShowConfigDialog(services), 0);
    EXPECT_TRUE(script.Finished()) << "stopped at step " << script.StepsRun();
    EXPECT_EQ(DialogScript::FindDialog(), nullptr);
  }

  Step WaitForScanEnd() {
    return [this](HWND) { return services.scans > 0 && !scanning; };
  }
  Step WaitForScanStart() {
    return [this](HWND) { return scanning; };
  }
};

TEST_F(Win32DialogTest, OpensFilledFromTheSettings) {
  services.settings = {"2.255.255.255", 10, 15, 3};
  Show({Do([](HWND dialog) {
          EXPECT_EQ(Text(dialog), "ArtNet configuration");
          EXPECT_EQ(BarValue(dialog, SubnetBar), 10);
          EXPECT_EQ(Text(Item(dialog, SubnetValue)), "A");
          EXPECT_EQ(BarValue(dialog, OutputUniverseBar), 15);
          EXPECT_EQ(Text(Item(dialog, OutputUniverseValue)), "F");
          EXPECT_EQ(BarValue(dialog, InputUniverseBar), 3);
          EXPECT_EQ(Text(Item(dialog, InputUniverseValue)), "3");
          EXPECT_EQ(Text(Item(dialog, BroadcastEdit)), "2.255.255.255");
          EXPECT_TRUE(NodeEntries(dialog).empty());
          for (int i = 0; i < 4; ++i) {
            EXPECT_TRUE(Enabled(dialog, PortOption(i)));
            EXPECT_FALSE(Checked(dialog, PortOption(i)));
          }
          for (FormControl id : {SubnetBar, OutputUniverseBar, InputUniverseBar}) {
            int low = -1;
            int high = -1;
            GetScrollRange(Item(dialog, id), SB_CTL, &low, &high);
            EXPECT_EQ(low, 0);
            EXPECT_EQ(high, 15);
          }
          EXPECT_EQ(LOWORD(SendMessageW(dialog, DM_GETDEFID, 0, 0)), IDOK);
        }),
        Click(Cancel)});
  EXPECT_TRUE(services.pollReplies.empty());
  EXPECT_EQ(services.settings.SubNet, 10);
}

TEST_F(Win32DialogTest, IsAFixedToolWindowCentredOnTheScreen) {
  Show({Do([](HWND dialog) {
          const auto style = static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_STYLE));
          const auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_EXSTYLE));
          EXPECT_TRUE(style & WS_SYSMENU);
          EXPECT_TRUE(style & WS_CAPTION);
          EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
          EXPECT_TRUE(exStyle & WS_EX_TOOLWINDOW);  // no taskbar button
          EXPECT_FALSE(exStyle & WS_EX_APPWINDOW);
          EXPECT_EQ(GetWindow(dialog, GW_OWNER), nullptr);

          RECT client{};
          GetClientRect(dialog, &client);
          EXPECT_EQ(client.right, 5535 / 15);
          EXPECT_EQ(client.bottom, 4335 / 15);
          RECT frame{};
          GetWindowRect(dialog, &frame);
          const int centreX = (frame.left + frame.right) / 2;
          const int centreY = (frame.top + frame.bottom) / 2;
          EXPECT_NEAR(centreX, GetSystemMetrics(SM_CXSCREEN) / 2, 1);
          EXPECT_NEAR(centreY, GetSystemMetrics(SM_CYSCREEN) / 2, 1);
        }),
        Do([](HWND dialog) { PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); })});
}

// Each control's rectangle inside its container, in twips at 96 dpi (15
// twips a pixel): the dialog's client area, or the frame's top left corner;
// and its caption, where it shows one.
TEST_F(Win32DialogTest, ControlsSitWhereTheFormPutsThemWithItsCaptions) {
  struct Place {
    FormControl id;
    FormControl container;
    std::array<int, 4> twips;
    const char* caption;
  };
  const std::vector<Place> places{
      {DeviceFrame, Dialog, {120, 120, 5295, 615}, "\"Device\" configuration"},
      {SubnetCaption, DeviceFrame, {120, 270, 735, 255}, "SubNet:"},
      {SubnetValue, DeviceFrame, {840, 240, 375, 255}, nullptr},
      {SubnetBar, DeviceFrame, {1320, 240, 495, 255}, nullptr},
      {BroadcastCaption, DeviceFrame, {2340, 270, 1335, 255}, "Broadcast adress:"},
      {BroadcastEdit, DeviceFrame, {3720, 240, 1455, 285}, nullptr},
      {OutputFrame, Dialog, {120, 840, 5295, 2175}, "Output node"},
      {OutputUniverseCaption, OutputFrame, {1680, 270, 735, 255}, "Universe:"},
      {OutputUniverseValue, OutputFrame, {2400, 240, 375, 255}, nullptr},
      {OutputUniverseBar, OutputFrame, {2880, 240, 495, 255}, nullptr},
      {NodePickerFrame, OutputFrame, {120, 600, 5055, 1455}, "Output selection helper"},
      {NodeCaption, NodePickerFrame, {120, 240, 495, 255}, "Node:"},
      {NodeList, NodePickerFrame, {120, 480, 3975, 315}, nullptr},
      {Scan, NodePickerFrame, {4080, 480, 855, 315}, "Scan"},
      {PortsCaption, NodePickerFrame, {120, 840, 1335, 255}, "Output:"},
      {PortOption(0), NodePickerFrame, {240, 1080, 1215, 255}, "Port 1"},
      {PortOption(1), NodePickerFrame, {1440, 1080, 1215, 255}, "Port 2"},
      {PortOption(2), NodePickerFrame, {2640, 1080, 1215, 255}, "Port 3"},
      {PortOption(3), NodePickerFrame, {3840, 1080, 1095, 255}, "Port 4"},
      {InputFrame, Dialog, {120, 3120, 5295, 615}, "Input node"},
      {InputUniverseCaption, InputFrame, {1680, 270, 735, 255}, "Universe:"},
      {InputUniverseValue, InputFrame, {2400, 240, 375, 255}, nullptr},
      {InputUniverseBar, InputFrame, {2880, 240, 495, 255}, nullptr},
      {Ok, Dialog, {3120, 3840, 1095, 375}, "OK"},
      {Cancel, Dialog, {4320, 3840, 1095, 375}, "Cancel"},
  };
  Show({Do([&](HWND dialog) {
          for (const Place& place : places) {
            RECT box{};
            GetWindowRect(Item(dialog, place.id), &box);
            POINT origin{0, 0};
            if (place.container == Dialog) {
              ClientToScreen(dialog, &origin);
            } else {
              RECT frame{};
              GetWindowRect(Item(dialog, place.container), &frame);
              origin = {frame.left, frame.top};
            }
            const std::array<int, 4> pixels{box.left - origin.x, box.top - origin.y, box.right - box.left,
                                            box.bottom - box.top};
            const std::array<int, 4> wanted{place.twips[0] / 15, place.twips[1] / 15, place.twips[2] / 15,
                                            place.twips[3] / 15};
            const std::string_view name = config_form::Spec(place.id).name;
            EXPECT_EQ(pixels, wanted) << name;
            if (place.caption != nullptr) {
              EXPECT_EQ(Text(Item(dialog, place.id)), place.caption) << name;
            }
          }
        }),
        Key(VK_ESCAPE)});
}

// Tab visits the focusable controls in the form's order; frames and labels
// take no focus, and the port options are one stop.
TEST_F(Win32DialogTest, TabFollowsTheFormsOrder) {
  const std::vector<FormControl> order{
      OutputUniverseBar, SubnetBar, BroadcastEdit, InputUniverseBar, Scan, PortOption(0),
      NodeList,          Ok,        Cancel,        OutputUniverseBar};
  std::vector<Step> steps;
  for (std::size_t i = 0; i < order.size(); ++i) {
    steps.push_back(Do([&order, i](HWND dialog) { EXPECT_EQ(GetFocus(), Item(dialog, order[i])) << "stop " << i; }));
    steps.push_back(Key(VK_TAB));
  }
  steps.push_back(Click(Cancel));
  Show(steps);
}

// Like a classic Windows bar: Left, Up and Page Up lower the value by one,
// Right, Down and Page Down raise it, Home and End go to the ends; the
// display beside it shows the value in hex.
TEST_F(Win32DialogTest, BarsAnswerKeysAsWindowsBarsDo) {
  const auto expect = [](FormControl id, FormControl labelId, int value, const char* label) {
    return Do([=](HWND dialog) {
      EXPECT_EQ(BarValue(dialog, id), value);
      EXPECT_EQ(Text(Item(dialog, labelId)), label);
    });
  };
  Show({Key(VK_RIGHT), expect(OutputUniverseBar, OutputUniverseValue, 1, "1"),  //
        Key(VK_NEXT), expect(OutputUniverseBar, OutputUniverseValue, 2, "2"),   //
        Key(VK_DOWN), expect(OutputUniverseBar, OutputUniverseValue, 3, "3"),   //
        Key(VK_UP), Key(VK_PRIOR), expect(OutputUniverseBar, OutputUniverseValue, 1, "1"), Key(VK_LEFT), Key(VK_LEFT),
        expect(OutputUniverseBar, OutputUniverseValue, 0, "0"), Key(VK_END),
        expect(OutputUniverseBar, OutputUniverseValue, 15, "F"), Key(VK_RIGHT),
        expect(OutputUniverseBar, OutputUniverseValue, 15, "F"), Key(VK_TAB), Key(VK_END), Key(VK_LEFT),
        expect(SubnetBar, SubnetValue, 14, "E"), Key(VK_TAB), Key(VK_TAB), Key(VK_RIGHT), Key(VK_RIGHT),
        expect(InputUniverseBar, InputUniverseValue, 2, "2"),
        // A click on the bar's right arrow, as the mouse gives it.
        Do([](HWND dialog) {
          SendMessageW(dialog, WM_HSCROLL, SB_LINERIGHT, reinterpret_cast<LPARAM>(Item(dialog, SubnetBar)));
        }),
        expect(SubnetBar, SubnetValue, 15, "F"),
        // Dragging the thumb does not change the display until it is let go.
        Do([](HWND dialog) {
          SendMessageW(dialog, WM_HSCROLL, MAKEWPARAM(SB_THUMBTRACK, 4),
                       reinterpret_cast<LPARAM>(Item(dialog, SubnetBar)));
        }),
        expect(SubnetBar, SubnetValue, 15, "F"), Do([](HWND dialog) {
          SendMessageW(dialog, WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 4),
                       reinterpret_cast<LPARAM>(Item(dialog, SubnetBar)));
        }),
        Key(VK_HOME),  // the focus is on the input bar
        expect(InputUniverseBar, InputUniverseValue, 0, "0"),
        // Enter on a bar is OK.
        Key(VK_RETURN)});
  ASSERT_EQ(services.pollReplies, std::vector<std::string>{"10.99.0.255"});
  EXPECT_EQ(services.settings.SendUniverse, 15);
  EXPECT_EQ(services.settings.SubNet, 4);
  EXPECT_EQ(services.settings.ReceiveUniverse, 0);
}

TEST_F(Win32DialogTest, ScanListsNodesAndPickingNodeAndPortSetsTheBars) {
  services.replies = {IncomingReply({2, 0, 0, 17}, 0, 10, "Stage Left", 4, {kOut(3), kIn(7), kOut(5), PortSpec{}}),
                      IncomingReply({2, 0, 0, 18}, 0, 2, "Dimmer", 1, {kIn(9)})};
  Show({Click(Scan), WaitForScanStart(), Do([](HWND dialog) {
          EXPECT_EQ(NodeEntries(dialog), std::vector<std::string>{"Scanning..."});
          EXPECT_EQ(CurrentEntry(dialog), 0);
        }),
        WaitForScanEnd(), Do([](HWND dialog) {
          EXPECT_EQ(NodeEntries(dialog), (std::vector<std::string>{"Stage Left (IP: 2.0.0.17; Subnet A; 4 ports)",
                                                                   "Dimmer (IP: 2.0.0.18; Subnet 2; 1 ports)"}));
          EXPECT_EQ(CurrentEntry(dialog), CB_ERR);
        }),
        // The first entry, picked with the keyboard on the closed list.
        FocusOn(NodeList), Key(VK_DOWN), Do([](HWND dialog) {
          EXPECT_EQ(CurrentEntry(dialog), 0);
          EXPECT_EQ(Text(Item(dialog, PortOption(0))), "Port 1 (Out)");
          EXPECT_EQ(Text(Item(dialog, PortOption(1))), "Port 2 (In)");
          EXPECT_EQ(Text(Item(dialog, PortOption(2))), "Port 3 (Out)");
          EXPECT_EQ(Text(Item(dialog, PortOption(3))), "Port 4 (In)");
          for (int i = 0; i < 4; ++i) EXPECT_TRUE(Enabled(dialog, PortOption(i)));
          EXPECT_EQ(BarValue(dialog, SubnetBar), 10);
          EXPECT_EQ(Text(Item(dialog, SubnetValue)), "A");
        }),
        Click(PortOption(2)), Do([](HWND dialog) {
          EXPECT_TRUE(Checked(dialog, PortOption(2)));
          EXPECT_EQ(BarValue(dialog, OutputUniverseBar), 5);
          EXPECT_EQ(Text(Item(dialog, OutputUniverseValue)), "5");
        }),
        Click(PortOption(1)), Do([](HWND dialog) {
          EXPECT_FALSE(Checked(dialog, PortOption(2)));  // one group
          EXPECT_EQ(BarValue(dialog, InputUniverseBar), 7);
          EXPECT_EQ(BarValue(dialog, OutputUniverseBar), 5);
        }),
        // The second node, picked from the open list; no port stays selected
        // and only its one port can be chosen.
        FocusOn(NodeList), Do([](HWND dialog) {
          SendMessageW(Item(dialog, NodeList), CB_SHOWDROPDOWN, TRUE, 0);
          Press(VK_DOWN);
          Press(VK_RETURN);
        }),
        Do([](HWND dialog) {
          EXPECT_EQ(CurrentEntry(dialog), 1);
          EXPECT_EQ(Text(Item(dialog, PortOption(0))), "Port 1 (In)");
          EXPECT_TRUE(Enabled(dialog, PortOption(0)));
          for (int i = 1; i < 4; ++i) EXPECT_FALSE(Enabled(dialog, PortOption(i)));
          for (int i = 0; i < 4; ++i) EXPECT_FALSE(Checked(dialog, PortOption(i)));
          EXPECT_EQ(BarValue(dialog, SubnetBar), 2);
        }),
        Click(PortOption(0)), Do([](HWND dialog) { EXPECT_EQ(BarValue(dialog, InputUniverseBar), 9); }),
        Do([](HWND dialog) { SetWindowTextW(Item(dialog, BroadcastEdit), L"2.0.0.255"); }), Click(Ok)});
  ASSERT_EQ(services.pollReplies, std::vector<std::string>{"2.0.0.255"});
  EXPECT_EQ(services.settings.BroadcastAddress, "2.0.0.255");
  EXPECT_EQ(services.settings.SubNet, 2);
  EXPECT_EQ(services.settings.SendUniverse, 5);
  EXPECT_EQ(services.settings.ReceiveUniverse, 9);
}

// Typing in the text box, then Escape: nothing applied, nothing sent.
TEST_F(Win32DialogTest, EscapeAndTheCloseBoxCancel) {
  Show({FocusOn(BroadcastEdit), Do([](HWND dialog) {
          SendMessageW(Item(dialog, BroadcastEdit), EM_SETSEL, 0, -1);
          for (wchar_t c : std::wstring(L"1.2.3.4")) PostMessageW(GetFocus(), WM_CHAR, c, 1);
        }),
        Do([](HWND dialog) { EXPECT_EQ(Text(Item(dialog, BroadcastEdit)), "1.2.3.4"); }), Key(VK_RIGHT),
        Key(VK_ESCAPE)});
  EXPECT_EQ(services.settings.BroadcastAddress, "10.99.0.255");
  EXPECT_TRUE(services.pollReplies.empty());

  Show({Do([](HWND dialog) { SetWindowTextW(Item(dialog, BroadcastEdit), L""); }),
        Do([](HWND dialog) { PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); })});
  EXPECT_EQ(services.settings.BroadcastAddress, "10.99.0.255");
  EXPECT_TRUE(services.pollReplies.empty());
}

// The scan pumps events without knowing of dialogs; the dialog's keys and
// its close box still work meanwhile, and the scan's end touches nothing.
TEST_F(Win32DialogTest, ClosingDuringAScanIsSafe) {
  services.replies = {IncomingReply({2, 0, 0, 17}, 0, 1, "Node", 1)};
  Show({Click(Scan), WaitForScanStart(), FocusOn(SubnetBar), Key(VK_RIGHT),
        Do([](HWND dialog) { EXPECT_EQ(BarValue(dialog, SubnetBar), 1); }), Key(VK_ESCAPE)});
  EXPECT_EQ(services.scans, 1);
  EXPECT_FALSE(scanning);  // the dialog's loop returned after the scan
  EXPECT_TRUE(services.pollReplies.empty());

  // Enter on Scan scans, again while a scan waits.
  Show({FocusOn(Scan), Key(VK_RETURN), WaitForScanStart(),
        Do([](HWND dialog) { EXPECT_EQ(GetFocus(), Item(dialog, Scan)); }), Key(VK_RETURN), WaitForScanEnd(),
        Click(Cancel)});
  EXPECT_EQ(services.scans, 3);

  Show({Click(Scan), WaitForScanStart(), Click(Ok)});
  EXPECT_EQ(services.pollReplies.size(), 1u);

  Show({Click(Scan), WaitForScanStart(), Do([](HWND dialog) { PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); })});
  EXPECT_EQ(services.pollReplies.size(), 1u);

  // Destroyed from outside while the scan waits.
  Show({Click(Scan), WaitForScanStart(), Do([](HWND dialog) { DestroyWindow(dialog); })});
  EXPECT_EQ(services.pollReplies.size(), 1u);
}

// Modal without an owner: the host's windows are disabled while it is open
// and enabled again once it has closed.
TEST_F(Win32DialogTest, DisablesTheHostsWindowsWhileOpen) {
  const HWND host = CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, nullptr,
                                    nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(host, nullptr);
  Show({Do([host](HWND) { EXPECT_FALSE(IsWindowEnabled(host)); }), Click(Ok)});
  EXPECT_TRUE(IsWindowEnabled(host));
  DestroyWindow(host);
}

// An error in a handler closes the dialog and reaches the caller; the host's
// windows are usable again.
TEST_F(Win32DialogTest, AnErrorInAHandlerClosesTheDialogAndReachesTheCaller) {
  const HWND host = CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, nullptr,
                                    nullptr, GetModuleHandleW(nullptr), nullptr);
  services.duringScan = [] { throw std::runtime_error("scan failed"); };
  DialogScript script({Click(Scan)});
  EXPECT_THROW(runner.ShowConfigDialog(services), std::runtime_error);
  EXPECT_EQ(DialogScript::FindDialog(), nullptr);
  EXPECT_TRUE(IsWindowEnabled(host));
  DestroyWindow(host);
}

// The controls are Common Controls 6 (the manifest took effect), and the
// font lets every caption show whole.
TEST_F(Win32DialogTest, CurrentControlsAndCaptionsThatFit) {
  Show({Do([](HWND dialog) {
          SIZE ideal{};
          EXPECT_TRUE(SendMessageW(Item(dialog, Ok), BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&ideal)));
          const auto controlFont = reinterpret_cast<HFONT>(SendMessageW(Item(dialog, SubnetCaption), WM_GETFONT, 0, 0));
          ASSERT_NE(controlFont, nullptr);
          HDC dc = GetDC(dialog);
          SelectObject(dc, controlFont);
          for (FormControl id : {SubnetCaption, BroadcastCaption, OutputUniverseCaption, NodeCaption, PortsCaption,
                                 InputUniverseCaption}) {
            const std::string text = Text(Item(dialog, id));
            SIZE size{};
            GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
            RECT box{};
            GetClientRect(Item(dialog, id), &box);
            EXPECT_LE(size.cx, box.right) << text;
            EXPECT_LE(size.cy, box.bottom) << text;
          }
          ReleaseDC(dialog, dc);
        }),
        Click(Cancel)});
}

// The dialog's client area as it looks, into a memory bitmap. Wine's
// PrintWindow paints the client area alone, without the children; each
// control is then printed into a bitmap of its own over what lies beneath
// it (controls clip to their own rectangle in device units, so they cannot
// share a DC with a moved origin) and copied to its place, lowest first.
std::vector<std::uint32_t> Render(HWND dialog, int& width, int& height) {
  RECT client{};
  GetClientRect(dialog, &client);
  width = client.right;
  height = client.bottom;
  BITMAPINFO info{};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HDC canvas = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateDIBSection(canvas, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  const HGDIOBJ previous = SelectObject(canvas, bitmap);
  PrintWindow(dialog, canvas, PW_CLIENTONLY);

  std::vector<HWND> children;
  for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
  }
  for (auto it = children.rbegin(); it != children.rend(); ++it) {
    if (!IsWindowVisible(*it)) continue;
    RECT box{};
    GetWindowRect(*it, &box);
    MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&box), 2);
    // The client area, inside the sunken edge a text box draws outside it.
    POINT inside{0, 0};
    ClientToScreen(*it, &inside);
    ScreenToClient(dialog, &inside);
    RECT area{};
    GetClientRect(*it, &area);
    HDC piece = CreateCompatibleDC(canvas);
    HBITMAP pieceBitmap = CreateCompatibleBitmap(canvas, area.right, area.bottom);
    const HGDIOBJ piecePrevious = SelectObject(piece, pieceBitmap);
    BitBlt(piece, 0, 0, area.right, area.bottom, canvas, inside.x, inside.y, SRCCOPY);
    wchar_t kind[32] = {};
    GetClassNameW(*it, kind, 32);
    // Wine's scroll bar paints only on WM_PAINT, which takes a DC as well.
    const UINT request = lstrcmpiW(kind, L"ScrollBar") == 0 ? WM_PAINT : WM_PRINTCLIENT;
    SendMessageW(*it, request, reinterpret_cast<WPARAM>(piece), PRF_CLIENT | PRF_CHILDREN);
    BitBlt(canvas, inside.x, inside.y, area.right, area.bottom, piece, 0, 0, SRCCOPY);
    if ((GetWindowLongPtrW(*it, GWL_EXSTYLE) & WS_EX_CLIENTEDGE) != 0) DrawEdge(canvas, &box, EDGE_SUNKEN, BF_RECT);
    SelectObject(piece, piecePrevious);
    DeleteObject(pieceBitmap);
    DeleteDC(piece);
  }
  GdiFlush();
  const auto* pixels = static_cast<const std::uint32_t*>(bits);
  std::vector<std::uint32_t> image(pixels, pixels + static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  SelectObject(canvas, previous);
  DeleteObject(bitmap);
  DeleteDC(canvas);
  return image;
}

// The state the README shows beside the Linux dialog: after a scan that
// found two nodes, the first picked and its second port chosen.
// ARTNET_WRITE_SCREENSHOT=1 writes it into docs/images of the source tree.
TEST_F(Win32DialogTest, RendersForTheReadme) {
  services.settings = {"10.99.0.255", 10, 15, 3};
  services.replies = {IncomingReply({10, 99, 0, 17}, 0, 10, "Stage Left", 4,
                                    {PortSpec{0x40, 2, 0}, PortSpec{0x80, 0, 7}, PortSpec{}, PortSpec{0x80, 0, 1}}),
                      IncomingReply({10, 99, 0, 18}, 0, 3, "Dimmer", 1, {PortSpec{0x80, 0, 0x3C}})};
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> image;
  std::array<RECT, 2> okAndBar{};
  Show({Click(Scan), WaitForScanEnd(), FocusOn(NodeList), Key(VK_DOWN), Click(PortOption(1)), FocusOn(Ok),
        Do([&](HWND dialog) {
          image = Render(dialog, width, height);
          for (std::size_t i = 0; i < okAndBar.size(); ++i) {
            GetWindowRect(Item(dialog, i == 0 ? Ok : SubnetBar), &okAndBar[i]);
            MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&okAndBar[i]), 2);
          }
        }),
        Click(Cancel)});
  ASSERT_EQ(width, 369);
  ASSERT_EQ(height, 289);
  // Something was drawn where the OK caption and the bar's arrows are:
  // dark pixels on the light face.
  for (const RECT& box : okAndBar) {
    int dark = 0;
    for (int y = box.top; y < box.bottom; ++y) {
      for (int x = box.left; x < box.right; ++x) {
        const std::uint32_t pixel = image[static_cast<std::size_t>(y * width + x)];
        if (((pixel >> 16) & 0xFF) + ((pixel >> 8) & 0xFF) + (pixel & 0xFF) < 3 * 96) ++dark;
      }
    }
    EXPECT_GT(dark, 10);
  }
  const char* write = std::getenv("ARTNET_WRITE_SCREENSHOT");
  const std::string path = write != nullptr && std::string(write) == "1"
                               ? std::string("Z:") + ARTNET_SOURCE_DIR + "/docs/images/config-dialog-windows.png"
                               : std::string("config-dialog-windows.png");
  EXPECT_TRUE(testing::WritePng(path, width, height, image)) << path;
}

}  // namespace
}  // namespace artnet
