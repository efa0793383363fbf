// The configuration dialog as a native Win32 window: the controls, their
// layout and their wiring to ConfigDialogBehaviour, which holds all of the
// dialog's rules. Controls are found by their ids; the form's name of each
// is noted beside it.
#pragma once

#include <windows.h>

#include <array>
#include <exception>
#include <string>
#include <vector>

#include "ui/config_dialog.h"

namespace artnet {

class ConfigDialogServices;

// Control ids. OK and Cancel carry the dialog manager's IDOK and IDCANCEL,
// so Enter and Escape reach them the standard way.
enum ConfigControlId : int {
  kIdOk = IDOK,                  // cmdOk
  kIdCancel = IDCANCEL,          // cmdCancel
  kIdDeviceFrame = 100,          // Frame3
  kIdSubnetCaption,              // Label3
  kIdSubnetValue,                // lblSubNet
  kIdSubnetBar,                  // scrSubNet
  kIdBroadcastCaption,           // Label5
  kIdBroadcastEdit,              // txtBroadcast
  kIdOutputFrame,                // Frame2
  kIdOutputUniverseCaption,      // Label4
  kIdOutputUniverseValue,        // lblOutputUniverse
  kIdOutputUniverseBar,          // scrOutputUniverse
  kIdNodePickerFrame,            // Frame1
  kIdNodeCaption,                // Label1
  kIdNodeList,                   // cmbNodes
  kIdScan,                       // cmdScan
  kIdPortsCaption,               // Label2
  kIdPort0,                      // optPort(0); ports 1..3 follow
  kIdInputFrame = kIdPort0 + 4,  // Frame4
  kIdInputUniverseCaption,       // Label7
  kIdInputUniverseValue,         // lblInputUniverse
  kIdInputUniverseBar,           // scrInputUniverse
};

class Win32ConfigDialog final : private ConfigDialogView {
 public:
  static constexpr const wchar_t* kCaption = L"ArtNet configuration";
  static constexpr int kClientWidthTwips = 5535;
  static constexpr int kClientHeightTwips = 4335;

  explicit Win32ConfigDialog(ConfigDialogServices& services);
  ~Win32ConfigDialog() override;
  Win32ConfigDialog(const Win32ConfigDialog&) = delete;
  Win32ConfigDialog& operator=(const Win32ConfigDialog&) = delete;

  // Creates the window, runs it modally and returns once it has closed;
  // false when no window could be made. Rethrows the first exception a
  // handler raised (the dialog closed on it).
  bool Run();

 private:
  // ConfigDialogView
  void SetBarValue(ConfigBar bar, int value) override;
  int BarValue(ConfigBar bar) const override;
  void SetBarLabel(ConfigBar bar, const std::string& text) override;
  void SetBroadcastText(const std::string& text) override;
  std::string BroadcastText() const override;
  void ClearNodeEntries() override;
  void AddNodeEntry(const std::string& text) override;
  void SetCurrentNodeEntry(int index) override;
  int CurrentNodeEntry() const override;
  void SetPortCaption(int port, const std::string& caption) override;
  void SetPortChecked(int port, bool checked) override;
  void SetPortEnabled(int port, bool enabled) override;
  void CloseDialog() override;

  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  // Gives the dialog its keyboard (Tab, Enter, Escape) inside loops that
  // its handlers pump, which know nothing of dialogs.
  static LRESULT CALLBACK RouteKeys(int code, WPARAM wParam, LPARAM lParam);
  static BOOL CALLBACK CollectHostWindow(HWND window, LPARAM self);
  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void OnInit();
  void OnScroll(HWND bar, int request, int thumb);
  void OnCommand(int id, int notification);
  void OnDestroy();

  void CreateControls();
  HWND Create(const wchar_t* windowClass, const std::wstring& text, DWORD style, int id, HWND container, int left,
              int top, int width, int height);
  void ChooseFont();
  bool CaptionsFit(HFONT font) const;
  void SizeAndCentre();
  void DisableOtherWindows();
  void EnableOtherWindows();
  int Px(int twips) const;
  HWND Bar(ConfigBar bar) const;
  HWND BarLabel(ConfigBar bar) const;

  template <typename Handler>
  void Guarded(Handler&& handler);

  HWND window_ = nullptr;
  int dpi_ = 96;
  HFONT font_ = nullptr;
  bool ownsFont_ = false;
  std::vector<HWND> disabledWindows_;  // the host's windows, re-enabled on close
  int handlerDepth_ = 0;               // > 0 while a handler (and any loop it pumps) runs
  bool destroying_ = false;
  int droppedWidth_ = 0;

  // "Device" configuration: the plug-in's own subnet and broadcast address.
  HWND deviceFrame = nullptr;       // Frame3
  HWND subnetBar = nullptr;         // scrSubNet
  HWND subnetValueLabel = nullptr;  // lblSubNet
  HWND broadcastEdit = nullptr;     // txtBroadcast
  // Output node, with the output selection helper inside it.
  HWND outputFrame = nullptr;               // Frame2
  HWND outputUniverseBar = nullptr;         // scrOutputUniverse
  HWND outputUniverseValueLabel = nullptr;  // lblOutputUniverse
  HWND nodePickerFrame = nullptr;           // Frame1
  HWND nodeList = nullptr;                  // cmbNodes
  HWND scanButton = nullptr;                // cmdScan
  std::array<HWND, 4> portButtons{};        // optPort(0..3)
  // Input node.
  HWND inputFrame = nullptr;               // Frame4
  HWND inputUniverseBar = nullptr;         // scrInputUniverse
  HWND inputUniverseValueLabel = nullptr;  // lblInputUniverse
  HWND okButton = nullptr;                 // cmdOk
  HWND cancelButton = nullptr;             // cmdCancel

  std::exception_ptr error_;
  ConfigDialogBehaviour behaviour_;
};

}  // namespace artnet
