#pragma once
// The one platform context: every way the portable layers reach outside the
// process, each behind a narrow interface. The program and qlxctl install
// the real one for the scope of main; tests install doubles per test. An
// interface left unset raises AssertionError when used, so a test states
// exactly which parts of the outside world it expects to be touched.
#include <cstdint>
#include <optional>
#include <string>

#include "platform/registry.h"

namespace qlx::platform {

class ProgramFile {
 public:
  virtual ~ProgramFile() = default;
  // The full path of the running program file, however long.
  virtual std::u16string FullPath() = 0;
};

// Sleep(ms). Doubles count pauses instead of sleeping.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual void Pause(std::uint32_t milliseconds) = 0;
};

// GetLogicalDrives: bit 0 is A:, bit 25 is Z:.
class Drives {
 public:
  virtual ~Drives() = default;
  virtual std::uint32_t LogicalDriveMask() = 0;
};

struct ProcessRequest {
  std::u16string application;   // empty: the system takes the first word of the line
  std::u16string command_line;  // handed over in a writable buffer
  std::uint16_t show_window = 0;
  std::uint32_t creation_flags = 0;
  std::uint32_t timeout_ms = 0;  // the bound on the wait; a child still running then is terminated
};

struct ProcessOutcome {
  enum class Kind { Exited, NotStarted, TimedOut };
  Kind kind = Kind::NotStarted;
  std::uint32_t exit_code = 0;  // as GetExitCodeProcess gave it, for Exited
};

// CreateProcessW, WaitForSingleObject, GetExitCodeProcess.
class Processes {
 public:
  virtual ~Processes() = default;
  virtual ProcessOutcome RunAndWait(const ProcessRequest& request) = 0;
  // GetSystemDirectoryW, without a trailing separator.
  virtual std::u16string SystemDirectory() = 0;
};

// ShellExecuteW with no owner window and no working directory.
class Shell {
 public:
  virtual ~Shell() = default;
  // The value ShellExecuteW returned (32 or less is a failure).
  virtual std::uintptr_t Execute(const std::u16string& verb, const std::u16string& file,
                                 const std::u16string& parameters, int show) = 0;
};

class Environment {
 public:
  virtual ~Environment() = default;
  // GetEnvironmentVariableW; nullopt when the variable is unset.
  virtual std::optional<std::u16string> Variable(const std::u16string& name) = 0;
};

// What the user is told in a modal box, and the system's error texts.
class Messages {
 public:
  enum class Kind {
    Plain,  // single OK button, no icon
    Error,  // single OK button, error icon
  };
  virtual ~Messages() = default;
  virtual void Show(const std::u16string& caption, const std::u16string& text, Kind kind) = 0;
  // GetLastError of the calling thread.
  virtual std::uint32_t LastError() = 0;
  // FormatMessageW from the system table, language 0, inserts ignored; the
  // text as the system gives it (no trimming here).
  virtual std::u16string SystemText(std::uint32_t code) = 0;
};

struct Context {
  Registry* registry = nullptr;
  ProgramFile* program = nullptr;
  Clock* clock = nullptr;
  Drives* drives = nullptr;
  Processes* processes = nullptr;
  Shell* shell = nullptr;
  Environment* environment = nullptr;
  Messages* messages = nullptr;
};

// Installs a context for its own lifetime and restores the one that was
// there before. Not copyable or movable: one scope, one context.
class ScopedContext {
 public:
  explicit ScopedContext(const Context& context);
  ~ScopedContext();
  ScopedContext(const ScopedContext&) = delete;
  ScopedContext& operator=(const ScopedContext&) = delete;

 private:
  Context previous_;
};

const Context& CurrentContext();
Registry& CurrentRegistry();
ProgramFile& CurrentProgramFile();
Clock& CurrentClock();
Drives& CurrentDrives();
Processes& CurrentProcesses();
Shell& CurrentShell();
Environment& CurrentEnvironment();
Messages& CurrentMessages();

// Shorthand for CurrentClock().Pause(ms).
void Pause(std::uint32_t milliseconds);

}  // namespace qlx::platform
