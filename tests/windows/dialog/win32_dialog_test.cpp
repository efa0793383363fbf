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
using testing::PortSpec;
using testing::Press;
using testing::PumpFor;
using testing::Step;
using testing::Text;

constexpr PortSpec kOut(std::uint8_t universe) { return {0x80, 0, universe}; }
constexpr PortSpec kIn(std::uint8_t universe) { return {0x40, universe, 0}; }

int BarValue(HWND dialog, int id) { return GetScrollPos(Item(dialog, id), SB_CTL); }
bool Checked(HWND dialog, int id) { return SendMessageW(Item(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
bool Enabled(HWND dialog, int id) { return IsWindowEnabled(Item(dialog, id)) != FALSE; }

std::vector<std::string> Entries(HWND dialog) { return testing::NodeEntries(Item(dialog, kIdNodeList)); }

int CurrentEntry(HWND dialog) { return static_cast<int>(SendMessageW(Item(dialog, kIdNodeList), CB_GETCURSEL, 0, 0)); }

Step Key(UINT key) {
  return Do([key](HWND) { Press(key); });
}

Step FocusOn(int id) {
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

TEST_F(Win32DialogTest, OpensFilledFromTheSettingsWithTheFormsCaptions) {
  services.settings = {"2.255.255.255", 10, 15, 3};
  Show({Do([](HWND dialog) {
          EXPECT_EQ(Text(dialog), "ArtNet configuration");
          const std::vector<std::pair<int, std::string>> captions{
              {kIdDeviceFrame, "\"Device\" configuration"},
              {kIdSubnetCaption, "SubNet:"},
              {kIdBroadcastCaption, "Broadcast adress:"},
              {kIdOutputFrame, "Output node"},
              {kIdOutputUniverseCaption, "Universe:"},
              {kIdNodePickerFrame, "Output selection helper"},
              {kIdNodeCaption, "Node:"},
              {kIdScan, "Scan"},
              {kIdPortsCaption, "Output:"},
              {kIdPort0, "Port 1"},
              {kIdPort0 + 1, "Port 2"},
              {kIdPort0 + 2, "Port 3"},
              {kIdPort0 + 3, "Port 4"},
              {kIdInputFrame, "Input node"},
              {kIdInputUniverseCaption, "Universe:"},
              {kIdOk, "OK"},
              {kIdCancel, "Cancel"},
          };
          for (const auto& [id, caption] : captions) EXPECT_EQ(Text(Item(dialog, id)), caption) << id;

          EXPECT_EQ(BarValue(dialog, kIdSubnetBar), 10);
          EXPECT_EQ(Text(Item(dialog, kIdSubnetValue)), "A");
          EXPECT_EQ(BarValue(dialog, kIdOutputUniverseBar), 15);
          EXPECT_EQ(Text(Item(dialog, kIdOutputUniverseValue)), "F");
          EXPECT_EQ(BarValue(dialog, kIdInputUniverseBar), 3);
          EXPECT_EQ(Text(Item(dialog, kIdInputUniverseValue)), "3");
          EXPECT_EQ(Text(Item(dialog, kIdBroadcastEdit)), "2.255.255.255");
          EXPECT_TRUE(Entries(dialog).empty());
          for (int i = 0; i < 4; ++i) {
            EXPECT_TRUE(Enabled(dialog, kIdPort0 + i));
            EXPECT_FALSE(Checked(dialog, kIdPort0 + i));
          }
          for (int id : {kIdSubnetBar, kIdOutputUniverseBar, kIdInputUniverseBar}) {
            int low = -1;
            int high = -1;
            GetScrollRange(Item(dialog, id), SB_CTL, &low, &high);
            EXPECT_EQ(low, 0);
            EXPECT_EQ(high, 15);
          }
          EXPECT_EQ(GetFocus(), Item(dialog, kIdOutputUniverseBar));
          EXPECT_EQ(LOWORD(SendMessageW(dialog, DM_GETDEFID, 0, 0)), kIdOk);
        }),
        Click(kIdCancel)});
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
// twips a pixel): the dialog's client area, or the frame's top left corner.
TEST_F(Win32DialogTest, ControlsSitWhereTheFormPutsThem) {
  struct Place {
    int id;
    int container;  // 0: the dialog
    std::array<int, 4> twips;
  };
  const std::vector<Place> places{
      {kIdDeviceFrame, 0, {120, 120, 5295, 615}},
      {kIdSubnetCaption, kIdDeviceFrame, {120, 270, 735, 255}},
      {kIdSubnetValue, kIdDeviceFrame, {840, 240, 375, 255}},
      {kIdSubnetBar, kIdDeviceFrame, {1320, 240, 495, 255}},
      {kIdBroadcastCaption, kIdDeviceFrame, {2340, 270, 1335, 255}},
      {kIdBroadcastEdit, kIdDeviceFrame, {3720, 240, 1455, 285}},
      {kIdOutputFrame, 0, {120, 840, 5295, 2175}},
      {kIdOutputUniverseCaption, kIdOutputFrame, {1680, 270, 735, 255}},
      {kIdOutputUniverseValue, kIdOutputFrame, {2400, 240, 375, 255}},
      {kIdOutputUniverseBar, kIdOutputFrame, {2880, 240, 495, 255}},
      {kIdNodePickerFrame, kIdOutputFrame, {120, 600, 5055, 1455}},
      {kIdNodeCaption, kIdNodePickerFrame, {120, 240, 495, 255}},
      {kIdNodeList, kIdNodePickerFrame, {120, 480, 3975, 315}},
      {kIdScan, kIdNodePickerFrame, {4080, 480, 855, 315}},
      {kIdPortsCaption, kIdNodePickerFrame, {120, 840, 1335, 255}},
      {kIdPort0, kIdNodePickerFrame, {240, 1080, 1215, 255}},
      {kIdPort0 + 1, kIdNodePickerFrame, {1440, 1080, 1215, 255}},
      {kIdPort0 + 2, kIdNodePickerFrame, {2640, 1080, 1215, 255}},
      {kIdPort0 + 3, kIdNodePickerFrame, {3840, 1080, 1095, 255}},
      {kIdInputFrame, 0, {120, 3120, 5295, 615}},
      {kIdInputUniverseCaption, kIdInputFrame, {1680, 270, 735, 255}},
      {kIdInputUniverseValue, kIdInputFrame, {2400, 240, 375, 255}},
      {kIdInputUniverseBar, kIdInputFrame, {2880, 240, 495, 255}},
      {kIdOk, 0, {3120, 3840, 1095, 375}},
      {kIdCancel, 0, {4320, 3840, 1095, 375}},
  };
  Show({Do([&](HWND dialog) {
          for (const Place& place : places) {
            RECT box{};
            GetWindowRect(Item(dialog, place.id), &box);
            POINT origin{0, 0};
            if (place.container == 0) {
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
            EXPECT_EQ(pixels, wanted) << "control " << place.id;
          }
        }),
        Key(VK_ESCAPE)});
}

// Tab visits the focusable controls in the form's order; frames and labels
// take no focus, and the port options are one stop.
TEST_F(Win32DialogTest, TabFollowsTheFormsOrder) {
  const std::vector<int> order{
      kIdOutputUniverseBar, kIdSubnetBar, kIdBroadcastEdit, kIdInputUniverseBar, kIdScan, kIdPort0,
      kIdNodeList,          kIdOk,        kIdCancel,        kIdOutputUniverseBar};
  std::vector<Step> steps;
  for (std::size_t i = 0; i < order.size(); ++i) {
    steps.push_back(Do([&order, i](HWND dialog) { EXPECT_EQ(GetFocus(), Item(dialog, order[i])) << "stop " << i; }));
    steps.push_back(Key(VK_TAB));
  }
  steps.push_back(Click(kIdCancel));
  Show(steps);
}

// Like a classic Windows bar: Left, Up and Page Up lower the value by one,
// Right, Down and Page Down raise it, Home and End go to the ends; the
// display beside it shows the value in hex.
TEST_F(Win32DialogTest, BarsAnswerKeysAsWindowsBarsDo) {
  const auto expect = [](int id, int labelId, int value, const char* label) {
    return Do([=](HWND dialog) {
      EXPECT_EQ(BarValue(dialog, id), value);
      EXPECT_EQ(Text(Item(dialog, labelId)), label);
    });
  };
  Show({Key(VK_RIGHT), expect(kIdOutputUniverseBar, kIdOutputUniverseValue, 1, "1"),  //
        Key(VK_NEXT), expect(kIdOutputUniverseBar, kIdOutputUniverseValue, 2, "2"),   //
        Key(VK_DOWN), expect(kIdOutputUniverseBar, kIdOutputUniverseValue, 3, "3"),   //
        Key(VK_UP), Key(VK_PRIOR), expect(kIdOutputUniverseBar, kIdOutputUniverseValue, 1, "1"), Key(VK_LEFT),
        Key(VK_LEFT), expect(kIdOutputUniverseBar, kIdOutputUniverseValue, 0, "0"), Key(VK_END),
        expect(kIdOutputUniverseBar, kIdOutputUniverseValue, 15, "F"), Key(VK_RIGHT),
        expect(kIdOutputUniverseBar, kIdOutputUniverseValue, 15, "F"), Key(VK_TAB), Key(VK_END), Key(VK_LEFT),
        expect(kIdSubnetBar, kIdSubnetValue, 14, "E"), Key(VK_TAB), Key(VK_TAB), Key(VK_RIGHT), Key(VK_RIGHT),
        expect(kIdInputUniverseBar, kIdInputUniverseValue, 2, "2"),
        // A click on the bar's right arrow, as the mouse gives it.
        Do([](HWND dialog) {
          SendMessageW(dialog, WM_HSCROLL, SB_LINERIGHT, reinterpret_cast<LPARAM>(Item(dialog, kIdSubnetBar)));
        }),
        expect(kIdSubnetBar, kIdSubnetValue, 15, "F"),
        // Dragging the thumb does not change the display until it is let go.
        Do([](HWND dialog) {
          SendMessageW(dialog, WM_HSCROLL, MAKEWPARAM(SB_THUMBTRACK, 4),
                       reinterpret_cast<LPARAM>(Item(dialog, kIdSubnetBar)));
        }),
        expect(kIdSubnetBar, kIdSubnetValue, 15, "F"), Do([](HWND dialog) {
          SendMessageW(dialog, WM_HSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 4),
                       reinterpret_cast<LPARAM>(Item(dialog, kIdSubnetBar)));
        }),
        Key(VK_HOME),  // the focus is on the input bar
        expect(kIdInputUniverseBar, kIdInputUniverseValue, 0, "0"),
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
  Show({Click(kIdScan), WaitForScanStart(), Do([](HWND dialog) {
          EXPECT_EQ(Entries(dialog), std::vector<std::string>{"Scanning..."});
          EXPECT_EQ(CurrentEntry(dialog), 0);
        }),
        WaitForScanEnd(), Do([](HWND dialog) {
          EXPECT_EQ(Entries(dialog), (std::vector<std::string>{"Stage Left (IP: 2.0.0.17; Subnet A; 4 ports)",
                                                               "Dimmer (IP: 2.0.0.18; Subnet 2; 1 ports)"}));
          EXPECT_EQ(CurrentEntry(dialog), CB_ERR);
        }),
        // The first entry, picked with the keyboard on the closed list.
        FocusOn(kIdNodeList), Key(VK_DOWN), Do([](HWND dialog) {
          EXPECT_EQ(CurrentEntry(dialog), 0);
          EXPECT_EQ(Text(Item(dialog, kIdPort0)), "Port 1 (Out)");
          EXPECT_EQ(Text(Item(dialog, kIdPort0 + 1)), "Port 2 (In)");
          EXPECT_EQ(Text(Item(dialog, kIdPort0 + 2)), "Port 3 (Out)");
          EXPECT_EQ(Text(Item(dialog, kIdPort0 + 3)), "Port 4 (In)");
          for (int i = 0; i < 4; ++i) EXPECT_TRUE(Enabled(dialog, kIdPort0 + i));
          EXPECT_EQ(BarValue(dialog, kIdSubnetBar), 10);
          EXPECT_EQ(Text(Item(dialog, kIdSubnetValue)), "A");
        }),
        Click(kIdPort0 + 2), Do([](HWND dialog) {
          EXPECT_TRUE(Checked(dialog, kIdPort0 + 2));
          EXPECT_EQ(BarValue(dialog, kIdOutputUniverseBar), 5);
          EXPECT_EQ(Text(Item(dialog, kIdOutputUniverseValue)), "5");
        }),
        Click(kIdPort0 + 1), Do([](HWND dialog) {
          EXPECT_FALSE(Checked(dialog, kIdPort0 + 2));  // one group
          EXPECT_EQ(BarValue(dialog, kIdInputUniverseBar), 7);
          EXPECT_EQ(BarValue(dialog, kIdOutputUniverseBar), 5);
        }),
        // The second node, picked from the open list; no port stays selected
        // and only its one port can be chosen.
        FocusOn(kIdNodeList), Do([](HWND dialog) {
          SendMessageW(Item(dialog, kIdNodeList), CB_SHOWDROPDOWN, TRUE, 0);
          Press(VK_DOWN);
          Press(VK_RETURN);
        }),
        Do([](HWND dialog) {
          EXPECT_EQ(CurrentEntry(dialog), 1);
          EXPECT_EQ(Text(Item(dialog, kIdPort0)), "Port 1 (In)");
          EXPECT_TRUE(Enabled(dialog, kIdPort0));
          for (int i = 1; i < 4; ++i) EXPECT_FALSE(Enabled(dialog, kIdPort0 + i));
          for (int i = 0; i < 4; ++i) EXPECT_FALSE(Checked(dialog, kIdPort0 + i));
          EXPECT_EQ(BarValue(dialog, kIdSubnetBar), 2);
        }),
        Click(kIdPort0), Do([](HWND dialog) { EXPECT_EQ(BarValue(dialog, kIdInputUniverseBar), 9); }),
        Do([](HWND dialog) { SetWindowTextW(Item(dialog, kIdBroadcastEdit), L"2.0.0.255"); }), Click(kIdOk)});
  ASSERT_EQ(services.pollReplies, std::vector<std::string>{"2.0.0.255"});
  EXPECT_EQ(services.settings.BroadcastAddress, "2.0.0.255");
  EXPECT_EQ(services.settings.SubNet, 2);
  EXPECT_EQ(services.settings.SendUniverse, 5);
  EXPECT_EQ(services.settings.ReceiveUniverse, 9);
}

// Typing in the text box, then Escape: nothing applied, nothing sent.
TEST_F(Win32DialogTest, EscapeAndTheCloseBoxCancel) {
  Show({FocusOn(kIdBroadcastEdit), Do([](HWND dialog) {
          SendMessageW(Item(dialog, kIdBroadcastEdit), EM_SETSEL, 0, -1);
          for (wchar_t c : std::wstring(L"1.2.3.4")) PostMessageW(GetFocus(), WM_CHAR, c, 1);
        }),
        Do([](HWND dialog) { EXPECT_EQ(Text(Item(dialog, kIdBroadcastEdit)), "1.2.3.4"); }), Key(VK_RIGHT),
        Key(VK_ESCAPE)});
  EXPECT_EQ(services.settings.BroadcastAddress, "10.99.0.255");
  EXPECT_TRUE(services.pollReplies.empty());

  Show({Do([](HWND dialog) { SetWindowTextW(Item(dialog, kIdBroadcastEdit), L""); }),
        Do([](HWND dialog) { PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); })});
  EXPECT_EQ(services.settings.BroadcastAddress, "10.99.0.255");
  EXPECT_TRUE(services.pollReplies.empty());
}

// The scan pumps events without knowing of dialogs; the dialog's keys and
// its close box still work meanwhile, and the scan's end touches nothing.
TEST_F(Win32DialogTest, ClosingDuringAScanIsSafe) {
  services.replies = {IncomingReply({2, 0, 0, 17}, 0, 1, "Node", 1)};
  Show({Click(kIdScan), WaitForScanStart(), FocusOn(kIdSubnetBar), Key(VK_RIGHT),
        Do([](HWND dialog) { EXPECT_EQ(BarValue(dialog, kIdSubnetBar), 1); }), Key(VK_ESCAPE)});
  EXPECT_EQ(services.scans, 1);
  EXPECT_FALSE(scanning);  // the dialog's loop returned after the scan
  EXPECT_TRUE(services.pollReplies.empty());

  // Enter on Scan scans, again while a scan waits.
  Show({FocusOn(kIdScan), Key(VK_RETURN), WaitForScanStart(),
        Do([](HWND dialog) { EXPECT_EQ(GetFocus(), Item(dialog, kIdScan)); }), Key(VK_RETURN), WaitForScanEnd(),
        Click(kIdCancel)});
  EXPECT_EQ(services.scans, 3);

  Show({Click(kIdScan), WaitForScanStart(), Click(kIdOk)});
  EXPECT_EQ(services.pollReplies.size(), 1u);

  Show({Click(kIdScan), WaitForScanStart(), Do([](HWND dialog) { PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); })});
  EXPECT_EQ(services.pollReplies.size(), 1u);

  // Destroyed from outside while the scan waits.
  Show({Click(kIdScan), WaitForScanStart(), Do([](HWND dialog) { DestroyWindow(dialog); })});
  EXPECT_EQ(services.pollReplies.size(), 1u);
}

// Modal without an owner: the host's windows are disabled while it is open
// and enabled again once it has closed.
TEST_F(Win32DialogTest, DisablesTheHostsWindowsWhileOpen) {
  const HWND host = CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, nullptr,
                                    nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(host, nullptr);
  Show({Do([host](HWND) { EXPECT_FALSE(IsWindowEnabled(host)); }), Click(kIdOk)});
  EXPECT_TRUE(IsWindowEnabled(host));
  DestroyWindow(host);
}

// An error in a handler closes the dialog and reaches the caller; the host's
// windows are usable again.
TEST_F(Win32DialogTest, AnErrorInAHandlerClosesTheDialogAndReachesTheCaller) {
  const HWND host = CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, nullptr,
                                    nullptr, GetModuleHandleW(nullptr), nullptr);
  services.duringScan = [] { throw std::runtime_error("scan failed"); };
  DialogScript script({Click(kIdScan)});
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
          EXPECT_TRUE(SendMessageW(Item(dialog, kIdOk), BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(&ideal)));
          const auto controlFont =
              reinterpret_cast<HFONT>(SendMessageW(Item(dialog, kIdSubnetCaption), WM_GETFONT, 0, 0));
          ASSERT_NE(controlFont, nullptr);
          HDC dc = GetDC(dialog);
          SelectObject(dc, controlFont);
          for (int id : {kIdSubnetCaption, kIdBroadcastCaption, kIdOutputUniverseCaption, kIdNodeCaption,
                         kIdPortsCaption, kIdInputUniverseCaption}) {
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
        Click(kIdCancel)});
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
  Show({Click(kIdScan), WaitForScanEnd(), FocusOn(kIdNodeList), Key(VK_DOWN), Click(kIdPort0 + 1), FocusOn(kIdOk),
        Do([&](HWND dialog) {
          image = Render(dialog, width, height);
          for (std::size_t i = 0; i < okAndBar.size(); ++i) {
            GetWindowRect(Item(dialog, i == 0 ? kIdOk : kIdSubnetBar), &okAndBar[i]);
            MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&okAndBar[i]), 2);
          }
        }),
        Click(kIdCancel)});
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
