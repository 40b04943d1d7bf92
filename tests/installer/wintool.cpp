// qlx_wintool: what the installer test needs to see and do on the Windows
// side, each with a time limit.
//
//   wait CLASS MS          a window of CLASS exists (top-level or message-only):
//                          prints its process id
//   absent CLASS MS        no window of CLASS exists any more
//   visible CLASS MS       a window of CLASS is shown
//   ended PID MS           process PID has ended
//   run MS COMMAND_LINE    runs COMMAND_LINE exactly as given (no quoting added,
//                          as NSIS's /D= needs) and exits with its exit code
//   hold CLASS             shows no window, but owns one of CLASS that ignores
//                          close requests, until `release CLASS`
//   release CLASS          ends a `hold`
//
// Exit status 0 when the condition held (or the command's own status for
// run), 1 when the time ran out, 2 on wrong usage or a failed call.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "platform/win32/unique_handle.h"

namespace {

using qlx::platform::unique_handle;
using qlx::platform::unique_process_information;

constexpr UINT kRelease = WM_APP + 7;

HWND FindAnyWindow(const wchar_t* window_class) {
  HWND window = FindWindowExW(nullptr, nullptr, window_class, nullptr);
  return window != nullptr ? window : FindWindowExW(HWND_MESSAGE, nullptr, window_class, nullptr);
}

// Polls CONDITION every 10 ms until it holds or MS have passed.
template <class Condition>
bool WaitFor(DWORD ms, Condition condition) {
  const ULONGLONG deadline = GetTickCount64() + ms;
  for (;;) {
    if (condition()) return true;
    if (GetTickCount64() >= deadline) return false;
    Sleep(10);
  }
}

int Wait(const wchar_t* window_class, DWORD ms) {
  HWND window = nullptr;
  if (!WaitFor(ms, [&] { return (window = FindAnyWindow(window_class)) != nullptr; })) return 1;
  DWORD process_id = 0;
  GetWindowThreadProcessId(window, &process_id);
  std::printf("%lu\n", process_id);
  return 0;
}

int Ended(DWORD process_id, DWORD ms) {
  unique_handle process(OpenProcess(SYNCHRONIZE, FALSE, process_id));
  if (!process) return GetLastError() == ERROR_INVALID_PARAMETER ? 0 : 2;  // no such process: gone already
  return WaitForSingleObject(process.get(), ms) == WAIT_OBJECT_0 ? 0 : 1;
}

int Run(DWORD ms, std::wstring command_line) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  unique_process_information child;
  if (!CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      child.put())) {
    std::fprintf(stderr, "qlx_wintool: CreateProcessW failed (%lu)\n", GetLastError());
    return 2;
  }
  if (WaitForSingleObject(child->hProcess, ms) != WAIT_OBJECT_0) {
    std::fprintf(stderr, "qlx_wintool: the command did not end within %lu ms\n", ms);
    return 1;
  }
  DWORD code = 0;
  GetExitCodeProcess(child->hProcess, &code);
  return static_cast<int>(code);
}

LRESULT CALLBACK StubbornProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CLOSE:
      return 0;  // the point of `hold`
    case kRelease:
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wparam, lparam);
  }
}

int Hold(const wchar_t* window_class) {
  WNDCLASSW definition{};
  definition.lpfnWndProc = StubbornProc;
  definition.hInstance = GetModuleHandleW(nullptr);
  definition.lpszClassName = window_class;
  if (RegisterClassW(&definition) == 0) return 2;
  if (CreateWindowExW(0, window_class, L"", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                      definition.hInstance, nullptr) == nullptr) {
    return 2;
  }
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  return 0;
}

int Release(const wchar_t* window_class) {
  HWND window = FindAnyWindow(window_class);
  if (window == nullptr) return 1;
  PostMessageW(window, kRelease, 0, 0);
  return 0;
}

DWORD Number(const wchar_t* text) { return static_cast<DWORD>(std::wcstoul(text, nullptr, 10)); }

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring command = argc > 1 ? argv[1] : L"";
  if (command == L"wait" && argc == 4) return Wait(argv[2], Number(argv[3]));
  if (command == L"absent" && argc == 4) {
    return WaitFor(Number(argv[3]), [&] { return FindAnyWindow(argv[2]) == nullptr; }) ? 0 : 1;
  }
  if (command == L"visible" && argc == 4) {
    return WaitFor(Number(argv[3]), [&] {
      HWND window = FindAnyWindow(argv[2]);
      return window != nullptr && IsWindowVisible(window);
    }) ? 0 : 1;
  }
  if (command == L"ended" && argc == 4) return Ended(Number(argv[2]), Number(argv[3]));
  if (command == L"run" && argc == 4) return Run(Number(argv[2]), argv[3]);
  if (command == L"hold" && argc == 3) return Hold(argv[2]);
  if (command == L"release" && argc == 3) return Release(argv[2]);
  std::fprintf(stderr,
               "usage: qlx_wintool wait CLASS MS | absent CLASS MS | visible CLASS MS | ended PID MS |"
               " run MS COMMAND_LINE |"
               " hold CLASS | release CLASS\n");
  return 2;
}
