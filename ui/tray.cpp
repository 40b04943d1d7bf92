#include "ui/tray.h"

#include <utility>

#include "base/errors.h"
#include "res/resource_ids.h"
#include "ui/logic.h"

namespace qlx::ui {

// The icon's identifier is its window's handle value; the record's uID is a
// UINT, so on 64-bit Windows only the handle's low 32 bits are kept. Window
// handles are 32-bit values on both (the system guarantees it so that 32-
// and 64-bit processes can share them), so nothing is lost.
static_assert(sizeof(UINT) == 4, "uID is 32-bit");
static_assert(sizeof(HWND) == sizeof(UINT_PTR), "a window handle fits UINT_PTR");

namespace {

UINT IconId(HWND window) { return static_cast<UINT>(reinterpret_cast<UINT_PTR>(window)); }

char16_t* Field(wchar_t* field) { return reinterpret_cast<char16_t*>(field); }

platform::unique_hmenu CreateTrayMenu() {
  platform::unique_hmenu menu(CreatePopupMenu());
  if (!menu) throw Error("Failed to create the tray menu");
  AppendMenuW(menu.get(), MF_STRING, kOpenSettingsCommand, L"Parametri");
  AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu.get(), MF_STRING, kConnectCommand, L"Connetti");
  AppendMenuW(menu.get(), MF_STRING, kDisconnectCommand, L"Disconnetti");
  AppendMenuW(menu.get(), MF_SEPARATOR, 0, nullptr);
  AppendMenuW(menu.get(), MF_STRING, kExitCommand, L"Esci");
  return menu;
}

}  // namespace

int SmallIconSize(UINT dpi) {
  const auto for_dpi = User32Function<int(WINAPI*)(int, UINT)>("GetSystemMetricsForDpi");
  if (for_dpi != nullptr) {
    const int size = for_dpi(SM_CXSMICON, dpi);
    if (size > 0) return size;
  }
  // Systems without it have one DPI for everything: the 96-DPI size, scaled.
  return Scale(16, static_cast<int>(dpi));
}

platform::unique_hicon LoadTrayIcon(HINSTANCE instance, UINT dpi) {
  const int size = SmallIconSize(dpi);
  return platform::unique_hicon(static_cast<HICON>(
      LoadImageW(instance, MAKEINTRESOURCEW(IDI_CLOUD_BLUE), IMAGE_ICON, size, size, LR_DEFAULTCOLOR)));
}

TrayWindow::TrayWindow(TrayCommands& commands, ErrorBox& errors, HINSTANCE instance, TrayTexts texts)
    : Window(errors),
      commands_(commands),
      instance_(instance),
      balloon_title_(std::move(texts.balloon_title)),
      menu_(CreateTrayMenu()) {
  taskbar_created_ = RegisterWindowMessageW(L"TaskbarCreated");
  // A top-level window (hidden, never shown), not a message-only one: only
  // top-level windows receive the "TaskbarCreated" broadcast and the
  // session's end.
  // No cursor: a window never shown needs none, and loading the arrow
  // costs the icon a few milliseconds under Wine.
  Create(instance, kTrayClass, nullptr, nullptr, WS_EX_TOOLWINDOW, L"", WS_POPUP, 0, 0,
         "Failed to create the tray icon's window");

  record_.cbSize = sizeof record_;
  record_.hWnd = Handle();
  record_.uID = IconId(Handle());
  record_.uCallbackMessage = kTrayMessage;
  record_.uFlags = NIF_MESSAGE | NIF_ICON;
  if (!texts.tooltip.empty()) {
    record_.uFlags |= NIF_TIP;
    CopyIfDifferent(Field(record_.szTip), kTipCapacity, texts.tooltip);
  }
  record_.uTimeout = kBalloonTimeoutMs;
  RefreshIcon();
  Place();
}

TrayWindow::~TrayWindow() { Remove(); }

void TrayWindow::Remove() {
  NOTIFYICONDATAW record = record_;
  Shell_NotifyIconW(NIM_DELETE, &record);
}

void TrayWindow::RefreshIcon() {
  platform::unique_hicon icon = LoadTrayIcon(instance_, WindowDpi(Handle()));
  // The program's own icon should the image be missing; a shared icon
  // belongs to the system and is never freed.
  record_.hIcon = icon ? icon.get()
                       : static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(IDI_QLXDRIVE), IMAGE_ICON, 0, 0,
                                                       LR_DEFAULTSIZE | LR_SHARED));
  // The shell copied the earlier image when it took it: that one may go.
  icon_ = std::move(icon);
}

