#pragma once
// The application object: the hidden application window, the message loop,
// the main-window rule, the modal loop and the error box. It owns the
// program's state (the settings value and the drive mapping), the controller
// and the windows for the life of the process.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "mapping/mapping.h"
#include "platform/win32/dialog_libraries.h"
#include "settings/record.h"
#include "ui/controller.h"
#include "ui/host.h"
#include "ui/window.h"

namespace qlx::ui {
class SettingsDialog;
class Theme;
class TrayWindow;
}  // namespace qlx::ui

namespace qlx::app {

inline constexpr wchar_t kApplicationClass[] = L"QLXDriveApp";

class Application final : public ui::ModalHost, public ui::Window, private ui::ShellWindows {
 public:
  explicit Application(HINSTANCE instance);
  ~Application() override;

  // Start-up, in this order.
  void ApplyTheme(const std::u16string& name);
  void CreateTray();
  // The hidden application window, which hears of the session's end. It
  // comes after the tray: under Wine every top-level window costs an X
  // window, some 8 ms, and the icon should not wait for one it never uses.
  void CreateHiddenWindow();
  // The first window created: it becomes the main window. Its contents
  // take their libraries from `libraries` when it is first opened.
  void CreateSettingsDialog(platform::DialogLibrariesLoader libraries = &platform::DialogLibraries);
  // The controller's start; a raised error is shown and start-up goes on.
  void Start(bool another_copy_runs);
  int Run();  // the message loop; the exit code

  // Shows the form modally and runs the loop until it is closed; the result
  // is the cancel result for every way of closing. Raises "Cannot make a
  // visible window modal" when the form is already visible.
  int ShowModal(ui::ModalForm& form);

  ui::TrayWindow& Tray() { return *tray_; }
  ui::SettingsDialog& Dialog() { return *dialog_; }
  ui::ShellController& Controller() { return controller_; }
  settings::ConnectionSettings& Settings() { return settings_; }
  mapping::DriveMapping& Mapping() { return mapping_; }

  // ModalHost
  void CloseRequest(HWND window) override;
  void ShowError(const std::exception_ptr& error) noexcept override;

 private:
  struct Modal {
    ui::ModalForm* form;
    int result;
  };
  // ShellWindows
  void EndAsSecondCopy() override;
  void ShowBalloon(const std::u16string& text) override;
  settings::ConnectionSettings ReadDialog() override;
  void FillDialog(const settings::ConnectionSettings& values) override;
  void HideDialog() override;
  void ShowDialogModal() override;
  void CloseDialog() override;
  void Quit() override;

  LRESULT OnMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  void Dispatch(MSG& msg);
  HWND ErrorBoxOwner() const;

  HINSTANCE instance_;
  std::u16string title_;
  std::unique_ptr<ui::Theme> theme_;
  // The state, then what acts on it, then the windows that report to it.
  settings::ConnectionSettings settings_;
  mapping::DriveMapping mapping_{settings_};
  ui::ShellController controller_{*this, settings_, mapping_};
  HWND main_window_ = nullptr;
  ui::ModalForm* main_form_ = nullptr;
  std::vector<Modal> modals_;
  // Destroyed before the theme they use, the tray first.
  std::unique_ptr<ui::SettingsDialog> dialog_;
  std::unique_ptr<ui::TrayWindow> tray_;
};

}  // namespace qlx::app
