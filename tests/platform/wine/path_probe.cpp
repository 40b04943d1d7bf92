// Run by the program-file test from copies in long or unusual folders:
// writes what Win32ProgramFile reports, as raw UTF-16, to the file named
// by its argument.
#include <windows.h>

#include <cstdio>

#include "platform/win32/program_file.h"

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  try {
    const std::u16string path = qlx::platform::Win32ProgramFile().FullPath();
    HANDLE file = CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 4;
    DWORD written = 0;
    const auto bytes = static_cast<DWORD>(path.size() * sizeof(char16_t));
    const bool ok = WriteFile(file, path.data(), bytes, &written, nullptr) && written == bytes;
    CloseHandle(file);
    return ok ? 0 : 5;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 3;
  }
}
