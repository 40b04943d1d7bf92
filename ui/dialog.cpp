#include "ui/dialog.h"

#include <commctrl.h>

#include <algorithm>
#include <exception>

#include "base/errors.h"
#include "ui/theme.h"

namespace qlx::ui {

namespace {

constexpr DWORD kStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
// A taskbar button of its own while visible; Tab walks into the panel.
constexpr DWORD kExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT | WS_EX_APPWINDOW;
constexpr UINT_PTR kCompletionId = 1;
// How many drive entries the open list shows before it scrolls.
constexpr int kVisibleEntries = 12;

// The button panel hands its buttons' notifications to the dialog.
LRESULT CALLBACK PanelProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_DRAWITEM:
      return SendMessageW(GetParent(window), message, wparam, lparam);
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

void RegisterPanelClass(HINSTANCE instance) {
  RegisterWindowClass(instance, kPanelClass, &PanelProcedure, GetSysColorBrush(COLOR_BTNFACE),
                      LoadCursorW(nullptr, IDC_ARROW), "Failed to register a window class");
}

struct ControlClass {
  const wchar_t* name;
  DWORD style;
  DWORD ex_style;
};

ControlClass ClassFor(ControlKind kind) {
  switch (kind) {
    case ControlKind::Panel:
      return {kPanelClass, WS_CLIPSIBLINGS, WS_EX_CONTROLPARENT};
    case ControlKind::Button:
      return {WC_BUTTONW, BS_PUSHBUTTON, 0};
    case ControlKind::Label:
      return {WC_STATICW, SS_LEFT | SS_NOPREFIX, 0};
    case ControlKind::Text:
      return {WC_EDITW, ES_AUTOHSCROLL, WS_EX_CLIENTEDGE};
    case ControlKind::Password:
      return {WC_EDITW, ES_AUTOHSCROLL | ES_PASSWORD, WS_EX_CLIENTEDGE};
    case ControlKind::Combo:
      return {WC_COMBOBOXW, CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL, 0};
    case ControlKind::CheckBox:
      // Caption on the left, the box at the right edge of the control.
      return {WC_BUTTONW, BS_AUTOCHECKBOX | BS_LEFTTEXT, 0};
  }
  return {L"", 0, 0};
}

void SetText(HWND control, const std::u16string& text) {
  if (!SetWindowTextW(control, platform::W(text))) throw Error("Failed to set a field of the dialog");
}

// The width of a part's caption in the font selected into DC; 0 when unknown.
int CaptionWidth(HDC dc, const ControlLayout& c) {
  if (dc == nullptr || c.text.empty()) return 0;
  const std::u16string text(c.text);
  SIZE extent{};
  return GetTextExtentPoint32W(dc, platform::W(text), static_cast<int>(text.size()), &extent) ? extent.cx : 0;
}

}  // namespace

// Completes the drive field while the user types into it. Only typed
// characters complete: deleting the completed colon must stay possible.
LRESULT CALLBACK SettingsDialog::CompleteDrive(HWND edit, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR id,
                                               DWORD_PTR reference) {
  auto* self = reinterpret_cast<SettingsDialog*>(reference);
  const platform::DialogFunctions& f = *self->functions_;
  if (message == WM_NCDESTROY) {
    f.RemoveWindowSubclass(edit, &CompleteDrive, id);
    return f.DefSubclassProc(edit, message, wparam, lparam);
  }
  if (message != WM_CHAR || wparam < 0x20 || wparam == 0x7F) return f.DefSubclassProc(edit, message, wparam, lparam);
  const LRESULT result = f.DefSubclassProc(edit, message, wparam, lparam);
  try {
    DWORD start = 0;
    DWORD end = 0;
    SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
    const std::u16string text = WindowText(edit);
    if (start != end || end != text.size()) return result;
    if (const auto completed = Complete(text, DriveEntries())) {
      SetWindowTextW(edit, platform::W(completed->text));
      SendMessageW(edit, EM_SETSEL, completed->selection_start, completed->selection_end);
    }
  } catch (...) {
    self->Errors().ShowError(std::current_exception());
  }
  return result;
}

SettingsDialog::SettingsDialog(DialogCommands& commands, ErrorBox& errors, HINSTANCE instance, const Theme* theme,
                               platform::DialogLibrariesLoader libraries)
    : Window(errors), commands_(commands), theme_(theme), instance_(instance), libraries_(libraries) {
  // A window of the program's own class: it loads no library. It must exist
  // from the start, as a close request sent to it ends the program.
  Create(instance, kDialogClass, GetSysColorBrush(COLOR_BTNFACE), LoadCursorW(nullptr, IDC_ARROW), kExStyle,
         kDialogTitle, kStyle, kClientWidth, kClientHeight, "Failed to create the dialog window");
}

void SettingsDialog::BuildContents() {
  if (built_) return;
  const platform::DialogFunctions& f = libraries_();
  // The standard controls in the look of the Common Controls the manifest asks for.
  INITCOMMONCONTROLSEX classes{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  f.InitCommonControlsEx(&classes);
  functions_ = &f;
  try {
    RegisterPanelClass(instance_);
    CreateControls(f);
    built_ = true;
    LayOut(WindowDpi(Handle()));
    focus_ = Control(DialogPart::SaveButton);
    if (theme_ != nullptr) theme_->Apply(Handle());
    Fill(pending_);
    pending_ = settings::ConnectionSettings{};
  } catch (...) {
    // Half-built contents go, so that the next opening starts over.
    DestroyControls();
    throw;
  }
}

void SettingsDialog::DestroyControls() {
  built_ = false;
  // The panel's buttons go with the panel.
  for (const auto& c : DialogLayout()) {
    HWND& h = controls_[static_cast<std::size_t>(c.part)];
    if (h != nullptr && !c.in_panel) DestroyWindow(h);
  }
  controls_ = {};
  focus_ = nullptr;
}

void SettingsDialog::CreateControls(const platform::DialogFunctions& functions) {
  for (const auto& c : DialogLayout()) {
    HWND parent = c.in_panel ? Control(DialogPart::ButtonPanel) : Handle();
    const ControlClass kind = ClassFor(c.kind);
    const DWORD style = WS_CHILD | WS_VISIBLE | (c.tab_stop ? WS_TABSTOP : 0) | kind.style;
    const std::u16string text(c.text);
    HWND h = CreateWindowExW(kind.ex_style, kind.name, platform::W(text), style, 0, 0, 0, 0, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlId(c.part))), instance_, nullptr);
    if (h == nullptr) throw Error("Failed to create a control of the dialog");
    controls_[static_cast<std::size_t>(c.part)] = h;
  }
  SendMessageW(Control(DialogPart::PasswordField), EM_SETPASSWORDCHAR, u'*', 0);
  // No length limit: the system's default would stop typing at 30000 or so.
  SendMessageW(Control(DialogPart::UserField), EM_SETLIMITTEXT, 0, 0);
  SendMessageW(Control(DialogPart::PasswordField), EM_SETLIMITTEXT, 0, 0);
  SendMessageW(Control(DialogPart::DriveField), CB_LIMITTEXT, 0, 0);
  HWND combo = Control(DialogPart::DriveField);
  for (const auto& entry : DriveEntries()) {
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(platform::W(entry)));
  }
  COMBOBOXINFO info{};
  info.cbSize = sizeof info;
  if (GetComboBoxInfo(combo, &info) && info.hwndItem != nullptr) {
    functions.SetWindowSubclass(info.hwndItem, &CompleteDrive, kCompletionId, reinterpret_cast<DWORD_PTR>(this));
  }
}

