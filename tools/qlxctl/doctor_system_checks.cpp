// This machine and this session: the drive letter, net.exe, the WebClient
// service and the token the doctor runs with.
#include "base/ascii.h"
#include "mapping/mapping.h"
#include "tools/qlxctl/doctor_checks.h"

namespace qlx::qlxctl::doctor {

namespace {

using Service = platform::ServiceStatus;

constexpr char16_t kPolicies[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";

std::string StartName(const Service& s) {
  switch (s.start) {
    case Service::Start::Boot: return "boot";
    case Service::Start::System: return "system";
    case Service::Start::Automatic: return "automatic";
    case Service::Start::Manual: return "manual";
    case Service::Start::Disabled: return "disabled";
    case Service::Start::Other: break;
  }
  return "start type " + Number(s.raw_start);
}

std::string RunName(const Service& s) {
  switch (s.state) {
    case Service::Run::Stopped: return "stopped";
    case Service::Run::Starting: return "starting";
    case Service::Run::Stopping: return "stopping";
    case Service::Run::Running: return "running";
    case Service::Run::Continuing: return "continuing";
    case Service::Run::Pausing: return "pausing";
    case Service::Run::Paused: return "paused";
    case Service::Run::Other: break;
  }
  return "state " + Number(s.raw_state);
}

// A manual service that is stopped: what starts it, if anything.
Check ManualStopped(const Service& s, const std::string& value) {
  const std::string id = "webclient.service";
  if (s.trigger == Service::Trigger::Present)
    return Make(id, State::Ok, value + ", trigger start (normal: the first WebDAV request starts it)");
  if (s.trigger == Service::Trigger::Unknown)
    return Make(id, State::Ok, value + " (normal: Windows starts it on first use)");
  if (s.start_right == Service::StartRight::Denied)
    return Problem(id, value + ", no trigger start: nothing starts it, and this user may not start it",
                   "As administrator, run `sc config WebClient start= auto` and `sc start WebClient`.",
                   "the WebClient service is stopped and nothing starts it");
  return Make(id, State::Warning,
              value + ", no trigger start: it must be started before Connetti" +
                  (s.start_right == Service::StartRight::Allowed ? " (this user may start it)" : ""),
              "Run `net start WebClient`, or as administrator `sc config WebClient start= auto` so that it "
              "starts with Windows.");
}

}  // namespace

Checks CheckLetter(const Inputs& in) {
  const std::string id = "drive.letter";
  const StoredValue& stored = in.stored.drive;
  const std::uint32_t bit = stored.status == StoredValue::Status::Read && stored.text.size() == 2
                               ? mapping::DriveBit(stored.text)
                               : 0;
  if (bit == 0) return {Make(id, State::Skipped, "no usable drive letter is stored")};
  std::u16string drive = stored.text;
  drive[0] = AsciiUpper(drive[0]);
  const std::string letter = U8(drive);
  const std::u16string folder = in.stored.user.status == StoredValue::Status::Read && NonBlank(in.stored.user.text)
                                    ? FolderUrl(in.service_base_url, in.stored.user.text)
                                    : std::u16string();

  const platform::DriveConnection connection = in.connections.RemoteOf(drive);
  if (connection.status == platform::DriveConnection::Status::Failed)
    return {Make(id, State::Warning, letter + " cannot be checked: " + SystemError(in.messages, connection.error),
                 "Run `net use` to see what " + letter + " is connected to.")};
  if (connection.status == platform::DriveConnection::Status::Connected) {
    if (!folder.empty() && SameFolder(connection.remote, folder))
      return {Make(id, State::Ok, letter + " is mapped to " + U8(connection.remote) + ", the service folder")};
    return {Make(id, State::Warning, letter + " is mapped to " + U8(connection.remote),
                 "Connetti removes that mapping first; to keep it, pick another letter in Parametri, or remove it "
                 "with `net use " + letter + " /delete`.")};
  }
  if (in.drives.LogicalDriveMask() & bit)
    return {Problem(id, letter + " is a local drive, which NET USE cannot use",
                    "Pick a free letter in Parametri and press Salva.", "the drive letter is a local drive")};
  return {Make(id, State::Ok, letter + " is free")};
}

Checks CheckNet(const Inputs& in) {
  if (in.net_program.empty())
    return {Problem("system.net_exe", "the system folder cannot be read",
                    "Ask an administrator to check this Windows installation.", "net.exe cannot be found")};
  if (!in.files.FileExists(in.net_program))
    return {Problem("system.net_exe", U8(in.net_program) + " is missing",
                    "As administrator, run `sfc /scannow` to restore the system's files.", "net.exe is missing")};
  return {Make("system.net_exe", State::Ok, U8(in.net_program))};
}

Checks CheckService(const Inputs& in) {
  const std::string id = "webclient.service";
  const Service s = in.services.Query(u"WebClient");
  switch (s.presence) {
    case Service::Presence::Absent:
      return {Problem(id, "not installed: Windows has no WebDAV redirector here",
                      "As administrator, install the WebDAV Redirector feature with PowerShell's "
                      "`Install-WindowsFeature WebDAV-Redirector` and restart Windows.",
                      "no WebDAV redirector (WebClient) installed")};
    case Service::Presence::Unreadable:
      return {Make(id, State::Warning, "cannot be queried: " + SystemError(in.messages, s.error),
                   "Run `sc qc WebClient` and `sc query WebClient` to see its state.")};
    case Service::Presence::Installed:
      break;
  }
  const std::string value = StartName(s) + ", " + RunName(s);
  if (s.start == Service::Start::Disabled)
    return {Problem(id, value + ": no WebDAV drive can be mapped",
                    "As administrator, run `sc config WebClient start= demand`.", "the WebClient service is disabled")};
  if (s.state == Service::Run::Running) return {Make(id, State::Ok, value)};
  if (s.start == Service::Start::Manual && s.state == Service::Run::Stopped) return {ManualStopped(s, value)};
  if (s.start == Service::Start::Manual || s.start == Service::Start::Automatic)
    return {Make(id, State::Warning, value, "As administrator, run `sc start WebClient`.")};
  return {Make(id, State::Warning, value, "As administrator, run `sc config WebClient start= demand`.")};
}

Checks CheckElevation(const Inputs& in) {
  const std::string id = "session.elevation";
  switch (in.session.Query()) {
    case platform::Session::Elevation::Unknown:
      return {Make(id, State::Skipped, "whether this prompt is elevated cannot be told")};
    case platform::Session::Elevation::NotElevated:
      return {Make(id, State::Ok, "not elevated: the same drives as the user's programs")};
    case platform::Session::Elevation::Elevated:
      break;
  }
  const Parameter linked = ReadParameter(in, u"EnableLinkedConnections", kPolicies);
  if (linked.kind == Parameter::Kind::Set && linked.value != 0)
    return {Make(id, State::Ok, "elevated, EnableLinkedConnections is on: the drives are shared with the user's "
                                "ordinary programs")};
  return {Make(id, State::Warning,
               "elevated while EnableLinkedConnections is off: a drive mapped here is invisible to the user's "
               "ordinary programs, and theirs to this prompt",
               "Run qlxctl and Connetti from a prompt that is not elevated, or as administrator run `reg add "
               "\"HKLM\\" + U8(kPolicies) + "\" /v EnableLinkedConnections /t REG_DWORD /d 1 /f` and restart Windows.")};
}

}  // namespace qlx::qlxctl::doctor
