#include "tools/qlxctl/doctor.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <optional>

#include "base/utf.h"
#include "base/wipe.h"
#include "cipher/base64.h"
#include "platform/context.h"

namespace qlx::qlxctl::doctor {

namespace {

// ------------------------------------------------------------ text helpers

std::string U8(std::u16string text) {
  // A stored text may hold a lone surrogate; the report shows U+FFFD there.
  ReplaceLoneSurrogates(text);
  return Utf16ToUtf8(text);
}

std::string Quoted(const std::u16string& text) {
  std::string quoted(1, '"');
  quoted += U8(text);
  quoted += '"';
  return quoted;
}

std::string Number(std::uint64_t n) { return std::to_string(n); }

// 50000000 -> "50,000,000", for the byte limits.
std::string Grouped(std::uint64_t n) {
  std::string digits = std::to_string(n), out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

bool AsciiEqualFolded(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto fold = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; };
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return true;
}

// The connect's completeness rule: something left after removing blanks
// and control characters at both ends.
bool NonBlank(const std::u16string& text) {
  return std::any_of(text.begin(), text.end(), [](char16_t c) { return c > u' '; });
}

Check Make(std::string id, State state, std::string value, std::string fix = {}) {
  return Check{std::move(id), state, std::move(value), std::move(fix)};
}

// ---------------------------------------------------------------- settings

std::string DeleteValueFix(const std::u16string& key, const char* name) {
  return std::string("Delete the damaged value with `reg delete \"") + U8(key) + "\" /v " + name +
         " /f` and enter the settings again in Parametri, then press Salva.";
}

// A letter A-Z (either case, as the drive test reads it) and ":".
bool DriveForm(const std::u16string& drive) {
  return drive.size() == 2 && drive[1] == u':' &&
         ((drive[0] >= u'A' && drive[0] <= u'Z') || (drive[0] >= u'a' && drive[0] <= u'z'));
}

void CheckSettings(const StoredSettings& s, const std::u16string& key, std::vector<Check>& out) {
  if (!s.key_opened) {
    out.push_back(Make("settings.key", State::Problem, "absent or not readable: " + U8(key),
                       "Open Parametri from the tray icon, enter drive, user and password, and press Salva."));
    return;
  }
  out.push_back(Make("settings.key", State::Ok, U8(key)));

  // The three values the connect needs.
  struct Needed {
    const char* name;
    const StoredValue& value;
    bool secret;
    const char* field;
  };
  for (const Needed& n : {Needed{"USER", s.user, false, "user name"}, Needed{"PASSWORD", s.password, true, "password"},
                          Needed{"PATHDRIVE", s.drive, false, "drive letter"}}) {
    const std::string id = std::string("settings.") + n.name;
    const std::string enter = std::string("Enter the ") + n.field + " in Parametri and press Salva.";
    switch (n.value.status) {
      case StoredValue::Status::Absent:
        out.push_back(Make(id, State::Problem, "absent: Connetti does nothing without it", enter));
        continue;
      case StoredValue::Status::Unreadable:
        out.push_back(Make(id, State::Problem, "unreadable: " + n.value.error, DeleteValueFix(key, n.name)));
        continue;
      case StoredValue::Status::Read:
        break;
    }
    if (!NonBlank(n.value.text)) {
      out.push_back(Make(id, State::Problem,
                         std::string(n.value.text.empty() ? "empty" : "blank") + ": Connetti does nothing without it",
                         enter));
      continue;
    }
    if (n.secret) {
      out.push_back(Make(id, State::Ok, "set"));
      continue;
    }
    if (&n.value == &s.drive && !DriveForm(n.value.text)) {
      out.push_back(Make(id, State::Problem, Quoted(n.value.text) + " is not a letter A-Z followed by \":\"",
                         "Pick the drive letter from the list in Parametri and press Salva."));
      continue;
    }
    out.push_back(Make(id, State::Ok, Quoted(n.value.text)));
  }

  // The two switches: anything but "S" reads as off.
  for (const auto& [name, value] : {std::pair<const char*, const StoredValue&>{"AUTOCONNECT", s.autoconnect},
                                    std::pair<const char*, const StoredValue&>{"AUTORUN", s.autorun}}) {
    const std::string id = std::string("settings.") + name;
    if (value.status == StoredValue::Status::Unreadable) {
      out.push_back(Make(id, State::Problem, "unreadable: " + value.error, DeleteValueFix(key, name)));
    } else if (value.status == StoredValue::Status::Absent) {
      out.push_back(Make(id, State::Ok, "absent: off"));
    } else if (value.text == u"S" || value.text == u"N") {
      out.push_back(Make(id, State::Ok, value.text == u"S" ? "\"S\": on" : "\"N\": off"));
    } else {
      out.push_back(Make(id, State::Warning, Quoted(value.text) + ": off (only \"S\" means on)",
                         "Set the switch in Parametri and press Salva."));
    }
  }

  // Written on every save and read by nothing: damage here stops nothing.
  const StoredValue& path = s.program_path;
  if (path.status == StoredValue::Status::Unreadable) {
    out.push_back(Make("settings.ConfigIniFilesPath", State::Warning, "unreadable: " + path.error,
                       "Press Salva in Parametri to write it again."));
  } else {
    out.push_back(Make("settings.ConfigIniFilesPath", State::Ok,
                       path.status == StoredValue::Status::Absent ? "absent" : Quoted(path.text)));
  }
}

// ------------------------------------------------------------------ letter

Check CheckLetter(const StoredSettings& s, const std::u16string& folder_url) {
  const std::string id = "drive.letter";
  if (s.drive.status != StoredValue::Status::Read || !DriveForm(s.drive.text))
    return Make(id, State::Skipped, "no usable drive letter is stored");
  std::u16string drive = s.drive.text;
  drive[0] = static_cast<char16_t>(drive[0] >= u'a' ? drive[0] - u'a' + u'A' : drive[0]);
  const std::string letter = U8(drive);

  const platform::DriveConnection connection = platform::CurrentConnections().RemoteOf(drive);
  if (connection.status == platform::DriveConnection::Status::Failed)
    return Make(id, State::Warning,
                letter + " cannot be checked: " + U8(SystemErrorText(connection.error)) + " (" +
                    Number(connection.error) + ")",
                "Run `net use` to see what " + letter + " is connected to.");
  if (connection.status == platform::DriveConnection::Status::Connected) {
    if (!folder_url.empty() && SameFolder(connection.remote, folder_url))
      return Make(id, State::Ok, letter + " is mapped to " + U8(connection.remote) + ", the service folder");
    return Make(id, State::Warning, letter + " is mapped to " + U8(connection.remote),
                "Connetti removes that mapping first; to keep it, pick another letter in Parametri, or remove it "
                "with `net use " +
                    letter + " /delete`.");
  }
  const int bit = drive[0] - u'A';
  if ((platform::CurrentDrives().LogicalDriveMask() >> bit) & 1u)
    return Make(id, State::Problem, letter + " is a local drive, which NET USE cannot use",
                "Pick a free letter in Parametri and press Salva.");
  return Make(id, State::Ok, letter + " is free");
}

// ----------------------------------------------------------------- net.exe

Check CheckNet() {
  const std::u16string net = NetProgram();
  if (net.empty())
    return Make("system.net_exe", State::Problem, "the system folder cannot be read",
                "Ask an administrator to check this Windows installation.");
  if (!platform::CurrentFiles().FileExists(net))
    return Make("system.net_exe", State::Problem, U8(net) + " is missing",
                "As administrator, run `sfc /scannow` to restore the system's files.");
  return Make("system.net_exe", State::Ok, U8(net));
}

// ----------------------------------------------------------------- service

constexpr char16_t kService[] = u"WebClient";
constexpr std::uint32_t kAutoStart = 2, kDemandStart = 3, kDisabled = 4;
constexpr std::uint32_t kStopped = 1, kRunning = 4;

std::string StartName(std::uint32_t start) {
  switch (start) {
    case 0: return "boot";
    case 1: return "system";
    case kAutoStart: return "automatic";
    case kDemandStart: return "manual";
    case kDisabled: return "disabled";
    default: return "start type " + Number(start);
  }
}

std::string RunName(std::uint32_t state) {
  switch (state) {
    case kStopped: return "stopped";
    case 2: return "starting";
    case 3: return "stopping";
    case kRunning: return "running";
    case 5: return "continuing";
    case 6: return "pausing";
    case 7: return "paused";
    default: return "state " + Number(state);
  }
}

Check CheckService() {
  const std::string id = "webclient.service";
  const platform::ServiceStatus status = platform::CurrentServices().Query(kService);
  switch (status.presence) {
    case platform::ServiceStatus::Presence::Absent:
      return Make(id, State::Problem, "not installed: Windows has no WebDAV redirector here",
                  "As administrator, install the WebDAV Redirector feature with PowerShell's "
                  "`Install-WindowsFeature WebDAV-Redirector` and restart Windows.");
    case platform::ServiceStatus::Presence::Unreadable:
      return Make(id, State::Warning,
                  "cannot be queried: " + U8(SystemErrorText(status.error)) + " (" + Number(status.error) + ")",
                  "Run `sc qc WebClient` and `sc query WebClient` to see its state.");
    case platform::ServiceStatus::Presence::Installed:
      break;
  }
  const std::string value = StartName(status.start_type) + ", " + RunName(status.current_state);
  if (status.start_type == kDisabled)
    return Make(id, State::Problem, value + ": no WebDAV drive can be mapped",
                "As administrator, run `sc config WebClient start= demand`.");
  if (status.current_state == kRunning) return Make(id, State::Ok, value);
  if (status.start_type == kDemandStart && status.current_state == kStopped)
    return Make(id, State::Ok, value + " (normal: Windows starts it on first use)");
  if (status.start_type == kDemandStart || status.start_type == kAutoStart)
    return Make(id, State::Warning, value, "As administrator, run `sc start WebClient`.");
  return Make(id, State::Warning, value, "As administrator, run `sc config WebClient start= demand`.");
}

// -------------------------------------------------------------- parameters

constexpr char16_t kParameters[] = u"SYSTEM\\CurrentControlSet\\Services\\WebClient\\Parameters";
constexpr std::uint32_t kRegDword = 4;

const char* TypeName(std::uint32_t type) {
  switch (type) {
    case 0: return "REG_NONE";
    case 1: return "REG_SZ";
    case 2: return "REG_EXPAND_SZ";
    case 3: return "REG_BINARY";
    case 4: return "REG_DWORD";
    case 5: return "REG_DWORD_BIG_ENDIAN";
    case 6: return "REG_LINK";
    case 7: return "REG_MULTI_SZ";
    case 11: return "REG_QWORD";
    default: return "an unknown type";
  }
}

std::string RegAdd(const char* name, std::uint64_t data) {
  return "`reg add \"HKLM\\" + U8(kParameters) + "\" /v " + name + " /t REG_DWORD /d " + Number(data) + " /f`";
}

std::string RegAddFix(const char* name, std::uint64_t data) {
  return "As administrator, run " + RegAdd(name, data) +
         " and restart the service with `net stop WebClient` and `net start WebClient`.";
}

// One parameter: its value, or why there is none to use.
struct Parameter {
  enum class Kind { Default, Set, WrongType, Unreadable } kind = Kind::Default;
  std::uint32_t value = 0;
  std::string note;  // for WrongType and Unreadable
};

Parameter ReadParameter(const char16_t* name) {
  const platform::MachineValue read = platform::CurrentMachineRegistry().Read(kParameters, name);
  Parameter p;
  switch (read.status) {
    case platform::MachineValue::Status::NoKey:
    case platform::MachineValue::Status::NoValue:
      return p;
    case platform::MachineValue::Status::Failed:
      p.kind = Parameter::Kind::Unreadable;
      p.note = "cannot be read: " + U8(SystemErrorText(read.error)) + " (" + Number(read.error) + ")";
      return p;
    case platform::MachineValue::Status::Ok:
      break;
  }
  if (read.type != kRegDword || read.data.size() != 4) {
    p.kind = Parameter::Kind::WrongType;
    p.note = read.type == kRegDword ? "a REG_DWORD of " + Number(read.data.size()) + " bytes"
                                    : std::string("of type ") + TypeName(read.type) + ", not REG_DWORD";
    return p;
  }
  p.kind = Parameter::Kind::Set;
  p.value = static_cast<std::uint32_t>(read.data[0] | (read.data[1] << 8) | (read.data[2] << 16)) |
            (static_cast<std::uint32_t>(read.data[3]) << 24);
  return p;
}

std::string ReadFix(const char* name) {
  return std::string("Ask an administrator to check it with `reg query \"HKLM\\") + U8(kParameters) + "\" /v " +
         name + "`.";
}

Check CheckBasicAuthLevel(const std::u16string& base_url) {
  const char* name = "BasicAuthLevel";
  const std::string id = std::string("webclient.") + name;
  const Parameter p = ReadParameter(u"BasicAuthLevel");
  if (p.kind == Parameter::Kind::Unreadable) return Make(id, State::Warning, p.note, ReadFix(name));
  const bool http = base_url.rfind(u"http://", 0) == 0 || base_url.rfind(u"HTTP://", 0) == 0;
  const std::uint32_t wanted = http ? 2 : 1;
  // A value of the wrong type is not used: the redirector keeps its default.
  const std::uint32_t level = p.kind == Parameter::Kind::Set ? p.value : 1;
  std::string value = Number(level);
  if (p.kind == Parameter::Kind::Default) value += " (default)";
  if (p.kind == Parameter::Kind::WrongType) value += " (the default: the value set is " + p.note + ")";
  State state = State::Ok;
  if (level == 0) {
    value += ": Basic authentication is off, so the password is never sent";
    state = State::Problem;
  } else if (level == 1) {
    value += http ? ": Basic authentication only over https, and the service is http://, so the password is refused"
                  : ": Basic authentication over https only";
    if (http) state = State::Problem;
  } else if (level == 2) {
    value += ": Basic authentication over http and https";
  } else {
    value += ": not a known level (0, 1 or 2)";
    state = State::Warning;
  }
  if (p.kind == Parameter::Kind::WrongType && state == State::Ok) state = State::Warning;
  return Make(id, state, value, state == State::Ok ? "" : RegAddFix(name, wanted));
}

// A limit below its default is a warning; at or above it, the value says
// what it means.
Check CheckLimit(const char16_t* wide_name, const char* name, std::uint32_t default_value, const char* meaning,
                 std::uint64_t suggested) {
  const std::string id = std::string("webclient.") + name;
  const Parameter p = ReadParameter(wide_name);
  if (p.kind == Parameter::Kind::Unreadable) return Make(id, State::Warning, p.note, ReadFix(name));
  if (p.kind == Parameter::Kind::WrongType)
    return Make(id, State::Warning,
                Grouped(default_value) + " bytes (the default: the value set is " + p.note + "): " + meaning,
                RegAddFix(name, suggested));
  const std::uint32_t limit = p.kind == Parameter::Kind::Set ? p.value : default_value;
  std::string value = Grouped(limit) + " bytes" + (p.kind == Parameter::Kind::Default ? " (default)" : "") + ": " +
                      meaning;
  if (limit < default_value) return Make(id, State::Warning, value + ", below the default", RegAddFix(name, suggested));
  return Make(id, State::Ok, value);
}

// Shown only when set: the defaults are what everybody has.
void CheckSeconds(const char16_t* wide_name, const char* name, const char* meaning, std::vector<Check>& out) {
  const std::string id = std::string("webclient.") + name;
  const Parameter p = ReadParameter(wide_name);
  switch (p.kind) {
    case Parameter::Kind::Default:
      return;
    case Parameter::Kind::Unreadable:
      out.push_back(Make(id, State::Warning, p.note, ReadFix(name)));
      return;
    case Parameter::Kind::WrongType:
      out.push_back(Make(id, State::Warning, "set, but " + p.note + ": the default applies",
                         std::string("As administrator, run `reg delete \"HKLM\\") + U8(kParameters) + "\" /v " + name +
                             " /f`, or set it again as REG_DWORD."));
      return;
    case Parameter::Kind::Set:
      out.push_back(Make(id, State::Ok, Number(p.value) + " s: " + meaning));
      return;
  }
}

// ------------------------------------------------------------------ online

constexpr std::uint32_t kWinHttpFlagRevocation = 0x1, kWinHttpFlagInvalidCert = 0x2, kWinHttpFlagRevoked = 0x4,
                        kWinHttpFlagInvalidCa = 0x8, kWinHttpFlagCnInvalid = 0x10, kWinHttpFlagDateInvalid = 0x20,
                        kWinHttpFlagWrongUsage = 0x40, kWinHttpFlagChannel = 0x80000000;

std::string CertificateText(std::uint32_t error, std::uint32_t flags) {
  // The error code names one fault; the callback's flags may name several.
  switch (error) {
    case 12037: flags |= kWinHttpFlagDateInvalid; break;
    case 12038: flags |= kWinHttpFlagCnInvalid; break;
    case 12045: flags |= kWinHttpFlagInvalidCa; break;
    case 12057: flags |= kWinHttpFlagRevocation; break;
    case 12169: flags |= kWinHttpFlagInvalidCert; break;
    case 12170: flags |= kWinHttpFlagRevoked; break;
    case 12179: flags |= kWinHttpFlagWrongUsage; break;
    case 12157: flags |= kWinHttpFlagChannel; break;
    default: break;
  }
  std::string text;
  auto add = [&](std::uint32_t bit, const char* what) {
    if (flags & bit) text += (text.empty() ? "" : "; ") + std::string(what);
  };
  add(kWinHttpFlagInvalidCa, "the certificate's issuer is not trusted");
  add(kWinHttpFlagCnInvalid, "the certificate is for another name");
  add(kWinHttpFlagDateInvalid, "the certificate has expired or is not valid yet");
  add(kWinHttpFlagRevoked, "the certificate was revoked");
  add(kWinHttpFlagRevocation, "the revocation check failed");
  add(kWinHttpFlagInvalidCert, "the certificate is invalid");
  add(kWinHttpFlagWrongUsage, "the certificate is not for server authentication");
  add(kWinHttpFlagChannel, "the TLS handshake failed");
  if (error == 12044) text += (text.empty() ? "" : "; ") + std::string("the server asks for a client certificate");
  return text.empty() ? "no detail from WinHTTP" : text;
}

std::u16string HostPort(const std::u16string& url) {
  const auto start = url.find(u"://");
  if (start == std::u16string::npos) return url;
  const auto end = url.find(u'/', start + 3);
  return url.substr(start + 3, end == std::u16string::npos ? std::u16string::npos : end - start - 3);
}

std::u16string HostOnly(const std::u16string& host_port) {
  if (!host_port.empty() && host_port.front() == u'[') return host_port.substr(0, host_port.find(u']') + 1);
  return host_port.substr(0, host_port.find(u':'));
}

Check CheckOnline(const Options& options, const StoredSettings& s, const std::u16string& build_base) {
  const std::string id = "online.propfind";
  if (s.user.status != StoredValue::Status::Read || s.password.status != StoredValue::Status::Read ||
      !NonBlank(s.user.text) || !NonBlank(s.password.text))
    return Make(id, State::Skipped, "the stored user and password are needed");
  const std::u16string base = options.probe_base_url.empty() ? build_base : options.probe_base_url;
  const std::u16string url = EscapedFolderUrl(base, s.user.text);
  const std::u16string account = s.user.text + u"@" + AccountDomain();
  const std::string where = "PROPFIND " + U8(url) + " as " + U8(account);

  struct Request {
    platform::HttpRequest data;
    ~Request() { SecureWipe(data.headers); }
  } request;
  request.data.method = u"PROPFIND";
  request.data.url = url;
  {
    Wiped<std::string> authorization(BasicAuthorization(account, s.password.text));
    request.data.headers.reserve(authorization->size() + 128);
    request.data.headers = u"Depth: 0\r\nContent-Type: application/xml; charset=utf-8\r\nAuthorization: ";
    for (char c : *authorization) request.data.headers.push_back(static_cast<char16_t>(c));
    request.data.headers += u"\r\n";
  }
  request.data.body =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
      "<d:propfind xmlns:d=\"DAV:\"><d:prop><d:resourcetype/></d:prop></d:propfind>";
  request.data.timeout_ms = options.timeout_ms;
  const platform::HttpOutcome outcome = platform::CurrentHttp().Send(request.data);

  const std::u16string host_port = HostPort(url);
  const std::string host = U8(HostOnly(host_port));
  using Kind = platform::HttpOutcome::Kind;
  switch (outcome.kind) {
    case Kind::NameNotResolved:
      return Make(id, State::Problem, where + ": the name " + host + " is not resolved",
                  "Check this machine's network connection and DNS, for instance with `nslookup " + host + "`.");
    case Kind::CannotConnect:
      return Make(id, State::Problem, where + ": the connection to " + U8(host_port) + " was refused or is unreachable",
                  "Check that the server is up and that no firewall or proxy blocks " + U8(host_port) + ".");
    case Kind::TimedOut:
      return Make(id, State::Problem,
                  where + ": no answer within " + Number((options.timeout_ms + 999) / 1000) + " s",
                  "Check the network, proxy and firewall between this machine and " + host + ".");
    case Kind::SecureFailure:
      return Make(id, State::Problem,
                  where + ": TLS failure (WinHTTP error " + Number(outcome.error) +
                      "): " + CertificateText(outcome.error, outcome.certificate_flags),
                  "The server's certificate must be valid for " + host +
                      " and trusted by Windows; check also this machine's date and time.");
    case Kind::Failed:
      // 12030 is WinHTTP's name for it, 10054 the socket's.
      if (outcome.error == 12030 || outcome.error == 10054)
        return Make(id, State::Problem,
                    where + ": the server broke off the connection (error " + Number(outcome.error) + ")",
                    "Check that " + U8(host_port) + " is an HTTP server and that no proxy or firewall cuts it off.");
      return Make(id, State::Problem, where + ": the request failed with WinHTTP error " + Number(outcome.error),
                  "Check the network, proxy and firewall between this machine and " + host + ".");
    case Kind::Answered:
      break;
  }
  const std::string status = Number(outcome.status);
  switch (outcome.status) {
    case 207:
      return Make(id, State::Ok, where + ": 207, the folder answers and the password is accepted");
    case 401:
      return Make(id, State::Problem, where + ": 401, wrong user or password",
                  "Enter the right user and password in Parametri and press Salva.");
    case 403:
      return Make(id, State::Problem, where + ": 403, the server refuses this account the folder",
                  "Ask the service's administrators to give " + U8(account) + " access to " + U8(url) + ".");
    case 404:
      return Make(id, State::Problem, where + ": 404, no such folder",
                  "Check the user name in Parametri: the folder is " + U8(url) + ".");
    case 405:
    case 501:
      return Make(id, State::Problem, where + ": " + status + ", the server does not speak WebDAV",
                  "Check that " + U8(base) + " is the WebDAV service's address (it is fixed when QLXDrive is built).");
    default:
      return Make(id, State::Problem, where + ": unexpected status " + status,
                  "Ask the service's administrators why " + U8(url) + " answers " + status + " to PROPFIND.");
  }
}

}  // namespace

const char* StateName(State state) {
  switch (state) {
    case State::Ok: return "ok";
    case State::Warning: return "warning";
    case State::Problem: return "problem";
    case State::Skipped: return "skipped";
  }
  return "?";
}

Options OptionsFromEnvironment(bool online) {
  Options options;
  options.online = online;
  platform::Environment& environment = platform::CurrentEnvironment();
  if (const auto text = environment.Variable(kTimeoutVariable)) {
    // Only ever shorter: a bound that no test parameter can lift.
    std::uint64_t ms = 0;
    bool digits = !text->empty() && text->size() <= 9;
    for (char16_t c : *text) {
      if (c < u'0' || c > u'9') digits = false;
      else ms = ms * 10 + (c - u'0');
    }
    if (digits && ms > 0 && ms < kDefaultTimeoutMs) options.timeout_ms = static_cast<std::uint32_t>(ms);
  }
  if (const auto url = environment.Variable(kProbeUrlVariable)) {
    const std::u16string prefix = u"http://127.0.0.1:";
    if (url->rfind(prefix, 0) == 0 && url->size() > prefix.size() + 1 && url->back() == u'/' &&
        url->find_first_of(u"@?#", prefix.size()) == std::u16string::npos)
      options.probe_base_url = *url;
  }
  return options;
}

std::u16string FolderUrl(const std::u16string& base, const std::u16string& user) { return base + user; }

std::u16string EscapedFolderUrl(const std::u16string& base, const std::u16string& user) {
  std::u16string url = base;
  std::u16string text = user;
  ReplaceLoneSurrogates(text);
  static const char hex[] = "0123456789ABCDEF";
  for (unsigned char b : Utf16ToUtf8(text)) {
    const bool unreserved =
        (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '-' || b == '.' ||
        b == '_' || b == '~' || b == '@' || b == '!' || b == '$' || b == '&' || b == '\'' || b == '(' || b == ')' ||
        b == '*' || b == '+' || b == ',' || b == ';' || b == '=' || b == ':';
    if (unreserved) {
      url.push_back(b);
    } else {
      url.push_back(u'%');
      url.push_back(static_cast<char16_t>(hex[b >> 4]));
      url.push_back(static_cast<char16_t>(hex[b & 15]));
    }
  }
  return url;
}

std::string BasicAuthorization(const std::u16string& account, const std::u16string& password) {
  std::u16string pair;
  pair.reserve(account.size() + password.size() + 1);
  pair = account;
  pair += u':';
  pair += password;
  ReplaceLoneSurrogates(pair);
  Wiped<std::u16string> wiped_pair(std::move(pair));
  Wiped<std::string> bytes(Utf16ToUtf8(*wiped_pair));
  std::u16string encoded;
  encoded.reserve((bytes->size() + 2) / 3 * 4);
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes->data());
  for (std::size_t i = 0; i < bytes->size(); i += 3)
    cipher::AppendBase64Group(encoded, data + i, std::min<std::size_t>(3, bytes->size() - i));
  Wiped<std::u16string> wiped_encoded(std::move(encoded));
  std::string header = "Basic ";
  header.reserve(6 + wiped_encoded->size());
  for (char16_t c : *wiped_encoded) header.push_back(static_cast<char>(c));
  return header;
}

bool SameFolder(const std::u16string& remote, const std::u16string& url) {
  auto trim = [](std::u16string_view text) {
    while (!text.empty() && (text.back() == u'/' || text.back() == u'\\')) text.remove_suffix(1);
    return text;
  };
  if (AsciiEqualFolded(trim(remote), trim(url))) return true;
  // The redirector names a WebDAV folder \\host[@SSL][@port]\path.
  const auto scheme_end = url.find(u"://");
  if (scheme_end == std::u16string::npos) return false;
  const bool https = AsciiEqualFolded(std::u16string_view(url).substr(0, scheme_end), u"https");
  const std::u16string host_port = HostPort(url);
  std::u16string host = HostOnly(host_port);
  std::u16string port = host_port.size() > host.size() + 1 ? host_port.substr(host.size() + 1) : u"";
  if (port == (https ? u"443" : u"80")) port.clear();
  std::u16string unc = u"\\\\" + host + (https ? u"@SSL" : u"") + (port.empty() ? u"" : u"@" + port);
  const std::size_t path_start = scheme_end + 3 + host_port.size();
  for (std::size_t i = path_start; i < url.size(); ++i) unc.push_back(url[i] == u'/' ? u'\\' : url[i]);
  return AsciiEqualFolded(trim(remote), trim(unc));
}

Report Diagnose(const Options& options) {
  Report report;
  report.service_base_url = options.service_base_url.empty() ? ServiceBaseUrl() : options.service_base_url;
  report.account_domain = AccountDomain();
  StoredSettings stored;
  ReadStoredSettings(stored);
  CheckSettings(stored, SettingsKeyForCommands(), report.checks);
  const std::u16string folder = stored.user.status == StoredValue::Status::Read && NonBlank(stored.user.text)
                                    ? FolderUrl(report.service_base_url, stored.user.text)
                                    : std::u16string();
  report.checks.push_back(CheckLetter(stored, folder));
  report.checks.push_back(CheckNet());
  report.checks.push_back(CheckService());
  report.checks.push_back(CheckBasicAuthLevel(report.service_base_url));
  report.checks.push_back(CheckLimit(u"FileSizeLimitInBytes", "FileSizeLimitInBytes", 50000000,
                                     "a larger file cannot be copied", 4294967295u));
  report.checks.push_back(CheckLimit(u"FileAttributesLimitInBytes", "FileAttributesLimitInBytes", 1000000,
                                     "a folder whose listing is larger does not open", 50000000));
  CheckSeconds(u"SendReceiveTimeoutInSec", "SendReceiveTimeoutInSec",
               "a request that takes longer fails", report.checks);
  CheckSeconds(u"ServerNotFoundCacheLifeTimeInSec", "ServerNotFoundCacheLifeTimeInSec",
               "a server not found is not tried again for this long", report.checks);
  if (options.online) report.checks.push_back(CheckOnline(options, stored, report.service_base_url));
  return report;
}

int ExitCode(const Report& report) {
  return std::any_of(report.checks.begin(), report.checks.end(),
                     [](const Check& c) { return c.state == State::Problem; })
             ? 1
             : 0;
}

namespace {

std::size_t Count(const Report& report, State state) {
  return static_cast<std::size_t>(std::count_if(report.checks.begin(), report.checks.end(),
                                                [state](const Check& c) { return c.state == state; }));
}

std::string Plural(std::size_t n, const char* one, const char* many) {
  return Number(n) + " " + (n == 1 ? one : many);
}

}  // namespace

std::string FormatText(const Report& report) {
  std::string out = "QLXDrive doctor: service " + U8(report.service_base_url) + ", account domain " +
                    U8(report.account_domain) + "\r\n";
  for (const Check& c : report.checks) {
    std::string state = StateName(c.state);
    std::string id = c.id;
    state.resize(std::max<std::size_t>(state.size(), 8), ' ');
    id.resize(std::max<std::size_t>(id.size(), 36), ' ');
    out += state + " " + id + " " + c.value + "\r\n";
    if (!c.fix.empty()) out += std::string(9, ' ') + "fix: " + c.fix + "\r\n";
  }
  out += Plural(Count(report, State::Problem), "problem", "problems") + ", " +
         Plural(Count(report, State::Warning), "warning", "warnings") + ".\r\n";
  return out;
}

std::string JsonString(const std::string& utf8) {
  std::string out = "\"";
  for (unsigned char c : utf8) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
          out += escaped;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

std::string FormatJson(const Report& report) {
  std::string out = "{\"service_base_url\":" + JsonString(U8(report.service_base_url)) +
                    ",\"account_domain\":" + JsonString(U8(report.account_domain)) + ",\"checks\":[";
  for (std::size_t i = 0; i < report.checks.size(); ++i) {
    const Check& c = report.checks[i];
    out += std::string(i ? "," : "") + "\n{\"id\":" + JsonString(c.id) + ",\"state\":" + JsonString(StateName(c.state)) +
           ",\"value\":" + JsonString(c.value) + ",\"fix\":" + (c.fix.empty() ? "null" : JsonString(c.fix)) + "}";
  }
  out += "],\n\"problems\":" + Number(Count(report, State::Problem)) +
         ",\"warnings\":" + Number(Count(report, State::Warning)) + ",\"exit_code\":" + Number(ExitCode(report)) +
         "}\n";
  return out;
}

int Run(const qlxctl::Options& options, Io& io) {
  try {
    const Report report = Diagnose(OptionsFromEnvironment(options.online));
    io.write_output(options.json ? FormatJson(report) : FormatText(report));
    return ExitCode(report);
  } catch (const std::exception& e) {
    io.write_error(std::string("qlxctl: doctor could not run: ") + e.what() + "\n");
    return 2;
  }
}

}  // namespace qlx::qlxctl::doctor
