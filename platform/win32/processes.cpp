#include "platform/win32/processes.h"

#include <windows.h>

#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>

#include "base/secret_text.h"
#include "platform/win32/text.h"
#include "platform/win32/unique_handle.h"

namespace qlx::platform {

namespace {

// The structure the system reads its size from: 68 bytes for the 32-bit
// program, 104 for the 64-bit test build, and the attribute list's pointer
// after it.
static_assert(sizeof(STARTUPINFOW) == (sizeof(void*) == 4 ? 68 : 104));
static_assert(sizeof(STARTUPINFOEXW) == sizeof(STARTUPINFOW) + sizeof(void*));

// How long a terminated child may take to go; only so that its handles are
// closed on a process that is really gone.
constexpr DWORD kTerminationWaitMs = 5000;
constexpr UINT kTerminatedExitCode = 1;

struct DeleteAttributeList {
  void operator()(LPPROC_THREAD_ATTRIBUTE_LIST list) const noexcept { DeleteProcThreadAttributeList(list); }
};

// The null device, for the child's standard input, output and error.
// Inheritable, since that is how a handle reaches a child; the attribute
// list below keeps it the only one that does.
unique_handle OpenNullDevice() {
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  return unique_handle(CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   &inheritable, OPEN_EXISTING, 0, nullptr));
}

struct HandleList {
  std::unique_ptr<std::byte[]> memory;
  std::unique_ptr<std::remove_pointer_t<LPPROC_THREAD_ATTRIBUTE_LIST>, DeleteAttributeList> list;
};

// An attribute list that lets *handle, and no other inheritable handle of
// this process, reach the child; *handle must outlive it. No list when
// the system refuses one.
HandleList InheritOnly(HANDLE* handle) {
  HandleList result;
  SIZE_T size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  result.memory.reset(new (std::nothrow) std::byte[size]);
  if (result.memory == nullptr) return {};
  auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(result.memory.get());
  if (!InitializeProcThreadAttributeList(list, 1, 0, &size)) return {};
  result.list.reset(list);
  if (!UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handle, sizeof *handle, nullptr, nullptr))
    return {};
  return result;
}

ProcessOutcome WaitForChild(HANDLE process, DWORD timeout_ms) {
  if (WaitForSingleObject(process, timeout_ms) != WAIT_OBJECT_0) {
    // Still running (or its end could not be seen): it is not left behind
    // holding a console and the caller's hopes.
    TerminateProcess(process, kTerminatedExitCode);
    WaitForSingleObject(process, kTerminationWaitMs);
    return {ProcessOutcome::Kind::TimedOut, 0};
  }
  DWORD exit_code = 0;
  // An exit code that cannot be read is no success; the caller reads it
  // like a child that did not end in time.
  if (!GetExitCodeProcess(process, &exit_code)) return {ProcessOutcome::Kind::TimedOut, 0};
  return {ProcessOutcome::Kind::Exited, exit_code};
}

}  // namespace

ProcessOutcome Win32Processes::RunAndWait(const ProcessRequest& request) {
  if (!FitsCommandLine(request.command_line.size())) return {ProcessOutcome::Kind::NotStarted, 0};
  // The system may write into the line, so it gets a copy of its own.
  SecretText line(request.command_line);

  // NET USE asks in its console when it wants an answer (a disconnect with
  // files open on the drive, a password or drive of "*"); nobody sees that
  // hidden console, and the program would wait for the whole bound. With
  // the null device as its input the question meets end of input at once
  // and NET USE takes its default answer, which keeps the user's files and
  // the mapping. Its messages are for a person reading the console: with
  // the console hidden they went nowhere already, and the outcome is the
  // exit code alone; the null device takes them too, and a pipe nobody
  // reads can never fill up and stall the child.
  const unique_handle null_device = OpenNullDevice();
  if (!null_device) return {ProcessOutcome::Kind::NotStarted, 0};
  HANDLE inherited = null_device.get();

  const HandleList handles = InheritOnly(&inherited);
  if (!handles.list) return {ProcessOutcome::Kind::NotStarted, 0};
  LPPROC_THREAD_ATTRIBUTE_LIST list = handles.list.get();

  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  startup.StartupInfo.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
  startup.StartupInfo.wShowWindow = request.show_window;
  startup.StartupInfo.hStdInput = inherited;
  startup.StartupInfo.hStdOutput = inherited;
  startup.StartupInfo.hStdError = inherited;
  startup.lpAttributeList = list;

  unique_process_information child;
  if (!CreateProcessW(request.application.empty() ? nullptr : W(request.application), W(line), nullptr, nullptr,
                      TRUE, request.creation_flags | EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr,
                      &startup.StartupInfo, child.put()))
    return {ProcessOutcome::Kind::NotStarted, 0};

  return WaitForChild(child->hProcess, request.timeout_ms);
}

std::u16string Win32Processes::SystemDirectory() {
  // Asked twice: the first call gives the size with the terminator.
  const UINT needed = GetSystemDirectoryW(nullptr, 0);
  if (needed == 0) return {};
  std::u16string directory(needed, u'\0');
  const UINT length = GetSystemDirectoryW(W(directory), needed);
  if (length == 0 || length >= needed) return {};
  directory.resize(length);
  if (!directory.empty() && directory.back() == u'\\') directory.pop_back();
  return directory;
}

}  // namespace qlx::platform