void SettingsDialog::LayOut(UINT dpi) {
  dpi_ = dpi;
  // Laid out when the contents are built, at the DPI of that moment.
  if (!built_) return;
  const int d = static_cast<int>(dpi);
  platform::unique_hfont font(CreateFontW(-Scale(kFontHeight, d), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                                          DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                          DEFAULT_PITCH | FF_DONTCARE, L"Tahoma"));
  PlaceControls(d, font.get());
  FitComboHeight(d);
  FitClientArea(Scale(kClientWidth, d), Scale(kClientHeight, d));
  // The controls use the new font from here on; the old one may go.
  if (font) font_ = std::move(font);
  if (theme_ != nullptr) theme_->DpiChanged(Handle(), dpi);
  InvalidateRect(Handle(), nullptr, TRUE);
}

void SettingsDialog::PlaceControls(int dpi, HFONT font) {
  const int width = Scale(kClientWidth, dpi);
  const int height = Scale(kClientHeight, dpi);
  // The captions are measured in the font they will be drawn in.
  const platform::unique_hdc_window dc = platform::unique_hdc_window::Client(Handle());
  const platform::unique_select_object with_font(dc.get(), font != nullptr ? font : GetStockObject(DEFAULT_GUI_FONT));
  // The check boxes are one column, their captions aligned on the left as
  // their squares are on the right: the widest caption sizes both.
  int check_boxes = 0;
  for (const auto& c : DialogLayout()) {
    if (c.kind == ControlKind::CheckBox) check_boxes = std::max(check_boxes, CaptionWidth(dc.get(), c));
  }
  for (const auto& c : DialogLayout()) {
    HWND h = Control(c.part);
    const int caption = c.kind == ControlKind::CheckBox ? check_boxes : CaptionWidth(dc.get(), c);
    const Rect r = c.kind == ControlKind::Panel ? PanelPosition(width, height, dpi) : FitCaption(c.part, caption, dpi);
    if (font != nullptr) SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    int window_height = r.height;
    if (c.kind == ControlKind::Combo) {
      // The combo's own height covers its open list.
      const int entry = static_cast<int>(SendMessageW(h, CB_GETITEMHEIGHT, 0, 0));
      window_height = r.height + kVisibleEntries * (entry > 0 ? entry : r.height) + 2;
    }
    SetWindowPos(h, nullptr, r.left, r.top, r.width, window_height, SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

void SettingsDialog::FitComboHeight(int dpi) {
  // The combo's closed height follows from its font and frame; it is brought
  // to the laid-out height through the selection field's height, measured
  // again each time, as the frame is not the same on every system.
  HWND combo = Control(DialogPart::DriveField);
  const int wanted = Scale(LayoutOf(DialogPart::DriveField).position.height, dpi);
  // The value set is tracked here: what the system reads back for it is not
  // always the same number.
  int field = static_cast<int>(SendMessageW(combo, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0));
  for (int attempt = 0; attempt < 3 && field > 0; ++attempt) {
    RECT current{};
    GetWindowRect(combo, &current);
    const int difference = wanted - (current.bottom - current.top);
    if (difference == 0 || field + difference <= 0) break;
    field += difference;
    SendMessageW(combo, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), field);
  }
}

void SettingsDialog::FitClientArea(int width, int height) {
  // The frame's size is measured, not computed for the DPI: a window whose
  // frame the system does not scale keeps the frame it has.
  for (int attempt = 0; attempt < 2; ++attempt) {
    RECT window{};
    RECT client{};
    GetWindowRect(Handle(), &window);
    GetClientRect(Handle(), &client);
    if (client.right == width && client.bottom == height) break;
    const int frame_x = (window.right - window.left) - client.right;
    const int frame_y = (window.bottom - window.top) - client.bottom;
    SetWindowPos(Handle(), nullptr, 0, 0, width + frame_x, height + frame_y,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
}

bool SettingsDialog::Checked(DialogPart part) const {
  return SendMessageW(Control(part), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void SettingsDialog::Check(DialogPart part, bool on) {
  SendMessageW(Control(part), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

settings::ConnectionSettings SettingsDialog::Read() const {
  if (!built_) return pending_;
  settings::ConnectionSettings values;
  values.user = WindowText(Control(DialogPart::UserField));
  values.password = WindowText(Control(DialogPart::PasswordField));
  values.drive = WindowText(Control(DialogPart::DriveField));
  values.auto_connect = Checked(DialogPart::AutoConnectBox);
  values.auto_run = Checked(DialogPart::AutoRunBox);
  return values;
}

void SettingsDialog::Fill(const settings::ConnectionSettings& values) {
  if (!built_) {
    pending_ = values;
    return;
  }
  SetText(Control(DialogPart::UserField), values.user);
  SetText(Control(DialogPart::PasswordField), values.password.str());
  SetText(Control(DialogPart::DriveField), values.drive);
  Check(DialogPart::AutoConnectBox, values.auto_connect);
  Check(DialogPart::AutoRunBox, values.auto_run);
}

void SettingsDialog::CentreOnFirstShow() {
  if (placed_) return;
  RECT r{};
  GetWindowRect(Handle(), &r);
  const Rect desktop{GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                     GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN)};
  const Point p = CentreOnDesktop(desktop, r.right - r.left, r.bottom - r.top);
  SetWindowPos(Handle(), nullptr, p.x, p.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  placed_ = true;
}

int SettingsDialog::ShowModal() {
  if (modal_ || IsWindowVisible(Handle())) throw Error(kAlreadyOpenText);
  // Built before the loop: a failure (the libraries cannot be loaded)
  // reaches the error box where the request was dispatched, and the
  // program goes on without a dialog.
  BuildContents();
  modal_ = true;
  closed_ = false;
  struct Leave {
    SettingsDialog& dialog;
    ~Leave() {
      dialog.HideAfterModal();
      dialog.modal_ = false;
    }
  } leave{*this};
  Open();
  MSG msg{};
  while (!closed_) {
    const BOOL r = GetMessageW(&msg, nullptr, 0, 0);
    if (r == 0) {
      // The program is ending: leave this loop with the cancel result and
      // let the outer loop see the quit message too.
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (r == -1) break;
    Dispatch(msg);
  }
  return IDCANCEL;
}

void SettingsDialog::Close() {
  if (modal_) {
    closed_ = true;
    // A close request sent from another thread or process is handled
    // inside GetMessageW, which then waits on: a posted message wakes the
    // modal loop so that it sees the request now.
    PostMessageW(Handle(), WM_NULL, 0, 0);
    return;
  }
  // The dialog is the program's main window. The installer relies on this:
  // it finds the window of class "TfmDrive" and posts WM_CLOSE to end the
  // program before it replaces or removes the program's file.
  PostQuitMessage(0);
}

void SettingsDialog::Dispatch(MSG& msg) {
  if (IsWindowVisible(Handle()) && PreTranslate(msg)) return;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

void SettingsDialog::Open() {
  try {
    commands_.DialogOpening();
  } catch (...) {
    // The dialog opens all the same, its controls as they were.
    Errors().ShowError(std::current_exception());
  }
  CentreOnFirstShow();
  // The monitor under the dialog may have another DPI than when it was last laid out.
  const UINT dpi = WindowDpi(Handle());
  if (dpi != dpi_) LayOut(dpi);
  ShowWindow(Handle(), SW_SHOW);
  SetForegroundWindow(Handle());
  SetFocus((focus_ != nullptr && IsWindow(focus_)) ? focus_ : Control(DialogPart::SaveButton));
}

void SettingsDialog::HideAfterModal() {
  HWND focus = GetFocus();
  if (focus != nullptr && IsChild(Handle(), focus)) focus_ = focus;
  ShowWindow(Handle(), SW_HIDE);
}

bool SettingsDialog::PreTranslate(MSG& msg) {
  if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN && msg.hwnd != nullptr && IsChild(Handle(), msg.hwnd)) {
    // No default button: Enter clicks a focused push button and nothing else.
    const LRESULT code = SendMessageW(msg.hwnd, WM_GETDLGCODE, 0, 0);
    if (code & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) {
      SendMessageW(msg.hwnd, BM_CLICK, 0, 0);
      return true;
    }
  }
  return IsDialogMessageW(Handle(), &msg) != FALSE;
}

void SettingsDialog::OnButton(int id) {
  // IDOK and IDCANCEL (Enter in a field, Esc) are ignored: no default and
  // no cancel button.
  if (id == ControlId(DialogPart::SaveButton)) {
    commands_.Save();
  } else if (id == ControlId(DialogPart::ApplyButton)) {
    commands_.Apply();
  } else if (id == ControlId(DialogPart::ConnectButton)) {
    commands_.ConnectFromDialog();
  } else if (id == ControlId(DialogPart::CancelButton)) {
    commands_.Cancel();
  }
}

LRESULT SettingsDialog::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_NCCREATE:
      // Where Windows offers it, the title bar scales with the monitor too.
      EnableFrameScaling(Handle());
      break;
    case WM_COMMAND:
      if (lparam != 0 && HIWORD(wparam) == BN_CLICKED) OnButton(LOWORD(wparam));
      return 0;
    case WM_CLOSE:
      Close();
      return 0;
    case WM_ACTIVATE:
      if (LOWORD(wparam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus != nullptr && IsChild(Handle(), focus)) focus_ = focus;
      } else if (focus_ != nullptr && IsWindow(focus_) && IsWindowVisible(Handle())) {
        SetFocus(focus_);
        return 0;
      }
      break;
    case WM_DPICHANGED: {
      // The suggested rectangle lies on the monitor the dialog is moving to,
      // and is taken whole in one call: a size or a position of its own first
      // could put the dialog back on the previous monitor, whose scale would
      // come back while it is dragged. The layout's fit of the client area
      // follows, at the new place, and changes only the size.
      const RECT suggested = *reinterpret_cast<const RECT*>(lparam);
      SetWindowPos(Handle(), nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                   suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
      LayOut(HIWORD(wparam));
      return 0;
    }
    default:
      break;
  }
  return Default(message, wparam, lparam);
}

}  // namespace qlx::ui
