// The smallest tray program worth comparing QLXDrive against: one hidden
// window, one icon added to the notification area, a message loop. It is
// built with the program's own toolchain and link options (static runtime,
// GUI subsystem, wWinMain), so what the footprint run measures beyond this
// baseline is what QLXDrive itself adds.
#include <windows.h>
#include <shellapi.h>

#include <cwchar>

namespace {

constexpr wchar_t kWindowClass[] = L"QLXMiniTray";
constexpr UINT kIconId = 1;
constexpr UINT kTrayCallback = WM_APP + 1;

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CLOSE:
      // The probe ends every run with a close request, as it does for the
      // program.
      DestroyWindow(window);
      return 0;
    case WM_DESTROY: {
      NOTIFYICONDATAW icon{};
      icon.cbSize = sizeof icon;
      icon.hWnd = window;
      icon.uID = kIconId;
      Shell_NotifyIconW(NIM_DELETE, &icon);
      PostQuitMessage(0);
      return 0;
    }
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = WindowProc;
  window_class.hInstance = instance;
  window_class.lpszClassName = kWindowClass;
  if (RegisterClassExW(&window_class) == 0) return 1;

  // Never shown: like the program, it is reached only through the tray.
  HWND window = CreateWindowExW(0, kWindowClass, L"QLXMiniTray", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 1;

  NOTIFYICONDATAW icon{};
  icon.cbSize = sizeof icon;
  icon.hWnd = window;
  icon.uID = kIconId;
  icon.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP;
  icon.uCallbackMessage = kTrayCallback;
  // A shared system icon: nothing to destroy.
  icon.hIcon = LoadIconW(nullptr, MAKEINTRESOURCEW(32512));  // IDI_APPLICATION
  std::wcsncpy(icon.szTip, L"QLXMiniTray", sizeof icon.szTip / sizeof icon.szTip[0] - 1);
  if (!Shell_NotifyIconW(NIM_ADD, &icon)) {
    // Without its icon this is no tray program and no fair baseline: end in
    // a way the probe reports (an exit before the close request).
    DestroyWindow(window);
    return 2;
  }

  MSG message;
  BOOL got;
  while ((got = GetMessageW(&message, nullptr, 0, 0)) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return got < 0 ? 1 : static_cast<int>(message.wParam);
}
