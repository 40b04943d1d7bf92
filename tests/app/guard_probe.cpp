// A small program around the single-instance guard, started as several
// copies by guard_e2e.sh. It appends one line to the file named by its
// first argument: "first" when it runs as the only copy, or, for a copy
// that found another, "second <ms> <code>" when it ends (the time from the
// guard's creation to the end of its message loop, and the quit code). A
// first copy runs until the file named by its second argument exists.
#include <windows.h>

#include <string>

#include "app/single_instance.h"
#include "platform/win32/win32_platform.h"

namespace {

void Append(const wchar_t* path, const std::string& line) {
  const HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const std::string bytes = line + "\n";
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) return 2;
  qlx::platform::Win32Platform os;
  const ULONGLONG start = GetTickCount64();
  const qlx::app::SingleInstanceGuard guard(os.context().program);
  if (guard.AnotherCopyRuns()) {
    qlx::app::EndAsSecondCopy(os.context().clock);
    // As the program does: the message loop finds the quit message.
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    const auto code = static_cast<int>(message.wParam);
    Append(argv[1], "second " + std::to_string(GetTickCount64() - start) + " " + std::to_string(code));
    return code;
  }
  Append(argv[1], "first");
  for (ULONGLONG waited = 0; GetFileAttributesW(argv[2]) == INVALID_FILE_ATTRIBUTES; waited += 50) {
    if (waited > 300000) return 3;  // never left behind by a broken test
    Sleep(50);
  }
  return 0;
}
