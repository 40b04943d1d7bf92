// QLXDrive: the tray program. It reads no arguments; the start-up order is
// fixed (application object, theme, tray controller with the guard, hidden
// dialog, start-up method, message loop).
#include <windows.h>

#include <exception>

#include "app/application.h"
#include "platform/context.h"
#include "platform/win32/win32_platform.h"
#include "res/resource_ids.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  using namespace qlx;
  platform::Win32Platform os;
  platform::ScopedContext scope(os.context());
  try {
    // Steps 1 to 3: the application object. The dialog, created later, is
    // the main window, has a taskbar button while shown, and is not shown
    // when the loop starts.
    app::Application application(instance);
    application.ApplicaTema(QLX_THEME_DISPLAY_NAME);
    application.CreaTray();
    application.CreaDialogo();
    application.Avvia();
    return application.Run();
    // The application object destroys dmDrive and fmDrive on leaving.
  } catch (const std::exception& e) {
    // Only the windows themselves failing to come into being leads here.
    MessageBoxA(nullptr, e.what(), "QLXDrive", MB_OK | MB_ICONERROR);
    return 1;
  }
}
