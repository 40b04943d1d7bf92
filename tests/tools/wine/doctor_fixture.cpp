// What the doctor's Wine test sets up and takes down again: a service entry
// in the prefix's service manager, and a drive letter that exists only
// while one command runs (a DOS device, or a network connection as Wine's
// connection list reports it).
//
//   doctor_fixture service-create NAME auto|demand|disabled
//   doctor_fixture service-config NAME auto|demand|disabled
//   doctor_fixture service-delete NAME
//   doctor_fixture with-letter X: dos TARGET -- PROGRAM ARGS...
//   doctor_fixture with-letter X: unc HOST\SHARE -- PROGRAM ARGS...
// Exit code: the command's, or the child's for with-letter; 3 when the
// fixture itself failed (the reason on standard error).
#include <windows.h>
#include <winioctl.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "demo/wine_mount_manager.h"
#include "platform/win32/unique_handle.h"

namespace {

struct CloseServiceHandleOf {
  void operator()(SC_HANDLE handle) const noexcept { CloseServiceHandle(handle); }
};
using unique_schandle = qlx::platform::unique_any<SC_HANDLE, CloseServiceHandleOf>;

int Fail(const char* what) {
  std::fprintf(stderr, "doctor_fixture: %s failed (error %lu)\n", what, GetLastError());
  return 3;
}

DWORD StartType(const std::wstring& text) {
  if (text == L"auto") return SERVICE_AUTO_START;
  if (text == L"demand") return SERVICE_DEMAND_START;
  if (text == L"disabled") return SERVICE_DISABLED;
  return 0xFFFFFFFF;
}

int Service(const std::wstring& verb, const std::wstring& name, const std::wstring& start) {
  const unique_schandle manager(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return Fail("OpenSCManagerW");
  if (verb == L"service-create") {
    // Never started: the binary only has to be a path.
    const unique_schandle service(CreateServiceW(manager.get(), name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                                 SERVICE_WIN32_OWN_PROCESS, StartType(start), SERVICE_ERROR_IGNORE,
                                                 L"C:\\windows\\system32\\svchost.exe -k doctor-test", nullptr,
                                                 nullptr, nullptr, nullptr, nullptr));
    return service ? 0 : Fail("CreateServiceW");
  }
  const unique_schandle service(OpenServiceW(manager.get(), name.c_str(), SERVICE_ALL_ACCESS));
  if (!service) return Fail("OpenServiceW");
  if (verb == L"service-config")
    return ChangeServiceConfigW(service.get(), SERVICE_NO_CHANGE, StartType(start), SERVICE_NO_CHANGE, nullptr,
                                nullptr, nullptr, nullptr, nullptr, nullptr, nullptr)
               ? 0
               : Fail("ChangeServiceConfigW");
  return DeleteService(service.get()) ? 0 : Fail("DeleteService");
}

bool DefineUnixDrive(wchar_t letter, const std::string& mount_point) {
  return qlx::wine::DefineUnixDrive(letter, mount_point) == 0;
}

std::wstring Quote(const std::wstring& argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
  std::wstring quoted = L"\"";
  for (wchar_t c : argument) {
    if (c == L'"') quoted += L'\\';
    quoted += c;
  }
  return quoted + L"\"";
}

int WithLetter(const std::wstring& drive, const std::wstring& kind, const std::wstring& target, int argc,
               wchar_t** argv) {
  if (drive.size() != 2 || drive[1] != L':') return Fail("the drive argument");
  if (kind == L"dos") {
    if (!DefineDosDeviceW(0, drive.c_str(), target.c_str())) return Fail("DefineDosDeviceW");
  } else {
    std::string mount = "unc/";
    for (wchar_t c : target) mount += c == L'\\' ? '/' : static_cast<char>(c);
    if (!DefineUnixDrive(drive[0], mount)) return Fail("the mount manager's define");
  }
  std::wstring line;
  for (int i = 0; i < argc; ++i) line += (i ? L" " : L"") + Quote(argv[i]);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  DWORD code = 3;
  if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
    qlx::platform::unique_process_information owner(info);
    WaitForSingleObject(info.hProcess, INFINITE);
    GetExitCodeProcess(info.hProcess, &code);
  } else {
    Fail("CreateProcessW");
  }
  const bool removed = kind == L"dos" ? DefineDosDeviceW(DDD_REMOVE_DEFINITION, drive.c_str(), nullptr)
                                      : DefineUnixDrive(drive[0], {});
  if (!removed) return Fail("removing the letter");
  return static_cast<int>(code);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring verb = argc > 1 ? argv[1] : L"";
  if ((verb == L"service-create" || verb == L"service-config") && argc == 4) return Service(verb, argv[2], argv[3]);
  if (verb == L"service-delete" && argc == 3) return Service(verb, argv[2], L"");
  if (verb == L"with-letter" && argc >= 7 && std::wstring(argv[5]) == L"--")
    return WithLetter(argv[2], argv[3], argv[4], argc - 6, argv + 6);
  std::fputs("usage: see the comment at the top of doctor_fixture.cpp\n", stderr);
  return 3;
}
