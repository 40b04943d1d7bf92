#pragma once
// The tray window: one hidden window that owns the notification-area icon
// and its menu, and receives both the icon's notifications and the menu's
// commands, which it hands to the tray commands.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "platform/win32/unique_handle.h"
#include "ui/controller.h"
#include "ui/logic.h"
#include "ui/window.h"

namespace qlx::ui {

inline constexpr wchar_t kTrayClass[] = L"QLXDriveTray";
inline constexpr UINT kTrayMessage = WM_USER + 1;
inline constexpr char16_t kBalloonTitle[] = u"Lumivor";
inline constexpr UINT kBalloonTimeoutMs = 10000;
// How often an icon the shell refused is offered again.
inline constexpr UINT kAddRetryMs = 1000;
inline constexpr UINT_PTR kAddRetryTimer = 1;

// The menu's command identifiers, as they arrive in WM_COMMAND.
enum MenuCommand : UINT {
  kOpenSettingsCommand = 1001,
  kConnectCommand = 1002,
  kDisconnectCommand = 1003,
  kExitCommand = 1004,
};

// The small-icon size for a DPI, as the system gives it for that DPI.
int SmallIconSize(UINT dpi);
// The tray's image (the blue cloud) at the small-icon size for `dpi`.
platform::unique_hicon LoadTrayIcon(HINSTANCE instance, UINT dpi);

// The icon's texts, both chosen where the application is made: the tooltip
// is the application title (none when that is empty), the balloons' title
// the fixed kBalloonTitle.
struct TrayTexts {
  std::u16string tooltip;
  std::u16string balloon_title;
};

class TrayWindow final : public Window, private NotificationArea {
 public:
  TrayWindow(TrayCommands& commands, ErrorBox& errors, HINSTANCE instance, TrayTexts texts);
  ~TrayWindow() override;

  void ShowBalloon(const std::u16string& text);
  // The record as the shell last received it.
  const NOTIFYICONDATAW& Record() const { return record_; }
  HMENU Menu() const { return menu_.get(); }
  // Whether the shell shows the icon (a refused placement is retried).
  bool Shown() const { return placement_.shown(); }

 private:
  LRESULT OnMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  // The image at the window's DPI of this moment.
  void RefreshIcon();
  void Place();
  // The icon leaves the notification area (at the end, or the session's).
  void Remove();
  // NotificationArea
  bool Add(bool with_balloon) override;
  bool Modify(bool with_balloon) override;
  bool Send(DWORD request, bool with_balloon);
  void OnIconNotification(UINT notification);
  void OpenMenu();
  void RunCommand(UINT id);

  TrayCommands& commands_;
  HINSTANCE instance_;
  const std::u16string balloon_title_;
  platform::unique_hmenu menu_;
  platform::unique_hicon icon_;
  UINT taskbar_created_ = 0;
  NOTIFYICONDATAW record_{};
  TrayIconPlacement placement_{*this};
};

}  // namespace qlx::ui
