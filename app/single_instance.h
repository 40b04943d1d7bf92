#pragma once
// The single-instance guard: one running copy per program file name. The
// start-up code owns it for the life of the process; it decides, before any
// setting is read, whether another copy already runs.
#include <cstdint>
#include <string>

#include "platform/context.h"
#include "platform/win32/unique_handle.h"

namespace qlx::app {

// The mutex name for a program path: the file name as the path spells it,
// no namespace prefix, at most its first 254 units (the system's buffer
// holds 255 with the terminator).
std::u16string MutexName(const std::u16string& path);
inline constexpr std::size_t kMaxMutexNameLength = 254;
// How long a second copy lingers before it ends.
inline constexpr std::uint32_t kSecondCopyLingerMs = 2000;

class SingleInstanceGuard {
 public:
  // Creates the named mutex (initially owned) or finds it held by another
  // copy, whose handle is then closed at once. A copy that cannot tell (no
  // program path, no mutex) runs as the only one.
  explicit SingleInstanceGuard(platform::ProgramFile& program);
  SingleInstanceGuard(const SingleInstanceGuard&) = delete;
  SingleInstanceGuard& operator=(const SingleInstanceGuard&) = delete;
  // Closes the mutex handle if this copy holds it.
  ~SingleInstanceGuard() = default;

  bool AnotherCopyRuns() const { return another_copy_runs_; }
  // The name the mutex was created under (empty when the path was unknown).
  const std::u16string& Name() const { return name_; }
  // The mutex handle while this copy holds it, 0 otherwise.
  std::uintptr_t MutexHandle() const { return reinterpret_cast<std::uintptr_t>(mutex_.get()); }

 private:
  std::u16string name_;
  platform::unique_handle mutex_;
  bool another_copy_runs_ = false;
};

// The end of a copy that found another: the waiting messages are
// dispatched, the copy waits 2000 ms, and the quit message is posted.
void EndAsSecondCopy(platform::Clock& clock);

}  // namespace qlx::app
