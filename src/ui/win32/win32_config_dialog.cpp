#include "ui/win32/win32_config_dialog.h"

#include <commctrl.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cwchar>
#include <utility>
#include <vector>

#include "platform/win32/windows_support.h"
#include "ui/config_dialog_services.h"

namespace artnet {
namespace {

constexpr int kTwipsPerInch = 1440;
constexpr int kPointsPerInch = 72;
constexpr int kClassicPointSize = 8;
constexpr const wchar_t* kClassicFace = L"MS Sans Serif";
// Rows the open node list shows before it scrolls.
constexpr int kListRows = 8;

constexpr DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME;
constexpr DWORD kDialogExStyle = WS_EX_TOOLWINDOW | WS_EX_DLGMODALFRAME;

std::wstring WindowText(HWND window) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

// A frame-only template: the controls are created in code, in pixels
// converted from twips, which dialog units cannot express exactly.
std::vector<WORD> DialogTemplate() {
  std::vector<WORD> words(sizeof(DLGTEMPLATE) / sizeof(WORD), 0);
  auto* head = reinterpret_cast<DLGTEMPLATE*>(words.data());
  head->style = kDialogStyle;
  head->dwExtendedStyle = kDialogExStyle;
  words.push_back(0);  // no menu
  words.push_back(0);  // the standard dialog class
  for (const char c : config_form::kCaption) words.push_back(static_cast<WORD>(static_cast<unsigned char>(c)));
  words.push_back(0);
  return words;
}

// The module's own manifest (resource 2) asks for Common Controls 6. A DLL
// does not get it from the host's process, so it is activated around the
// creation of the controls.
HANDLE CommonControlsContext() {
  static const HANDLE context = [] {
    const HMODULE module = win32::OwnModule();
    const std::wstring path = win32::ModulePath(module);
    ACTCTXW request{};
    request.cbSize = sizeof(request);
    request.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.hModule = module;
    request.lpSource = path.c_str();
    request.lpResourceName = MAKEINTRESOURCEW(2);
    return CreateActCtxW(&request);
  }();
  return context;
}

class ActivatedContext {
 public:
  ActivatedContext() {
    const HANDLE context = CommonControlsContext();
    if (context != INVALID_HANDLE_VALUE && !ActivateActCtx(context, &cookie_)) cookie_ = 0;
  }
  ~ActivatedContext() {
    if (cookie_ != 0) DeactivateActCtx(0, cookie_);
  }
  ActivatedContext(const ActivatedContext&) = delete;
  ActivatedContext& operator=(const ActivatedContext&) = delete;

