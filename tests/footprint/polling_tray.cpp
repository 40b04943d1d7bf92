// A tray program with the fault the idle-CPU goal exists to catch: a timer
// that wakes it up and makes it work while nothing happens. The footprint
// smoke test expects the benchmark to report it.
#include <windows.h>
#include <shellapi.h>

namespace {

constexpr wchar_t kWindowClass[] = L"QLXPollingTray";
constexpr UINT_PTR kTimer = 1;
constexpr UINT kPeriodMs = 20;
constexpr double kWorkMs = 2;

void Work() {
  LARGE_INTEGER frequency, start, now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  do {
    QueryPerformanceCounter(&now);
  } while (static_cast<double>(now.QuadPart - start.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart) <
           kWorkMs);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_TIMER:
      Work();
      return 0;
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    case WM_DESTROY: {
      NOTIFYICONDATAW icon{};
      icon.cbSize = sizeof icon;
      icon.hWnd = window;
      icon.uID = 1;
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
  HWND window = CreateWindowExW(0, kWindowClass, L"", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 1;
  NOTIFYICONDATAW icon{};
  icon.cbSize = sizeof icon;
  icon.hWnd = window;
  icon.uID = 1;
  icon.uFlags = NIF_ICON;
  icon.hIcon = LoadIconW(nullptr, MAKEINTRESOURCEW(32512));  // IDI_APPLICATION
  Shell_NotifyIconW(NIM_ADD, &icon);
  SetTimer(window, kTimer, kPeriodMs, nullptr);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  return 0;
}