void TrayWindow::Place() {
  // At logon the shell may not take icons yet, and may never announce
  // itself: the placement is offered again until it is taken, and not once
  // more after that.
  if (placement_.Place()) {
    KillTimer(Handle(), kAddRetryTimer);
  } else {
    SetTimer(Handle(), kAddRetryTimer, kAddRetryMs, nullptr);
  }
}

bool TrayWindow::Send(DWORD request, bool with_balloon) {
  NOTIFYICONDATAW record = record_;
  if (with_balloon) {
    record.uFlags |= NIF_INFO;
  } else {
    record.uFlags &= ~NIF_INFO;
  }
  return Shell_NotifyIconW(request, &record) != FALSE;
}

bool TrayWindow::Add(bool with_balloon) { return Send(NIM_ADD, with_balloon); }

bool TrayWindow::Modify(bool with_balloon) { return Send(NIM_MODIFY, with_balloon); }

void TrayWindow::ShowBalloon(const std::u16string& text) {
  // Copying a changed title or text modifies the icon without the info
  // flag: those updates must not bring a balloon (an earlier one, still
  // flagged, would show again with half-updated texts); only the last step
  // shows it.
  if (CopyIfDifferent(Field(record_.szInfoTitle), kInfoTitleCapacity, balloon_title_)) Modify(false);
  if (CopyIfDifferent(Field(record_.szInfo), kInfoCapacity, text)) Modify(false);
  record_.uFlags |= NIF_INFO;
  record_.dwInfoFlags = NIIF_INFO;
  record_.uTimeout = kBalloonTimeoutMs;
  placement_.ShowBalloon();
}

void TrayWindow::OpenMenu() {
  // The menu closes when clicked away only if the program owns the
  // foreground. The chosen command comes back as the result and is posted,
  // so that it runs from the message loop once the menu has gone; no queue
  // is pumped here.
  SetForegroundWindow(Handle());
  POINT cursor{};
  GetCursorPos(&cursor);
  const UINT chosen = static_cast<UINT>(TrackPopupMenu(
      menu_.get(), TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON | TPM_RETURNCMD | TPM_NONOTIFY, cursor.x, cursor.y,
      0, Handle(), nullptr));
  PostMessageW(Handle(), WM_NULL, 0, 0);
  if (chosen != 0) PostMessageW(Handle(), WM_COMMAND, chosen, 0);
}

void TrayWindow::RunCommand(UINT id) {
  switch (id) {
    case kOpenSettingsCommand:
      commands_.OpenSettings();
      break;
    case kConnectCommand:
      commands_.Connect();
      break;
    case kDisconnectCommand:
      commands_.Disconnect();
      break;
    case kExitCommand:
      commands_.Exit();
      break;
    default:
      break;
  }
}

void TrayWindow::OnIconNotification(UINT notification) {
  switch (notification) {
    case WM_RBUTTONUP:
      OpenMenu();
      break;
    case NIN_BALLOONHIDE:
    case NIN_BALLOONTIMEOUT:
      record_.uFlags &= ~NIF_INFO;
      break;
    default:
      break;
  }
}

LRESULT TrayWindow::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == kTrayMessage) {
    OnIconNotification(static_cast<UINT>(lparam));
    return 0;
  }
  if (message == taskbar_created_ && taskbar_created_ != 0) {
    // Explorer restarted, and the icon is gone from the new taskbar; or the
    // display's scale changed, the old icon still there at the old size.
    RefreshIcon();
    Place();
    return 0;
  }
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wparam) == 0 && lparam == 0) RunCommand(LOWORD(wparam));
      return 0;
    case WM_TIMER:
      if (wparam == kAddRetryTimer && !placement_.shown()) Place();
      return 0;
    // The session's end is this window's to answer: Windows asks every
    // top-level window at logoff, and this one holds the icon that must
    // leave (the lifetime test asks it, by its class "QLXDriveTray").
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_ENDSESSION:
      if (wparam != FALSE) {
        // The session ends now: the icon leaves, the mapping stays, and the
        // process goes without unwinding (Windows may end it at any moment
        // after this message returns).
        Remove();
        ExitProcess(0);
      }
      return 0;
    case WM_CLOSE:
      // Only the dialog's close request means something to the program.
      return 0;
    default:
      return Default(message, wparam, lparam);
  }
}

}  // namespace qlx::ui
