#pragma once
// The single-instance guard: one running copy per program file name. The
// guard is built while the tray controller is created, before any setting
// is read; ControlloSessione tells the start-up whether to go on.
#include <cstdint>
#include <string>

#include "platform/win32/unique_handle.h"

namespace qlx::app {

// The mutex name for a program path: the file name as the path spells it,
// no namespace prefix, at most its first 254 units (the system's buffer
// holds 255 with the terminator).
std::u16string NomeMutex(const std::u16string& percorso);
inline constexpr std::size_t kLunghezzaMassimaNome = 254;
// How long a second copy lingers before it ends.
inline constexpr std::uint32_t kAttesaSecondaCopiaMs = 2000;

// The guard's state, one object per process.
class TPreviousInstance {
 public:
  // Creates the named mutex (initially owned) or finds it held by another
  // copy; in that case the handle is closed at once.
  void SethPrevInst();

  // The name the mutex was created under.
  const std::u16string& AppName() const { return FAppName; }
  // The mutex handle while this copy holds it, 0 otherwise.
  std::uintptr_t MutexHandle() const { return reinterpret_cast<std::uintptr_t>(FMutexHandle.get()); }
  bool hPrevInst() const { return FhPrevInst; }
  // Closes the handle if it is still held.
  void Rilascia() { FMutexHandle.reset(); }

 private:
  std::u16string FAppName;
  platform::unique_handle FMutexHandle;
  bool FhPrevInst = false;
};

// The one TPreviousInstance of the process: null before the first guard is
// built, then kept to the end of the process.
TPreviousInstance* IstanzaPrecedente();

class TJustOne32 {
 public:
  // Creates the process's TPreviousInstance and asks it at once.
  TJustOne32();
  // Closes the mutex handle if this copy still holds it.
  ~TJustOne32();
  TJustOne32(const TJustOne32&) = delete;
  TJustOne32& operator=(const TJustOne32&) = delete;

  // True when another copy runs: the waiting messages are processed, the
  // copy waits 2000 ms and posts the quit message. False otherwise, at once.
  bool ControlloSessione();
};

}  // namespace qlx::app
