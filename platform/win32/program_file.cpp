#include "platform/win32/program_file.h"

#include <windows.h>

#include <string>

#include "base/errors.h"
#include "platform/win32/text.h"

namespace qlx::platform {

namespace {
// Far beyond the longest path the system can load a program from; only
// guards against a call that never reports a fit.
constexpr DWORD kLargestBuffer = 1u << 20;
}  // namespace

std::u16string Win32ProgramFile::FullPath() {
  std::u16string buffer;
  for (DWORD size = MAX_PATH + 1; size <= kLargestBuffer; size *= 2) {
    buffer.resize(size);
    const DWORD length = GetModuleFileNameW(nullptr, W(buffer), size);
    if (length == 0) break;
    // A full buffer means the path was cut (with or without a terminator,
    // depending on the Windows version): try again with more room.
    if (length < size) {
      buffer.resize(length);
      return buffer;
    }
  }
  // An empty or cut path would be stored as if it were the program's.
  throw Error("Cannot read the program file's path");
}

}  // namespace qlx::platform
