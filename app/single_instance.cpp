#include "app/single_instance.h"

#include <windows.h>

#include <exception>

#include "platform/win32/text.h"
#include "settings/program.h"

namespace qlx::app {

std::u16string MutexName(const std::u16string& path) {
  return settings::FileName(path).substr(0, kMaxMutexNameLength);
}

SingleInstanceGuard::SingleInstanceGuard(platform::ProgramFile& program) {
  try {
    name_ = MutexName(program.FullPath());
  } catch (const std::exception&) {
    // Without its own path a copy cannot name the mutex; ending here would
    // leave the user with no program at all.
    return;
  }
  // Only the name matters: nothing ever waits on the mutex or releases it.
  mutex_.reset(CreateMutexW(nullptr, TRUE, platform::W(name_)));
  const DWORD error = GetLastError();
  another_copy_runs_ = static_cast<bool>(mutex_) && error == ERROR_ALREADY_EXISTS;
  // A copy that finds another holds nothing; one that could not create the
  // mutex at all runs as the only one.
  if (another_copy_runs_) mutex_.reset();
}

void EndAsSecondCopy(platform::Clock& clock) {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) continue;  // a quit follows anyway
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  clock.Pause(kSecondCopyLingerMs);
  PostQuitMessage(0);
}

}  // namespace qlx::app
