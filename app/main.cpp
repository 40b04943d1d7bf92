// QLXDrive: the tray program. It reads no arguments; the start-up order is
// fixed (application object, theme, tray, single-instance guard, hidden
// application window, hidden dialog, the controller's start, message loop).
#include <windows.h>

#include <exception>

#include "app/application.h"
#include "app/single_instance.h"
#include "platform/context.h"
#include "platform/win32/win32_platform.h"
#include "res/resource_ids.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  using namespace qlx;
  platform::Win32Platform os;
  platform::ScopedContext scope(os.context());
  try {
    // The dialog, created after the guard, is the main window, has a
    // taskbar button while shown, and is not shown when the loop starts.
    app::Application application(instance);
    application.ApplyTheme(QLX_THEME_DISPLAY_NAME);
    application.CreateTray();
    const app::SingleInstanceGuard guard;
    application.CreateHiddenWindow();
    application.CreateSettingsDialog();
    application.Start(guard.AnotherCopyRuns());
    return application.Run();
    // The guard closes its mutex, then the application object destroys the
    // tray (the icon leaves) and the dialog.
  } catch (const std::exception& e) {
    // Only the windows themselves failing to come into being leads here.
    MessageBoxA(nullptr, e.what(), "QLXDrive", MB_OK | MB_ICONERROR);
    return 1;
  }
}
