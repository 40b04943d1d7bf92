// The tests' net.exe, installed as C:\windows\system32\net.exe and run in
// place of the system's with WINEDLLOVERRIDES="net.exe=n". In
// %QLX_STANDIN_DIR%:
//   net.log         one line per run: "<unix ms> <exit code> <command line>",
//                   the command line as GetCommandLineW gives it, the exit
//                   code as a signed 32-bit decimal ("hang" for a hang, written
//                   at start);
//   net-exit.txt    the exit code to end with (decimal, signed or not;
//                   absent: 0);
//   net-hang.txt    present: never end;
//   net-nodrive.txt present: a successful connect defines no drive;
//   net-startup.log one line per run: "<dwFlags> <wShowWindow>" of the
//                   STARTUPINFO it was started with (hex, decimal);
//   net-ask.txt     present: a /DELETE of a drive that exists asks, as the
//                   system's does when files are open on it, "(Y/N) [N]" on
//                   standard output and reads the answer, one line, from
//                   standard input. Only "Y" or "YES" goes on; anything
//                   else, end of input included, keeps the drive and ends
//                   with code 2;
//   net-answers.log one line per question: the answer read, or "<eof>" when
//                   standard input ended first, or "<error N>" when reading
//                   it failed with the system's code N;
//   net-handle.txt  an event handle's value (decimal) in the process that
//                   started this one: signalled here, so that the starter
//                   sees whether this process inherited it.
// A connect (no /DELETE) ending 0 defines the drive after USE onto the folder
// with DefineDosDeviceW, so that GetLogicalDrives shows it; a /DELETE ending 0
// removes that definition.
#include <windows.h>
#include <shellapi.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/standins/standin.h"

namespace {

using namespace qlx::standin;

constexpr int kMisconfigured = 3;

std::vector<std::wstring> Arguments() {
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::wstring> arguments;
  if (argv == nullptr) return arguments;
  for (int i = 0; i < count; ++i) arguments.emplace_back(argv[i]);
  LocalFree(argv);
  return arguments;
}

bool Same(const std::wstring& a, const wchar_t* b) { return lstrcmpiW(a.c_str(), b) == 0; }

// The drive word after USE ("Q:"), or empty.
std::wstring DriveOf(const std::vector<std::wstring>& arguments) {
  for (std::size_t i = 0; i + 1 < arguments.size(); ++i) {
    if (!Same(arguments[i], L"USE")) continue;
    const std::wstring& word = arguments[i + 1];
    const bool letter = word.size() == 2 && word[1] == L':' &&
                        ((word[0] >= L'A' && word[0] <= L'Z') || (word[0] >= L'a' && word[0] <= L'z'));
    return letter ? word : std::wstring();
  }
  return {};
}

bool IsDelete(const std::vector<std::wstring>& arguments) {
  for (const auto& a : arguments)
    if (Same(a, L"/DELETE")) return true;
  return false;
}

// The chosen exit code; false when the file holds no number.
bool ChosenExitCode(const std::wstring& folder, UINT& code) {
  bool found = false;
  const std::string text = ReadSmallFile(folder + L"\\net-exit.txt", found);
  code = 0;
  if (!found) return true;
  errno = 0;
  char* end = nullptr;
  const long long value = std::strtoll(text.c_str(), &end, 10);
  while (end && (*end == ' ' || *end == '\r' || *end == '\n' || *end == '\t')) ++end;
  if (errno != 0 || end == text.c_str() || *end != '\0' || value < -2147483648LL || value > 4294967295LL)
    return false;
  code = static_cast<UINT>(value);
  return true;
}

// Asks on standard output and reads one line of answer from standard input,
// the way a console program does: a console waits for the user's Enter,
// the null device or a closed pipe gives end of input at once.
std::string Ask(const std::wstring& folder, const std::wstring& drive) {
  const std::string question = "There are open files on the connection to " + Utf8(drive) +
                               ".\r\nContinue disconnecting and force them closed? (Y/N) [N]: ";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), question.data(), static_cast<DWORD>(question.size()), &written, nullptr);
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  std::string answer;
  for (;;) {
    char c = 0;
    DWORD read = 0;
    if (!ReadFile(input, &c, 1, &read, nullptr) && GetLastError() != ERROR_BROKEN_PIPE) {
      const std::string seen = "<error " + std::to_string(GetLastError()) + ">";
      AppendLine(folder + L"\\net-answers.log", seen);
      return {};
    }
    if (read == 0) {
      AppendLine(folder + L"\\net-answers.log", answer.empty() ? "<eof>" : answer);
      return answer;
    }
    if (c == '\n') break;
    if (c != '\r') answer += c;
  }
  AppendLine(folder + L"\\net-answers.log", answer);
  return answer;
}

bool Yes(const std::string& answer) {
  return lstrcmpiA(answer.c_str(), "Y") == 0 || lstrcmpiA(answer.c_str(), "YES") == 0;
}

// For a drive word as DriveOf gives it.
bool DriveExists(const std::wstring& drive) {
  const wchar_t letter = drive[0] >= L'a' ? static_cast<wchar_t>(drive[0] - L'a' + L'A') : drive[0];
  return (GetLogicalDrives() & (1u << (letter - L'A'))) != 0;
}

std::string Line(const char* status) {
  return std::to_string(UnixMilliseconds()) + " " + status + " " + Utf8(GetCommandLineW());
}

}  // namespace

int main() {
  const std::wstring folder = Folder();
  if (folder.empty()) return kMisconfigured;
  const std::wstring log = folder + L"\\net.log";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  GetStartupInfoW(&startup);
  char flags[32];
  std::snprintf(flags, sizeof flags, "%lx %u", static_cast<unsigned long>(startup.dwFlags),
                static_cast<unsigned>(startup.wShowWindow));
  AppendLine(folder + L"\\net-startup.log", flags);

  bool handle_named = false;
  const std::string handle_text = ReadSmallFile(folder + L"\\net-handle.txt", handle_named);
  if (handle_named) {
    const unsigned long long value = std::strtoull(handle_text.c_str(), nullptr, 10);
    SetEvent(reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(value)));
  }

  if (Exists(folder + L"\\net-hang.txt")) {
    AppendLine(log, Line("hang"));
    for (;;) Sleep(INFINITE);
  }
  UINT code = 0;
  if (!ChosenExitCode(folder, code)) {
    AppendLine(log, Line("bad-net-exit.txt"));
    return kMisconfigured;
  }
  const std::vector<std::wstring> arguments = Arguments();
  const std::wstring drive = DriveOf(arguments);
  if (!drive.empty() && IsDelete(arguments) && Exists(folder + L"\\net-ask.txt") && DriveExists(drive) &&
      !Yes(Ask(folder, drive))) {
    constexpr UINT kDeclined = 2;
    AppendLine(log, Line(std::to_string(kDeclined).c_str()));
    ExitProcess(kDeclined);
  }
  if (code == 0 && !drive.empty()) {
    if (IsDelete(arguments))
      DefineDosDeviceW(DDD_REMOVE_DEFINITION, drive.c_str(), nullptr);
    else if (!Exists(folder + L"\\net-nodrive.txt"))
      DefineDosDeviceW(0, drive.c_str(), folder.c_str());
  }
  // Written last: a test that sees the line sees the drive as well.
  AppendLine(log, Line(std::to_string(static_cast<std::int32_t>(code)).c_str()));
  ExitProcess(code);
}
