// A net.exe planted where a search by name would find it first (beside the
// program, in the current directory, on PATH). It must never run: when it
// does, it appends "<unix ms> <command line>" to
// %QLX_STANDIN_DIR%\planted.log and ends with 0, as a harvesting copy would.
#include <windows.h>

#include <string>

#include "tests/standins/standin.h"

int main() {
  using namespace qlx::standin;
  const std::wstring folder = Folder();
  if (folder.empty()) return 3;
  AppendLine(folder + L"\\planted.log", std::to_string(UnixMilliseconds()) + " " + Utf8(GetCommandLineW()));
  return 0;
}
