#pragma once
// Every way the portable layers reach outside the process, each behind a
// narrow interface. The program and qlxctl make the real ones once in their
// entry points and hand each layer the ones it uses; tests hand in doubles,
// so a signature states exactly which parts of the outside world it touches.
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
// the presence of a file, HTTP requests, the token's elevation and the
// proxy settings. Every one only reads.

struct ServiceStatus {
  enum class Presence { Installed, Absent, Unreadable };
  // SERVICE_*_START and SERVICE_* states, named; Other keeps a number no
  // Windows version is known to give (raw_start, raw_state hold it).
  enum class Start { Boot, System, Automatic, Manual, Disabled, Other };
  enum class Run { Stopped, Starting, Stopping, Running, Continuing, Pausing, Paused, Other };
  // Whether the service manager lets this user start it (SERVICE_START).
  enum class StartRight { Unknown, Allowed, Denied };
  // Whether a trigger (for WebClient: the first WebDAV request) starts it;
  // Unknown where the system cannot tell.
  enum class Trigger { Unknown, Present, Absent };
  Presence presence = Presence::Absent;
  Start start = Start::Manual;
  Run state = Run::Stopped;
  std::uint32_t error = 0;  // the system error code, for Unreadable
  Trigger trigger = Trigger::Unknown;
  StartRight start_right = StartRight::Unknown;
  std::uint32_t raw_start = 0, raw_state = 0;
};

// OpenSCManagerW / OpenServiceW with query rights only; the start right is
// asked for and never used.
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
  std::size_t max_body = 0;      // the answer's body is read up to this many bytes
};

// The faults of a server certificate, as WinHTTP's error and status flags
// name them, one bit each.
namespace tls {
constexpr std::uint32_t kUntrusted = 0x1;          // the issuer is not trusted
constexpr std::uint32_t kWrongName = 0x2;          // for another host name
constexpr std::uint32_t kExpired = 0x4;            // expired or not valid yet
constexpr std::uint32_t kRevoked = 0x8;            // revoked
constexpr std::uint32_t kRevocationUnknown = 0x10; // revocation could not be checked
constexpr std::uint32_t kInvalid = 0x20;           // malformed or otherwise invalid
constexpr std::uint32_t kWrongUsage = 0x40;        // not for server authentication
constexpr std::uint32_t kHandshake = 0x80;         // the TLS handshake itself failed
constexpr std::uint32_t kClientCertificate = 0x100;  // the server asks for one
}  // namespace tls

struct HttpOutcome {
  enum class Kind {
    Answered,         // status holds the HTTP status
    NameNotResolved,  // the host name did not resolve
    CannotConnect,    // refused or unreachable
    TimedOut,         // no answer within the bound
    SecureFailure,    // TLS could not be set up; tls_faults say why when known
    ConnectionReset,  // the server broke off the connection
    Failed,           // anything else; error holds the code
  };
  Kind kind = Kind::Failed;
  std::uint32_t status = 0;
  std::uint32_t error = 0;      // the WinHTTP or system error code
  std::uint32_t tls_faults = 0;  // tls::k* bits, for SecureFailure
  // Of an answer: the headers a diagnosis judges (a repeated one's lines
  // joined by "\n"), and the body up to the request's max_body.
  std::u16string location, www_authenticate, content_type, dav, allow;
  std::string body;
  bool body_cut = false;  // the body went on beyond max_body
};

// One request through WinHTTP with the machine's WinHTTP proxy setting (the
// one services use), with certificate revocation checked; redirects are
// not followed but reported.
class Http {
 public:
  virtual ~Http() = default;
  virtual HttpOutcome Send(const HttpRequest& request) = 0;
  // A monotonic clock in milliseconds, what the requests' bounds are measured on.
  virtual std::uint64_t NowMs() = 0;
};

// The process's token: whether it runs elevated (TokenElevation).
class Session {
 public:
  enum class Elevation { Unknown, Elevated, NotElevated };
  virtual ~Session() = default;
  virtual Elevation Query() = 0;
};

struct ProxyConfiguration {
  bool readable = true;
  bool auto_detect = false;
  std::u16string script_url;  // a configuration script (PAC)
  std::u16string proxy;       // a fixed proxy, "host:port" or per-scheme list
  std::u16string bypass;      // the bypass list, ";" or blank separated
  std::uint32_t error = 0;    // the system error code, when not readable
};

// The proxy settings a WebDAV request can meet: the user's (Internet
// Options, what the redirector follows) and WinHTTP's own (netsh winhttp).
class ProxySettings {
 public:
  virtual ~ProxySettings() = default;
  virtual ProxyConfiguration User() = 0;
  virtual ProxyConfiguration WinHttp() = 0;
};

// The parts the tray program and qlxctl reach the system through, as their
// entry points make them once and hand them down. Each layer takes only the
// parts it uses from here.
struct Context {
  Registry& registry;
  ProgramFile& program;
  Clock& clock;
  Drives& drives;
  Processes& processes;
  Shell& shell;
  Environment& environment;
  Messages& messages;
};

}  // namespace qlx::platform
