#pragma once
// The program from its start to its end. The application object makes the
// settings value, what acts on it and the windows, in the order start-up
// needs them (the order of the members below is that order), then starts
// the controller and runs the message loop. The windows act on their own
// messages; the application only owns them.
#include <windows.h>

#include <memory>
#include <string>

#include "app/single_instance.h"
#include "mapping/mapping.h"
#include "platform/context.h"
#include "platform/win32/dialog_libraries.h"
#include "settings/record.h"
#include "ui/controller.h"
#include "ui/dialog.h"
#include "ui/error_box.h"
#include "ui/theme.h"
#include "ui/tray.h"
#include "ui/window.h"

namespace qlx::app {

inline constexpr wchar_t kApplicationClass[] = L"QLXDriveApp";

// A hidden top-level window of class "QLXDriveApp", titled with the
// program's title. Nothing in the program needs it: it stays because it is
// one of the windows other programs see of this one (the lifetime test
// finds it by class and title). It ignores close requests, which only the
// dialog answers, and leaves the session's end to the tray.
class ApplicationWindow final : public ui::Window {
 public:
  ApplicationWindow(ui::ErrorBox& errors, HINSTANCE instance, const std::u16string& title);

 private:
  LRESULT OnMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
};

// The controller's window set: each request goes to the window it is about,
// or to the process.
class ShellWindowSet final : public ui::ShellWindows {
 public:
  ShellWindowSet(ui::TrayWindow& tray, ui::SettingsDialog& dialog, platform::Clock& clock)
      : tray_(tray), dialog_(dialog), clock_(clock) {}

  void EndAsSecondCopy() override { app::EndAsSecondCopy(clock_); }
  void ShowBalloon(const std::u16string& text) override { tray_.ShowBalloon(text); }
  settings::ConnectionSettings ReadDialog() override { return dialog_.Read(); }
  void FillDialog(const settings::ConnectionSettings& values) override { dialog_.Fill(values); }
  void HideDialog() override { ShowWindow(dialog_.Handle(), SW_HIDE); }
  void ShowDialogModal() override { dialog_.ShowModal(); }
  void CloseDialog() override { dialog_.Close(); }
  void Quit() override { PostQuitMessage(0); }

 private:
  ui::TrayWindow& tray_;
  ui::SettingsDialog& dialog_;
  platform::Clock& clock_;
};

class Application final {
 public:
  // `theme_name`: the theme in the resources, or null for the system's look.
  // `libraries`: where the dialog takes Common Controls and the window
  // manager's functions when it is first opened. `os` outlives the
  // application: every part of it reaches the system through these.
  Application(const platform::Context& os, HINSTANCE instance, const char16_t* theme_name,
              platform::DialogLibrariesLoader libraries = &platform::DialogLibraries);
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // The controller's start; a raised error is shown and start-up goes on.
  void Start();
  // Start, then the message loop until the quit message; the exit code.
  int Run();

  ui::TrayWindow& Tray() { return tray_; }
  ui::SettingsDialog& Dialog() { return dialog_; }
  HWND HiddenWindow() const { return window_.Handle(); }
  ui::ShellController& Controller() { return controller_; }
  settings::ConnectionSettings& Settings() { return settings_; }
  mapping::DriveMapping& Mapping() { return mapping_; }

 private:
  ui::MessageErrorBox errors_;
  // The state, then what acts on it. The window set refers to the windows
  // made below; the controller uses it only once they exist (Start).
  settings::ConnectionSettings settings_;
  mapping::DriveMapping mapping_;
  ShellWindowSet windows_;
  ui::ShellController controller_;
  // Before any window: a missing theme is told in a box of its own, before
  // the icon shows. The windows below use it and go before it.
  const std::unique_ptr<ui::Theme> theme_;
  // The icon first; the guard and the other windows after it.
  ui::TrayWindow tray_;
  // Closes its mutex before the tray's icon leaves.
  const SingleInstanceGuard guard_;
  // Under Wine every top-level window costs an X window, some 8 ms: the
  // icon does not wait for this one, which it never uses.
  ApplicationWindow window_;
  // The first window of the application's class: the main window. Its
  // contents come when it is first opened.
  ui::SettingsDialog dialog_;
};

}  // namespace qlx::app
