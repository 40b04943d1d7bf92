#pragma once
// The tray controller dmDrive: the notification-area icon with its menu and
// balloons, the single-instance guard and the image list.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <string>

#include "app/just_one.h"
#include "platform/win32/unique_handle.h"
#include "ui/host.h"
#include "ui/window.h"

namespace qlx::ui {

inline constexpr wchar_t kClasseTray[] = L"QLXDriveTray";
inline constexpr UINT kMessaggioTray = WM_USER + 1;
inline constexpr char16_t kTitoloBalloon[] = u"Lumivor";
inline constexpr UINT kDurataBalloonMs = 10000;

// Menu command identifiers (the menu's WM_COMMAND reaches the application
// window, which hands it to TdmDrive::Comando).
enum ComandoMenu : UINT {
  kParametri1 = 1001,
  kConnetti1 = 1002,
  kDisconnetti1 = 1003,
  kEsci1 = 1004,
};

// The notification-area icon, with a hidden window of its own that receives
// the shell's notifications.
class TTrayIcon {
 public:
  TTrayIcon(AppHost& app, HINSTANCE instance, HMENU menu);
  ~TTrayIcon();
  TTrayIcon(const TTrayIcon&) = delete;
  TTrayIcon& operator=(const TTrayIcon&) = delete;

  HWND Handle() const { return window_.get(); }
  // Takes ownership of the icon and shows it.
  void ImpostaIcona(platform::unique_hicon icon);
  void ShowNotifica(const std::u16string& msg);
  // The record as the shell last received it (read by tests of the shell side).
  const NOTIFYICONDATAW& Record() const { return nid_; }

 private:
  friend LRESULT CALLBACK ProceduraDi<TTrayIcon>(HWND, UINT, WPARAM, LPARAM);
  AppHost& Ospite() { return app_; }
  LRESULT Gestisci(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  void ApriMenu();
  void Modifica(UINT flags);

  AppHost& app_;
  HMENU menu_;
  UINT taskbar_created_ = 0;
  unique_hwnd window_;
  NOTIFYICONDATAW nid_{};
  platform::unique_hicon icona_;  // the image shown; the first icon is shared and never freed
  bool aggiunta_ = false;
};

using platform::unique_himagelist;

class TdmDrive {
 public:
  TdmDrive(AppHost& app, HINSTANCE instance);
  TdmDrive(const TdmDrive&) = delete;
  TdmDrive& operator=(const TdmDrive&) = delete;

  void Run();
  // The handler of a menu item; raises what the handler raises.
  void Comando(UINT id);

  void Parametri1Click();
  void Connetti1Click();
  void Disconnetti1Click();
  void Esci1Click();
  void ShowNotifica(const std::u16string& msg);

  const TTrayIcon& TrayIcon() const { return TrayIcon_; }
  HMENU PopupMenu1() const { return PopupMenu1_.get(); }

 private:
  static platform::unique_hmenu CreaMenu();
  static unique_himagelist CreaImmagini(HINSTANCE instance);

  AppHost& app_;
  // In the order in which they come into being.
  platform::unique_hmenu PopupMenu1_;
  TTrayIcon TrayIcon_;
  app::TJustOne32 JustOne321_;
  unique_himagelist ImageList1_;
};

}  // namespace qlx::ui
