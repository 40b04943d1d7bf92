#pragma once
// The one platform context: every way the portable layers reach outside the
// process, each behind a narrow interface. The program and qlxctl install
// the real one for the scope of main; tests install doubles per test. An
// interface left unset raises AssertionError when used, so a test states
// exactly which parts of the outside world it expects to be touched.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/secret_text.h"
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

// CreateProcessW's limit on its command line, the terminating zero included:
// a line takes at most one unit less.
inline constexpr std::size_t kLongestCommandLine = 32767;
inline constexpr bool FitsCommandLine(std::size_t units) { return units < kLongestCommandLine; }

struct ProcessRequest {
  std::u16string application;  // empty: the system takes the first word of the line
  SecretText command_line;     // may carry a password; handed over in a writable buffer
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

// --- What a diagnosis reads and nothing else uses: the service manager, the
// machine's part of the registry, the network connections of drive letters,
// the presence of a file, and one HTTP request. Every one only reads.

struct ServiceStatus {
  enum class Presence { Installed, Absent, Unreadable };
  Presence presence = Presence::Absent;
  std::uint32_t start_type = 0;     // SERVICE_AUTO_START 2, SERVICE_DEMAND_START 3, SERVICE_DISABLED 4
  std::uint32_t current_state = 0;  // SERVICE_STOPPED 1 ... SERVICE_RUNNING 4 ... SERVICE_PAUSED 7
  std::uint32_t error = 0;          // the system error code, for Unreadable
};

// OpenSCManagerW / OpenServiceW with query rights only.
class ServiceManager {
 public:
  virtual ~ServiceManager() = default;
  virtual ServiceStatus Query(const std::u16string& name) = 0;
};

struct MachineValue {
  enum class Status { Ok, NoKey, NoValue, Failed };
  Status status = Status::NoKey;
  std::uint32_t type = 0;          // REG_* as the registry gave it
  std::vector<std::uint8_t> data;  // the value's bytes as stored
  std::uint32_t error = 0;         // the system error code, for Failed
};

// One value under HKEY_LOCAL_MACHINE, read with KEY_READ; never creates.
class MachineRegistry {
 public:
  virtual ~MachineRegistry() = default;
  virtual MachineValue Read(const std::u16string& path, const std::u16string& name) = 0;
};

struct DriveConnection {
  enum class Status {
    NotConnected,  // no network connection on that letter
    Connected,     // remote holds what it is connected to (also a remembered, closed one)
    Failed,
  };
  Status status = Status::NotConnected;
  std::u16string remote;
  std::uint32_t error = 0;  // the system error code, for Failed
};

// WNetGetConnectionW for a drive text such as "Z:".
class NetworkConnections {
 public:
  virtual ~NetworkConnections() = default;
  virtual DriveConnection RemoteOf(const std::u16string& drive) = 0;
};

// GetFileAttributesW: true for an existing file (not a folder).
class Files {
 public:
  virtual ~Files() = default;
  virtual bool FileExists(const std::u16string& path) = 0;
};

struct HttpRequest {
  std::u16string method;
  std::u16string url;      // absolute http:// or https:// URL, escaped as it is to be sent
  std::u16string headers;  // extra header lines, each ending in CR LF
  std::string body;
  std::uint32_t timeout_ms = 0;  // the bound on the whole exchange
};

struct HttpOutcome {
  enum class Kind {
    Answered,         // status holds the HTTP status
    NameNotResolved,  // the host name did not resolve
    CannotConnect,    // refused or unreachable
    TimedOut,         // no answer within the bound
    SecureFailure,    // TLS could not be set up; certificate_flags say why when known
    Failed,           // anything else; error holds the code
  };
  Kind kind = Kind::Failed;
  std::uint32_t status = 0;
  std::uint32_t error = 0;              // the WinHTTP or system error code
  std::uint32_t certificate_flags = 0;  // WINHTTP_CALLBACK_STATUS_FLAG_* of a secure failure
};

// One request through WinHTTP with the machine's WinHTTP proxy setting (the
// one services use); redirects are not followed but reported.
class Http {
 public:
  virtual ~Http() = default;
  virtual HttpOutcome Send(const HttpRequest& request) = 0;
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
  // Read only by the diagnosis.
  ServiceManager* services = nullptr;
  MachineRegistry* machine_registry = nullptr;
  NetworkConnections* connections = nullptr;
  Files* files = nullptr;
  Http* http = nullptr;
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
ServiceManager& CurrentServices();
MachineRegistry& CurrentMachineRegistry();
NetworkConnections& CurrentConnections();
Files& CurrentFiles();
Http& CurrentHttp();

// Shorthand for CurrentClock().Pause(ms).
void Pause(std::uint32_t milliseconds);

}  // namespace qlx::platform
