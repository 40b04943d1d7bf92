#pragma once
// `qlxctl doctor`: why a drive does not map, one check a line. Everything
// here reads and changes nothing. Each check is a function of what it reads
// (doctor_checks.h); Diagnose gathers those from the System it is handed,
// which the Win32 entry (doctor_win32.cpp) makes of the real service
// manager, HKLM reader, connection list, session, proxy settings and HTTP
// client, and the tests of doubles.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/context.h"
#include "platform/registry.h"
#include "tools/qlxctl/cli.h"

namespace qlx::qlxctl::doctor {

enum class State { Ok, Warning, Problem, Skipped };
const char* StateName(State state);

struct Check {
  std::string id;     // stable, for scripts: "settings.USER", "webclient.service", ...
  State state = State::Ok;
  std::string value;  // what was found, UTF-8; never the password
  std::string fix;    // one sentence for a warning or a problem, else empty
  std::string cause;  // a problem's cause in a few words, for the text's summary; empty: the value
};

struct Report {
  std::u16string service_base_url;
  std::u16string account_domain;
  std::vector<Check> checks;
};

// ----------------------------------------------------------------------
// The settings and mapping routines the doctor relies on, all in
// doctor_settings.cpp, so that their names change in one place.

struct StoredValue {
  enum class Status { Absent, Read, Unreadable };
  Status status = Status::Absent;
  std::u16string text;  // the plain text, for Read
  std::string error;    // for Unreadable: the error text the program would show
};

struct StoredSettings {
  // The program opens the key for full access and reads nothing when that
  // is refused: Refused is a key that exists but not for the program.
  enum class Key { Absent, Opened, Refused };
  Key key = Key::Absent;
  StoredValue drive, user, password, autoconnect, autorun, program_path;
  StoredSettings() = default;
  StoredSettings(const StoredSettings&) = delete;
  StoredSettings& operator=(const StoredSettings&) = delete;
  ~StoredSettings();  // wipes the password
};

// Reads every stored value the way the program does, with the key opened
// for full access as the program opens it, but never creates it: a missing
// key stays missing.
void ReadStoredSettings(platform::Registry& registry, StoredSettings& out);
// The settings key as an administrator types it ("HKCU\...").
std::u16string SettingsKeyForCommands();
std::u16string ServiceBaseUrl();
std::u16string AccountDomain();
// The net.exe the connect runs; empty when the system directory is unknown.
std::u16string NetProgram(platform::Processes& processes);
// The system's text for an error code, as the program shows it.
std::u16string SystemErrorText(platform::Messages& messages, std::uint32_t code);

// ----------------------------------------------------------------------

struct Options {
  bool online = false;
  std::uint32_t timeout_ms = 15000;  // the one bound on the whole online part
  std::u16string probe_base_url;     // the online request's base URL; empty: the build's
  std::u16string service_base_url;   // empty: the build's (tests give another scheme)
};

inline constexpr std::uint32_t kDefaultTimeoutMs = 15000;
// Test parameters, read from the environment: a shorter bound in
// milliseconds, and a base URL on 127.0.0.1 for the online request (so that
// a test server can stand in for the service; nothing else is accepted, so
// the password can never be sent anywhere but the build's service or this
// machine).
inline constexpr char16_t kTimeoutVariable[] = u"QLX_DOCTOR_TIMEOUT_MS";
inline constexpr char16_t kProbeUrlVariable[] = u"QLX_DOCTOR_SERVICE_URL";
Options OptionsFromEnvironment(platform::Environment& environment, bool online);

// The URL the connect maps for `user`, and the same with the user name
// percent-escaped as a request line needs it.
std::u16string FolderUrl(const std::u16string& base, const std::u16string& user);
std::u16string EscapedFolderUrl(const std::u16string& base, const std::u16string& user);
// "Basic " and the Base64 of user:password in UTF-8.
std::string BasicAuthorization(const std::u16string& account, const std::u16string& password);
// Whether a remote name from the connection list is the folder at `url`:
// the URL itself or the redirector's UNC form (\\host@SSL@port\path).
bool SameFolder(const std::u16string& remote, const std::u16string& url);

// What the diagnosis reads the system through; it only ever reads.
struct System {
  platform::Registry& registry;
  platform::Environment& environment;  // the test parameters
  platform::Processes& processes;      // the system folder, for net.exe
  platform::Messages& messages;        // the system's error texts
  platform::Drives& drives;
  platform::ServiceManager& services;
  platform::MachineRegistry& machine;
  platform::NetworkConnections& connections;
  platform::Files& files;
  platform::Http& http;
  platform::Session& session;
  platform::ProxySettings& proxies;
};

Report Diagnose(const System& system, const Options& options);
// 0 when no check is a problem, 1 otherwise.
int ExitCode(const Report& report);
// The checks, then one line per problem's cause, most likely first.
std::string FormatText(const Report& report);
std::string FormatJson(const Report& report);
std::string JsonString(const std::string& utf8);

// The command: 0 or 1 as ExitCode says, 2 when the doctor itself could not
// run (the reason on standard error).
int Run(const System& system, const qlxctl::Options& options, Io& io);

}  // namespace qlx::qlxctl::doctor
