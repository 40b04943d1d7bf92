#include "platform/win32/processes.h"

#include <windows.h>

#include "cipher/wipe.h"
#include "platform/win32/text.h"
#include "platform/win32/unique_handle.h"

namespace qlx::platform {

namespace {

// The structure the system reads its size from: 68 bytes for the 32-bit
// program, 104 for the 64-bit test build.
static_assert(sizeof(STARTUPINFOW) == (sizeof(void*) == 4 ? 68 : 104));

// CreateProcessW's own limit, the terminator included.
constexpr std::size_t kLongestLine = 32767;
// How long a terminated child may take to go; only so that its handles are
// closed on a process that is really gone.
constexpr DWORD kTerminationWaitMs = 5000;
constexpr UINT kTerminatedExitCode = 1;

}  // namespace

ProcessOutcome Win32Processes::RunAndWait(const ProcessRequest& request) {
  if (request.command_line.size() >= kLongestLine) return {ProcessOutcome::Kind::NotStarted, 0};
  // The system may write into the line; it may carry a password.
  Wiped<std::u16string> line(request.command_line);

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = request.show_window;

  unique_process_information child;
  if (!CreateProcessW(request.application.empty() ? nullptr : W(request.application), W(*line), nullptr, nullptr,
                      FALSE, request.creation_flags, nullptr, nullptr, &startup, child.put()))
    return {ProcessOutcome::Kind::NotStarted, 0};

  if (WaitForSingleObject(child->hProcess, request.timeout_ms) != WAIT_OBJECT_0) {
    // Still running (or its end could not be seen): it is not left behind
    // holding a console and the caller's hopes.
    TerminateProcess(child->hProcess, kTerminatedExitCode);
    WaitForSingleObject(child->hProcess, kTerminationWaitMs);
    return {ProcessOutcome::Kind::TimedOut, 0};
  }
  DWORD exit_code = 0;
  // An exit code that cannot be read is no success; the caller reads it
  // like a child that did not end in time.
  if (!GetExitCodeProcess(child->hProcess, &exit_code)) return {ProcessOutcome::Kind::TimedOut, 0};
  return {ProcessOutcome::Kind::Exited, exit_code};
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