 private:
  ULONG_PTR cookie_ = 0;
};

int CALLBACK FaceFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

bool FaceInstalled(const wchar_t* face) {
  const win32::WindowDC screen(nullptr);
  LOGFONTW probe{};
  probe.lfCharSet = DEFAULT_CHARSET;
  wcsncpy(probe.lfFaceName, face, LF_FACESIZE - 1);
  bool found = false;
  EnumFontFamiliesExW(screen.Get(), &probe, FaceFound, reinterpret_cast<LPARAM>(&found), 0);
  return found;
}

// How each kind of control is made, and the margin its text needs
// beside it.
struct WindowKind {
  const wchar_t* windowClass;
  DWORD style;
  int textMarginTwips;
};

WindowKind KindOf(ControlKind kind) {
  switch (kind) {
    case ControlKind::Frame:
      return {WC_BUTTONW, BS_GROUPBOX | WS_CLIPSIBLINGS, 240};
    case ControlKind::Label:
      return {WC_STATICW, SS_LEFT | SS_NOPREFIX, 0};
    case ControlKind::ValueLabel:
      return {WC_STATICW, SS_CENTER | SS_NOPREFIX, 0};
    case ControlKind::Bar:
      return {WC_SCROLLBARW, SBS_HORZ | WS_TABSTOP, 0};
    case ControlKind::Edit:
      return {WC_EDITW, ES_AUTOHSCROLL | WS_TABSTOP, 90};
    case ControlKind::List:
      return {WC_COMBOBOXW, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0};
    case ControlKind::PushButton:
      return {WC_BUTTONW, BS_PUSHBUTTON | WS_TABSTOP, 120};
    case ControlKind::Option:
      break;
  }
  return {WC_BUTTONW, BS_AUTORADIOBUTTON, 60};  // and the option's check mark
}

// Open dialogs of this thread, for the keyboard hook.
struct OpenDialogs {
  std::vector<Win32ConfigDialog*> dialogs;
  win32::WindowsHook hook;  // set while any is open
};
thread_local OpenDialogs openDialogs;

}  // namespace

Win32ConfigDialog::Win32ConfigDialog(ConfigDialogServices& services) : behaviour_(services, *this) {}

bool Win32ConfigDialog::Run() {
  INITCOMMONCONTROLSEX classes{sizeof(classes), ICC_STANDARD_CLASSES};
  {
    const ActivatedContext context;
    InitCommonControlsEx(&classes);
  }
  const std::vector<WORD> layout = DialogTemplate();
  if (openDialogs.dialogs.empty()) {
    openDialogs.hook.Reset(SetWindowsHookExW(WH_GETMESSAGE, RouteKeys, nullptr, GetCurrentThreadId()));
  }
  openDialogs.dialogs.push_back(this);
  // No owner: the host's windows are disabled by hand instead, as a modal
  // form of the host's own would do.
  const INT_PTR ended = DialogBoxIndirectParamW(win32::OwnModule(), reinterpret_cast<const DLGTEMPLATE*>(layout.data()),
                                                nullptr, DialogProc, reinterpret_cast<LPARAM>(this));
  std::erase(openDialogs.dialogs, this);
  if (openDialogs.dialogs.empty()) openDialogs.hook.Reset();
  EnableOtherWindows();
  if (error_) std::rethrow_exception(error_);
  return ended != -1;
}

LRESULT CALLBACK Win32ConfigDialog::RouteKeys(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION && wParam == PM_REMOVE) {
    auto* message = reinterpret_cast<MSG*>(lParam);
    if (message->message >= WM_KEYFIRST && message->message <= WM_KEYLAST && message->hwnd != nullptr) {
      const HWND root = GetAncestor(message->hwnd, GA_ROOT);
      for (Win32ConfigDialog* dialog : openDialogs.dialogs) {
        // Only inside a handler's own loop; the dialog's loop does this itself.
        if (dialog->window_.Get() != root || dialog->handlerDepth_ == 0) continue;
        if (IsDialogMessageW(root, message)) message->message = WM_NULL;
        break;
      }
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

INT_PTR CALLBACK Win32ConfigDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(window, DWLP_USER, lParam);
    reinterpret_cast<Win32ConfigDialog*>(lParam)->window_.Reset(window);
  }
  auto* self = reinterpret_cast<Win32ConfigDialog*>(GetWindowLongPtrW(window, DWLP_USER));
  if (self == nullptr || self->window_.Get() != window) return FALSE;
  return self->HandleMessage(message, wParam, lParam);
}

INT_PTR Win32ConfigDialog::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      Guarded([&] { OnInit(); });
      return FALSE;  // the focus is set
    case WM_HSCROLL:
      if (lParam != 0) Guarded([&] { OnScroll(reinterpret_cast<HWND>(lParam), LOWORD(wParam), HIWORD(wParam)); });
      return TRUE;
    case WM_COMMAND:
      Guarded([&] { OnCommand(LOWORD(wParam), HIWORD(wParam)); });
      return TRUE;
    case WM_CLOSE:  // the close box
      Guarded([&] { behaviour_.OnCancelClicked(); });
      return TRUE;
    case WM_DESTROY:
      OnDestroy();
      return TRUE;
    case WM_NCDESTROY:
      window_.Release();  // the system is destroying it
      return FALSE;
    default:
      return FALSE;
  }
}

