// QLXDrive: the tray program. It reads no arguments; the application
// object makes its parts in the order start-up needs, then loops.
#include <windows.h>

#include <exception>

#include "app/application.h"
#include "platform/win32/win32_platform.h"
#include "res/resource_ids.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  using namespace qlx;
  platform::Win32Platform os;
  try {
    app::Application application(os.context(), instance, QLX_THEME_DISPLAY_NAME);
    return application.Run();
  } catch (const std::exception& e) {
    // Only the windows themselves failing to come into being leads here.
    MessageBoxA(nullptr, e.what(), "QLXDrive", MB_OK | MB_ICONERROR);
    return 1;
  }
}
