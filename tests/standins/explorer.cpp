// The tests' explorer.exe, installed as C:\windows\explorer.exe and run with
// WINEDLLOVERRIDES="explorer.exe=n,b" (Wine's own desktop keeps its builtin
// one): appends "<unix ms> <command line>" to %QLX_STANDIN_DIR%\explorer.log
// and ends with 0.
#include <windows.h>

#include <string>

#include "tests/standins/standin.h"

int main() {
  using namespace qlx::standin;
  const std::wstring folder = Folder();
  if (folder.empty()) return 3;
  const std::string line = std::to_string(UnixMilliseconds()) + " " + Utf8(GetCommandLineW());
  return AppendLine(folder + L"\\explorer.log", line) ? 0 : 4;
}