template <typename Handler>
void Win32ConfigDialog::Guarded(Handler&& handler) {
  // Nothing may leave a window procedure: on i686 an exception that reaches
  // the system's frames ends the process. The first one closes the dialog
  // and is rethrown once the dialog's loop has returned.
  ++handlerDepth_;
  try {
    handler();
  } catch (...) {
    if (!error_) error_ = std::current_exception();
    EnableOtherWindows();
    if (window_ && !destroying_) EndDialog(window_.Get(), 0);
  }
  --handlerDepth_;
}

void Win32ConfigDialog::OnInit() {
  dpi_ = GetDeviceCaps(win32::WindowDC(nullptr).Get(), LOGPIXELSY);
  if (dpi_ <= 0) dpi_ = 96;

  {
    const ActivatedContext context;
    CreateControls();
  }
  ChooseFont();
  SizeAndCentre();
  SendMessageW(window_.Get(), DM_SETDEFID, IDOK, 0);
  DisableOtherWindows();
  SetFocus(Control(config_form::FocusOrder().front()));
  behaviour_.OnLoad();
}

void Win32ConfigDialog::Create(const FormControlSpec& control, bool startsGroup) {
  const WindowKind kind = KindOf(control.kind);
  DWORD style = kind.style | WS_CHILD | WS_VISIBLE | (startsGroup ? WS_GROUP : 0);
  if (control.id == FormControl::Ok) style |= BS_DEFPUSHBUTTON;
  // One exclusive group of options; Tab reaches it once, the arrows move inside.
  if (control.kind == ControlKind::Option && startsGroup) style |= WS_TABSTOP;
  // Every control is the dialog's child, as the dialog manager expects;
  // positions inside a frame are offset by the frame's own.
  int x = Px(control.place.left);
  int y = Px(control.place.top);
  if (control.container != FormControl::Dialog) {
    RECT frame{};
    GetWindowRect(Control(control.container), &frame);
    MapWindowPoints(HWND_DESKTOP, window_.Get(), reinterpret_cast<POINT*>(&frame), 2);
    x += frame.left;
    y += frame.top;
  }
  const DWORD exStyle = control.kind == ControlKind::Edit ? WS_EX_CLIENTEDGE : 0;
  CreateWindowExW(exStyle, kind.windowClass, win32::Wide(control.caption).c_str(), style, x, y, Px(control.place.width),
                  Px(control.place.height), window_.Get(),
                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(DialogItemId(control.id))), win32::OwnModule(), nullptr);
}

