// The configuration dialog as a native Win32 window: the form's controls
// and their wiring to ConfigDialogBehaviour, which holds all of the
// dialog's rules. Controls are found by their dialog item ids.
#pragma once

#include <exception>
#include <string>
#include <vector>

#include "platform/win32/windows_support.h"
#include "ui/config_dialog.h"
#include "ui/config_form.h"

namespace artnet {

class ConfigDialogServices;

// The dialog manager's id of each of the form's controls: from 100 in the
// form's order, but OK and Cancel carry IDOK and IDCANCEL, so Enter and
// Escape reach them the standard way.
constexpr int DialogItemId(FormControl control) {
  if (control == FormControl::Ok) return IDOK;
  if (control == FormControl::Cancel) return IDCANCEL;
  return 100 + static_cast<int>(control);
}

class Win32ConfigDialog final : private ConfigDialogView {
 public:
  explicit Win32ConfigDialog(ConfigDialogServices& services);
  ~Win32ConfigDialog() override = default;
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
  void Create(const FormControlSpec& control, bool startsGroup);
  void ChooseFont();
  bool CaptionsFit(HFONT font) const;
  void SizeAndCentre();
  void DisableOtherWindows();
  void EnableOtherWindows();
  int Px(int twips) const;
  HWND Control(FormControl control) const { return GetDlgItem(window_.Get(), DialogItemId(control)); }
  HWND Bar(ConfigBar bar) const { return Control(config_form::ScrollBar(bar)); }

  template <typename Handler>
  void Guarded(Handler&& handler);

  int dpi_ = 96;
  win32::GdiFont ownedFont_;  // the fitted font; none when the stock one stands in
  HFONT font_ = nullptr;
  std::vector<HWND> disabledWindows_;  // the host's windows, re-enabled on close
  int handlerDepth_ = 0;               // > 0 while a handler (and any loop it pumps) runs
  bool destroying_ = false;
  int droppedWidth_ = 0;

  std::exception_ptr error_;
  ConfigDialogBehaviour behaviour_;
  // Last, so the first to go: a window still open when the dialog goes is
  // destroyed while the behaviour and the rest its WM_DESTROY uses remain.
  // None once the system has destroyed it (WM_NCDESTROY).
  win32::UniqueWindow window_;
};

}  // namespace artnet
