// The demonstration's net.exe: installed as the demo Wine prefix's
// C:\windows\system32\net.exe, it stands in for NET USE, which Wine cannot do
// for a WebDAV folder. A connect checks the credentials with a real PROPFIND
// (Basic authentication) against the demonstration server and then gives the
// drive letter the served folder on this machine; /DELETE takes it away.
//
// Environment (inherited from the program that runs NET USE):
//   QLX_DEMO_DAV_ROOT  the Windows path of the folder the server serves
//   QLX_DEMO_NET_LOG   optional: a file that gets one line per run,
//                      "<unix ms> <exit code> <command, password hidden>"
#include <windows.h>
#include <winhttp.h>
#include <winioctl.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "base/errors.h"
#include "base/utf.h"
#include "base/wipe.h"
#include "demo/net_command.h"
#include "demo/wine_mount_manager.h"
#include "platform/win32/text.h"
#include "platform/win32/unique_internet.h"

namespace qlx::demo {
namespace {

using platform::U16;
using platform::W;

using platform::unique_hinternet;

std::optional<std::u16string> Variable(const char16_t* name) {
  std::vector<wchar_t> buffer(32768);
  const DWORD length = GetEnvironmentVariableW(reinterpret_cast<const wchar_t*>(name), buffer.data(),
                                               static_cast<DWORD>(buffer.size()));
  if (length == 0 || length >= buffer.size()) return std::nullopt;
  return U16(buffer.data(), length);
}

bool DriveInUse(char16_t letter) { return (GetLogicalDrives() >> (letter - u'A')) & 1; }

std::u16string RootOf(char16_t letter) { return std::u16string{letter, u':', u'\\'}; }

// ------------------------------------------------------------------ WebDAV

std::uint32_t Propfind(const WebDavUrl& url, const std::u16string& user, const std::u16string& password) {
  unique_hinternet session(
      WinHttpOpen(L"QLXDrive-demo-net/1.0", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session) throw NetError(kErrorUnexpectedNetwork, "WinHttpOpen failed");
  // A demonstration server on this machine answers at once or not at all.
  WinHttpSetTimeouts(session.get(), 5000, 5000, 10000, 10000);
  std::u16string host = url.host;
  if (host.size() > 2 && host.front() == u'[') host = host.substr(1, host.size() - 2);
  unique_hinternet connection(WinHttpConnect(session.get(), W(host), url.port, 0));
  if (!connection) throw NetError(kErrorBadNetPath, SystemErrorText(kErrorBadNetPath));
  const std::u16string path = Utf8ToUtf16(url.RequestPath());
  // The path is escaped already; WinHTTP must send it as it stands.
  const DWORD flags = WINHTTP_FLAG_ESCAPE_DISABLE | (url.https ? WINHTTP_FLAG_SECURE : 0);
  unique_hinternet request(WinHttpOpenRequest(connection.get(), L"PROPFIND", W(path), nullptr, WINHTTP_NO_REFERER,
                                              WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
  if (!request) throw NetError(kErrorUnexpectedNetwork, "WinHttpOpenRequest failed");

  Wiped<std::string> authorization(BasicAuthorization(user, password));
  Wiped<std::u16string> headers(u"Depth: 0\r\nContent-Type: application/xml; charset=utf-8\r\nAuthorization: " +
                                Utf8ToUtf16(*authorization) + u"\r\n");
  static constexpr char kBody[] =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
      "<d:propfind xmlns:d=\"DAV:\"><d:prop><d:resourcetype/></d:prop></d:propfind>";
  const DWORD body_size = sizeof kBody - 1;
  if (!WinHttpSendRequest(request.get(), W(*headers), static_cast<DWORD>(-1), const_cast<char*>(kBody), body_size,
                          body_size, 0) ||
      !WinHttpReceiveResponse(request.get(), nullptr)) {
    const DWORD error = GetLastError();
    throw NetError(kErrorBadNetPath,
                   SystemErrorText(kErrorBadNetPath) + " (WinHTTP error " + std::to_string(error) + ")");
  }
  DWORD status = 0, size = sizeof status;
  if (!WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX))
    throw NetError(kErrorUnexpectedNetwork, "no HTTP status");
  return status;
}

// ------------------------------------------------------------ drive letters

// Under Wine the letter is given to the mount manager as a network drive
// onto the folder's Unix path; elsewhere DefineDosDeviceW maps it.
using UnixFileNameFunction = char*(CDECL*)(const WCHAR*);

UnixFileNameFunction WineUnixFileName() {
  const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  return kernel ? reinterpret_cast<UnixFileNameFunction>(
                      reinterpret_cast<void*>(GetProcAddress(kernel, "wine_get_unix_file_name")))
                : nullptr;
}

// An empty mount point removes the letter.
void DefineUnixDrive(char16_t letter, const std::string& mount_point) {
  if (const DWORD error = wine::DefineUnixDrive(static_cast<wchar_t>(letter), mount_point); error != 0) {
    throw NetError(kErrorUnexpectedNetwork,
                   "Wine's mount manager refused the drive (error " + std::to_string(error) + ")");
  }
}

void MapLetter(char16_t letter, const std::u16string& folder) {
  if (const auto unix_name = WineUnixFileName()) {
    char* path = unix_name(W(folder));
    if (path == nullptr) throw NetError(kErrorBadNetName, "the served folder has no Unix path");
    const std::string mount_point(path);
    HeapFree(GetProcessHeap(), 0, path);
    DefineUnixDrive(letter, mount_point);
  } else {
    const std::u16string device{letter, u':'};
    if (!DefineDosDeviceW(0, W(device), W(folder)))
      throw NetError(kErrorUnexpectedNetwork, "DefineDosDeviceW failed (error " + std::to_string(GetLastError()) + ")");
  }
  if (!DriveInUse(letter)) throw NetError(kErrorUnexpectedNetwork, "the drive letter did not appear");
}

// Only a letter this stand-in made is taken away: never a local disk, nor
// Wine's own C: or Z:.
void UnmapLetter(char16_t letter) {
  const std::u16string root = RootOf(letter);
  if (!DriveInUse(letter)) throw NetError(kErrorNotConnected, SystemErrorText(kErrorNotConnected));
  if (WineUnixFileName()) {
    if (GetDriveTypeW(W(root)) != DRIVE_REMOTE) throw NetError(kErrorNotConnected, SystemErrorText(kErrorNotConnected));
    DefineUnixDrive(letter, {});
  } else {
    const std::u16string device{letter, u':'};
    std::vector<wchar_t> target(1024);
    if (QueryDosDeviceW(W(device), target.data(), static_cast<DWORD>(target.size())) == 0 ||
        std::wstring(target.data()).rfind(L"\\??\\", 0) != 0)
      throw NetError(kErrorNotConnected, SystemErrorText(kErrorNotConnected));
    if (!DefineDosDeviceW(DDD_REMOVE_DEFINITION, W(device), nullptr))
      throw NetError(kErrorUnexpectedNetwork, "DefineDosDeviceW failed (error " + std::to_string(GetLastError()) + ")");
  }
  if (DriveInUse(letter)) throw NetError(kErrorUnexpectedNetwork, "the drive letter is still there");
}

// ------------------------------------------------------------------ commands

void Connect(const NetUse& command) {
  if (DriveInUse(command.letter)) throw NetError(kErrorAlreadyAssigned, SystemErrorText(kErrorAlreadyAssigned));
  const WebDavUrl url = ParseWebDavUrl(command.remote);
  const auto root = Variable(u"QLX_DEMO_DAV_ROOT");
  if (!root) throw NetError(kErrorBadNetPath, "QLX_DEMO_DAV_ROOT, the served folder, is not set");
  CheckPropfindStatus(Propfind(url, WebDavUser(command.account), command.password));
  const std::u16string folder = LocalFolder(*root, url);
  const DWORD attributes = GetFileAttributesW(W(folder));
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
    throw NetError(kErrorBadNetName, SystemErrorText(kErrorBadNetName) + " (no local folder " +
                                         Utf16ToUtf8(folder) + ")");
  MapLetter(command.letter, folder);
}

std::uint64_t UnixMilliseconds() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const std::uint64_t ticks = (std::uint64_t(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  return ticks / 10000 - 11644473600000ULL;
}

void AppendLog(int exit_code, const std::u16string& what) {
  const auto path = Variable(u"QLX_DEMO_NET_LOG");
  if (!path) return;
  platform::unique_handle file(CreateFileW(W(*path), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  std::string line = std::to_string(UnixMilliseconds()) + " " + std::to_string(exit_code) + " ";
  try {
    line += Utf16ToUtf8(what);
  } catch (const Error&) {
    line += "?";
  }
  line += "\n";
  DWORD written = 0;
  WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

int Run(std::vector<std::u16string>& arguments) {
  std::u16string what = u"(not NET USE syntax)";
  int exit_code = kExitOk;
  NetUse command;
  try {
    command = ParseNetUse(arguments);
    what = Describe(command);
    if (command.kind == NetUse::Kind::Connect)
      Connect(command);
    else
      UnmapLetter(command.letter);
    std::puts("The command completed successfully.");
  } catch (const SyntaxError& e) {
    std::fprintf(stderr,
                 "%s\n\nThe syntax of this command is:\n\n"
                 "NET USE devicename url [password] [/USER:user@domain] [/PERSISTENT:{YES|NO}]\n"
                 "NET USE devicename /DELETE\n",
                 e.what());
    exit_code = kExitSyntax;
  } catch (const NetError& e) {
    std::fprintf(stderr, "System error %u has occurred.\n\n%s\n", static_cast<unsigned>(e.code()), e.what());
    exit_code = kExitFailed;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s\n", e.what());
    exit_code = kExitFailed;
  }
  SecureWipe(command.password);
  for (auto& word : arguments) SecureWipe(word);
  AppendLog(exit_code, what);
  return exit_code;
}

}  // namespace
}  // namespace qlx::demo

int wmain(int argc, wchar_t** argv) {
  std::vector<std::u16string> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(qlx::platform::U16(std::wstring_view(argv[i])));
  return qlx::demo::Run(arguments);
}