void Win32ConfigDialog::CreateControls() {
  // Tab order is the z-order, which is creation order: the frames first,
  // for the positions inside them, then the focusable controls in the
  // form's tab order, then the labels. Each focusable control starts a
  // group of its own but for Cancel, which joins OK, and the port options
  // after the first; the first label ends the last group.
  const auto controls = config_form::Controls();
  for (const FormControlSpec& control : controls) {
    if (control.kind == ControlKind::Frame) Create(control, false);
  }
  for (const FormControl id : config_form::FocusOrder()) {
    Create(config_form::Spec(id), id != FormControl::Cancel && (id <= FormControl::Port0 || id > FormControl::Port3));
  }
  bool firstLabel = true;
  for (const FormControlSpec& control : controls) {
    if (control.kind == ControlKind::Label || control.kind == ControlKind::ValueLabel) {
      Create(control, std::exchange(firstLabel, false));
    }
  }
  // The frames end lowest in the z-order, so they never paint over what
  // they hold.
  for (const FormControlSpec& control : controls) {
    if (control.kind != ControlKind::Frame) continue;
    SetWindowPos(Control(control.id), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  }
  // 0: as long as an edit control allows.
  SendMessageW(Control(FormControl::BroadcastEdit), EM_SETLIMITTEXT, 0, 0);

  SCROLLINFO range{};
  range.cbSize = sizeof(range);
  range.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  range.nMin = ConfigDialogBehaviour::kBarMin;
  range.nMax = ConfigDialogBehaviour::kBarMax;
  for (ConfigBar bar : {ConfigBar::SubNet, ConfigBar::OutputUniverse, ConfigBar::InputUniverse}) {
    SetScrollInfo(Bar(bar), SB_CTL, &range, FALSE);
  }
}

bool Win32ConfigDialog::CaptionsFit(HFONT font) const {
  const win32::WindowDC windowDC(window_.Get());
  const HDC dc = windowDC.Get();
  const win32::SelectedObject selected(dc, font);
  auto fits = [&](int id, const std::wstring& text, int extraWidth) {
    RECT box{};
    GetWindowRect(GetDlgItem(window_.Get(), id), &box);
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    return size.cx + extraWidth <= box.right - box.left && size.cy <= box.bottom - box.top;
  };
  bool all = true;
  for (const FormControlSpec& control : config_form::Controls()) {
    const std::wstring text = win32::Wide(config_form::WidestText(control.id));
    if (text.empty()) continue;
    const bool option = control.kind == ControlKind::Option;
    const int extraWidth = Px(KindOf(control.kind).textMarginTwips) + (option ? GetSystemMetrics(SM_CXMENUCHECK) : 0);
    all = all && fits(DialogItemId(control.id), text, extraWidth);
  }
  return all;
}

void Win32ConfigDialog::ChooseFont() {
  LOGFONTW face{};
  if (FaceInstalled(kClassicFace)) {
    face.lfHeight = -MulDiv(kClassicPointSize, dpi_, kPointsPerInch);
    face.lfWeight = FW_NORMAL;
    face.lfCharSet = DEFAULT_CHARSET;
    wcsncpy(face.lfFaceName, kClassicFace, LF_FACESIZE - 1);
  } else {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    face = metrics.lfMessageFont;
  }
  // The layout was made for the classic face; another one is made smaller
  // until every fixed caption fits its box.
  const int smallest = MulDiv(6, dpi_, kPointsPerInch);
  win32::GdiFont font(CreateFontIndirectW(&face));
  while (font && !CaptionsFit(font.Get()) && std::abs(face.lfHeight) > smallest) {
    face.lfHeight += face.lfHeight < 0 ? 1 : -1;
    font.Reset(CreateFontIndirectW(&face));
  }
  ownedFont_ = std::move(font);
  font_ = ownedFont_ ? ownedFont_.Get() : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  for (HWND child = GetWindow(window_.Get(), GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
  }

  // The closed node list is as tall as its box; its height follows the
  // font, so it is set through the selection field's height.
  // Set and measured, not read back: systems differ in what the field's
  // height includes.
  const HWND nodeList = Control(FormControl::NodeList);
  const int wanted = Px(config_form::Spec(FormControl::NodeList).place.height);
  int field = static_cast<int>(SendMessageW(nodeList, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0));
  for (int attempt = 0; attempt < 4; ++attempt) {
    RECT box{};
    GetWindowRect(nodeList, &box);
    const int difference = wanted - (box.bottom - box.top);
    if (difference == 0 || field + difference <= 0) break;
    field += difference;
    SendMessageW(nodeList, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), field);
  }
  const int row = static_cast<int>(SendMessageW(nodeList, CB_GETITEMHEIGHT, 0, 0));
  RECT box{};
  GetWindowRect(nodeList, &box);
  MapWindowPoints(HWND_DESKTOP, window_.Get(), reinterpret_cast<POINT*>(&box), 2);
  // The window's height sets how far the list drops open.
  SetWindowPos(nodeList, nullptr, 0, 0, box.right - box.left, wanted + kListRows * row + 2,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32ConfigDialog::SizeAndCentre() {
  RECT frame{0, 0, Px(config_form::kClientWidthTwips), Px(config_form::kClientHeightTwips)};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(window_.Get(), GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrW(window_.Get(), GWL_EXSTYLE)));
  const int width = frame.right - frame.left;
  const int height = frame.bottom - frame.top;
  const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  SetWindowPos(window_.Get(), nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL CALLBACK Win32ConfigDialog::CollectHostWindow(HWND window, LPARAM self) {
  auto* dialog = reinterpret_cast<Win32ConfigDialog*>(self);
  if (window != dialog->window_.Get() && IsWindowVisible(window) && IsWindowEnabled(window)) {
    dialog->disabledWindows_.push_back(window);
  }
  return TRUE;
}

void Win32ConfigDialog::DisableOtherWindows() {
  EnumThreadWindows(GetCurrentThreadId(), CollectHostWindow, reinterpret_cast<LPARAM>(this));
  for (HWND window : disabledWindows_) EnableWindow(window, FALSE);
}

void Win32ConfigDialog::EnableOtherWindows() {
  // Before the dialog hides, so that the host's window can take the
  // activation back.
  for (HWND window : disabledWindows_) {
    if (IsWindow(window)) EnableWindow(window, TRUE);
  }
  disabledWindows_.clear();
}

void Win32ConfigDialog::OnScroll(HWND bar, int request, int thumb) {
  const std::array bars{ConfigBar::SubNet, ConfigBar::OutputUniverse, ConfigBar::InputUniverse};
  const auto found = std::find_if(bars.begin(), bars.end(), [&](ConfigBar which) { return Bar(which) == bar; });
  if (found == bars.end()) return;
  const ConfigBar which = *found;
  SCROLLINFO info{};
  info.cbSize = sizeof(info);
  info.fMask = SIF_POS;
  GetScrollInfo(bar, SB_CTL, &info);
  int value = info.nPos;
  // Small and large change are both 1.
  switch (request) {
    case SB_LINELEFT:
    case SB_PAGELEFT:
      --value;
      break;
    case SB_LINERIGHT:
    case SB_PAGERIGHT:
      ++value;
      break;
    case SB_LEFT:
      value = ConfigDialogBehaviour::kBarMin;
      break;
    case SB_RIGHT:
      value = ConfigDialogBehaviour::kBarMax;
      break;
    case SB_THUMBPOSITION:
      value = thumb;
      break;
    default:  // the thumb being dragged: the display follows the settled value
      return;
  }
  value = std::clamp(value, ConfigDialogBehaviour::kBarMin, ConfigDialogBehaviour::kBarMax);
  if (value == info.nPos) return;
  SetScrollPos(bar, SB_CTL, value, TRUE);
  behaviour_.OnBarChanged(which);
}

void Win32ConfigDialog::OnCommand(int id, int notification) {
  const int port = id - DialogItemId(FormControl::Port0);
  if (port >= 0 && port < ConfigDialogBehaviour::kPortCount) {
    if (notification == BN_CLICKED &&
        SendMessageW(Control(config_form::PortOption(port)), BM_GETCHECK, 0, 0) == BST_CHECKED) {
      behaviour_.OnPortPicked(port);
    }
    return;
  }
  switch (id) {
    case IDOK:
      if (notification == BN_CLICKED) behaviour_.OnOkClicked();
      break;
    case IDCANCEL:
      if (notification == BN_CLICKED) behaviour_.OnCancelClicked();
      break;
    case DialogItemId(FormControl::Scan):
      if (notification == BN_CLICKED) behaviour_.OnScanClicked();
      break;
    case DialogItemId(FormControl::NodeList):
      // A pick: an entry chosen in the open list, or an arrow key on the
      // closed one. Moving through the open list is not a pick yet.
      if (notification == CBN_SELENDOK ||
          (notification == CBN_SELCHANGE && !SendMessageW(Control(FormControl::NodeList), CB_GETDROPPEDSTATE, 0, 0))) {
        behaviour_.OnNodePicked();
      }
      break;
    default:
      break;
  }
}

void Win32ConfigDialog::OnDestroy() {
  // Destroyed from outside while open (a scan may be pumping): as Cancel, so
  // that nothing touches the dialog afterwards.
  destroying_ = true;
  if (!behaviour_.Closed()) Guarded([&] { behaviour_.OnCancelClicked(); });
  EnableOtherWindows();
}

int Win32ConfigDialog::Px(int twips) const { return MulDiv(twips, dpi_, kTwipsPerInch); }

// The view's operations do nothing once the window is gone: a handler that
// pumped events may come back to a destroyed dialog.

void Win32ConfigDialog::SetBarValue(ConfigBar bar, int value) {
  if (window_) SetScrollPos(Bar(bar), SB_CTL, value, TRUE);
}

int Win32ConfigDialog::BarValue(ConfigBar bar) const { return window_ ? GetScrollPos(Bar(bar), SB_CTL) : 0; }

void Win32ConfigDialog::SetBarLabel(ConfigBar bar, const std::string& text) {
  if (window_) SetWindowTextW(Control(config_form::ValueDisplay(bar)), win32::Wide(text).c_str());
}

void Win32ConfigDialog::SetBroadcastText(const std::string& text) {
  if (window_) SetWindowTextW(Control(FormControl::BroadcastEdit), win32::Wide(text).c_str());
}

std::string Win32ConfigDialog::BroadcastText() const {
  return window_ ? win32::Narrow(WindowText(Control(FormControl::BroadcastEdit))) : std::string();
}

void Win32ConfigDialog::ClearNodeEntries() {
  if (!window_) return;
  const HWND nodeList = Control(FormControl::NodeList);
  SendMessageW(nodeList, CB_RESETCONTENT, 0, 0);
  droppedWidth_ = 0;
  SendMessageW(nodeList, CB_SETDROPPEDWIDTH, 0, 0);
}

void Win32ConfigDialog::AddNodeEntry(const std::string& text) {
  if (!window_) return;
  // Node names are 8-bit text in the system's code page, as the host reads them.
  const std::wstring entry = win32::Wide(text, CP_ACP);
  const HWND nodeList = Control(FormControl::NodeList);
  SendMessageW(nodeList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.c_str()));
  // The closed list is narrow; the open one widens to show whole entries.
  SIZE size{};
  {
    const win32::WindowDC dc(nodeList);
    const win32::SelectedObject selected(dc.Get(), font_);
    GetTextExtentPoint32W(dc.Get(), entry.c_str(), static_cast<int>(entry.size()), &size);
  }
  const int wanted = size.cx + Px(120) + GetSystemMetrics(SM_CXVSCROLL);
  if (wanted > droppedWidth_) {
    droppedWidth_ = wanted;
    SendMessageW(nodeList, CB_SETDROPPEDWIDTH, static_cast<WPARAM>(wanted), 0);
  }
}

void Win32ConfigDialog::SetCurrentNodeEntry(int index) {
  if (window_) SendMessageW(Control(FormControl::NodeList), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int Win32ConfigDialog::CurrentNodeEntry() const {
  if (!window_) return -1;
  const auto index = static_cast<int>(SendMessageW(Control(FormControl::NodeList), CB_GETCURSEL, 0, 0));
  return index == CB_ERR ? -1 : index;
}

void Win32ConfigDialog::SetPortCaption(int port, const std::string& caption) {
  if (window_) SetWindowTextW(Control(config_form::PortOption(port)), win32::Wide(caption).c_str());
}

void Win32ConfigDialog::SetPortChecked(int port, bool checked) {
  if (!window_) return;
  auto option = [this](int i) { return Control(config_form::PortOption(i)); };
  SendMessageW(option(port), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  // A radio button keeps the group's tab stop only while checked; with none
  // checked, the first one holds it again so that Tab still reaches them.
  bool anyChecked = false;
  for (int i = 0; i < ConfigDialogBehaviour::kPortCount; ++i) {
    anyChecked = anyChecked || SendMessageW(option(i), BM_GETCHECK, 0, 0) != 0;
  }
  if (!anyChecked) {
    const HWND first = option(0);
    SetWindowLongPtrW(first, GWL_STYLE, GetWindowLongPtrW(first, GWL_STYLE) | WS_TABSTOP);
  }
}

void Win32ConfigDialog::SetPortEnabled(int port, bool enabled) {
  if (window_) EnableWindow(Control(config_form::PortOption(port)), enabled ? TRUE : FALSE);
}

void Win32ConfigDialog::CloseDialog() {
  EnableOtherWindows();
  if (window_ && !destroying_) EndDialog(window_.Get(), 0);
}

}  // namespace artnet
