// qlxctl doctor over doubles: every state of every check, what it sends
// online, what it prints, and that it changes nothing and never shows the
// password.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/errors.h"
#include "base/utf.h"
#include "cipher/base64.h"
#include "tests/tools/doctor_doubles.h"
#include "tools/qlxctl/cli.h"
#include "tools/qlxctl/doctor.h"

namespace qlx::test {
namespace {

using qlxctl::doctor::Check;
using qlxctl::doctor::Report;
using qlxctl::doctor::State;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr char kParametersForCommands[] = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\WebClient\\Parameters";

std::string U8(const std::u16string& text) { return Utf16ToUtf8(text); }

std::vector<std::uint8_t> Utf16Bytes(const std::u16string& text) { return MemoryRegistry::Bytes(text, true); }

std::string DecodeBase64(const std::string& text) {
  std::string out;
  int bits = 0, value = 0;
  for (char c : text) {
    const int v = cipher::Base64Value(static_cast<char16_t>(c));
    if (v < 0) continue;
    value = (value << 6) | v;
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<char>((value >> bits) & 0xFF));
    }
  }
  return out;
}

// --------------------------------------------------------------- all well

TEST_F(DoctorTest, AHealthyMachineIsAllOkAndNothingIsWritten) {
  const Report report = Diagnose();
  for (const Check& c : report.checks) {
    EXPECT_EQ(c.state, State::Ok) << c.id << ": " << c.value;
    EXPECT_EQ(c.fix, "") << c.id;
  }
  EXPECT_EQ(qlxctl::doctor::ExitCode(report), 0);
  EXPECT_EQ(Only(report, "settings.USER").value, "\"mario.rossi\"");
  EXPECT_EQ(Only(report, "settings.PASSWORD").value, "set");
  EXPECT_EQ(Only(report, "settings.PATHDRIVE").value, "\"Q:\"");
  EXPECT_EQ(Only(report, "settings.AUTOCONNECT").value, "\"S\": on");
  EXPECT_EQ(Only(report, "drive.letter").value, "Q: is free");
  EXPECT_EQ(Only(report, "system.net_exe").value, "C:\\Windows\\system32\\net.exe");
  EXPECT_EQ(Only(report, "webclient.service").value,
            "manual, stopped, trigger start (normal: the first WebDAV request starts it)");
  EXPECT_EQ(Only(report, "session.elevation").value, "not elevated: the same drives as the user's programs");
  EXPECT_EQ(Only(report, "network.proxy").value, "user: direct; WinHTTP: direct");
  EXPECT_EQ(Only(report, "webclient.FileSizeLimitInBytes").value,
            "50,000,000 bytes (default): a larger file cannot be copied");
  EXPECT_EQ(Only(report, "webclient.FileAttributesLimitInBytes").value,
            "1,000,000 bytes (default): a folder whose listing is larger does not open");
  // Unset timers are not listed; no online check without --online.
  EXPECT_EQ(Find(report, "webclient.SendReceiveTimeoutInSec"), nullptr);
  EXPECT_EQ(Find(report, "webclient.ServerNotFoundCacheLifeTimeInSec"), nullptr);
  EXPECT_EQ(Find(report, "online.propfind"), nullptr);
  EXPECT_TRUE(http.requests.empty());
  EXPECT_EQ(services.asked, std::vector<std::u16string>{u"WebClient"});
  EXPECT_EQ(connections.asked, std::vector<std::u16string>{u"Q:"});

  // Opened as the program opens it, never created, and no value written.
  EXPECT_TRUE(registry.LogOf("create").empty());
  EXPECT_TRUE(registry.LogOf("set").empty());
  for (const auto& op : registry.LogOf("open")) EXPECT_EQ(op.access, platform::access::kAllAccess);
  EXPECT_EQ(registry.OpenHandles(), 0u);
}

// ----------------------------------------------------------------- settings

TEST_F(DoctorTest, AMissingSettingsKeyIsAProblemAndIsNotCreated) {
  MemoryRegistry empty;
  platform::Context context = platform::CurrentContext();
  context.registry = &empty;
  platform::ScopedContext scope(context);
  const Report report = Diagnose(true);
  EXPECT_EQ(Only(report, "settings.key").state, State::Problem);
  EXPECT_THAT(Only(report, "settings.key").fix, HasSubstr("Parametri"));
  EXPECT_FALSE(empty.HasKey(kSettingsPath));
  EXPECT_EQ(Find(report, "settings.USER"), nullptr);
  EXPECT_EQ(Only(report, "drive.letter").state, State::Skipped);
  EXPECT_EQ(Only(report, "online.propfind").state, State::Skipped);
  EXPECT_TRUE(http.requests.empty());
  EXPECT_EQ(qlxctl::doctor::ExitCode(report), 1);
}

// The program opens the key for full access and reads nothing when that is
// refused; a doctor that read it with less saw settings the program never does.
TEST_F(DoctorTest, AKeyTheProgramCannotOpenForFullAccessIsAProblem) {
  registry.refuse_open = [](const std::u16string&, std::uint32_t access) {
    return access == platform::access::kAllAccess;
  };
  const Report report = Diagnose(true);
  const Check c = Only(report, "settings.key");
  EXPECT_EQ(c.state, State::Problem);
  EXPECT_EQ(c.value, "HKCU\\Software\\PELMORA\\QLXDrive can be read but not opened for full access, as the program "
                     "opens it: the program reads no value from it and Connetti does nothing");
  EXPECT_THAT(c.fix, HasSubstr("Full Control of HKCU\\Software\\PELMORA\\QLXDrive"));
  // Judged as the program sees it: no value, so nothing to connect with.
  EXPECT_EQ(Find(report, "settings.USER"), nullptr);
  EXPECT_EQ(Only(report, "online.propfind").state, State::Skipped);
  EXPECT_TRUE(http.requests.empty());
  EXPECT_TRUE(registry.LogOf("create").empty());
  EXPECT_EQ(registry.OpenHandles(), 0u);
  EXPECT_EQ(qlxctl::doctor::ExitCode(report), 1);
}

// Each value the connect needs, in each way it can be unusable.
TEST_F(DoctorTest, EachNeededValueAbsentEmptyBlankOrUnreadableIsNamed) {
  for (const std::u16string name : {u"USER", u"PASSWORD", u"PATHDRIVE"}) {
    const std::string id = "settings." + std::string(name.begin(), name.end());
    const auto good = registry.Get(kSettingsPath, name);
    SCOPED_TRACE(id);

    registry.Remove(kSettingsPath, name);
    Check c = Only(Diagnose(), id);
    EXPECT_EQ(c.state, State::Problem);
    EXPECT_EQ(c.value, "absent: Connetti does nothing without it");
    EXPECT_THAT(c.fix, HasSubstr("in Parametri and press Salva"));

    Store(name, u"");
    EXPECT_EQ(Only(Diagnose(), id).value, "empty: Connetti does nothing without it");
    Store(name, u" \t ");
    EXPECT_EQ(Only(Diagnose(), id).value, "blank: Connetti does nothing without it");
    EXPECT_EQ(Only(Diagnose(), id).state, State::Problem);

    // A value of the wrong type: the registry layer's own text.
    registry.SetRaw(kSettingsPath, name, platform::regtype::kDword, {5, 0, 0, 0});
    c = Only(Diagnose(), id);
    EXPECT_EQ(c.state, State::Problem);
    EXPECT_EQ(c.value, "unreadable: Invalid data type for '" + std::string(name.begin(), name.end()) + "'");
    EXPECT_EQ(c.fix, "Delete the damaged value with `reg delete \"HKCU\\Software\\PELMORA\\QLXDrive\" /v " +
                         std::string(name.begin(), name.end()) +
                         " /f` and enter the settings again in Parametri, then press Salva.");

    // A damaged protected text: the codec's own text.
    registry.SetText(kSettingsPath, name, u"/w==");
    c = Only(Diagnose(), id);
    EXPECT_EQ(c.state, State::Problem);
    EXPECT_EQ(c.value, "unreadable: No mapping for the Unicode character exists in the target multi-byte code page");

    registry.SetRaw(kSettingsPath, name, good->type, good->data);
    EXPECT_EQ(Only(Diagnose(), id).state, State::Ok);
  }
}

TEST_F(DoctorTest, TheDriveMustBeALetterAndAColon) {
  for (const std::u16string bad : {u"Z", u"1:", u"Z:\\", u"ZZ:", u"Z: ", u":Z", u"\u00C4:"}) {
    Store(u"PATHDRIVE", bad);
    const Report report = Diagnose();
    EXPECT_EQ(Only(report, "settings.PATHDRIVE").state, State::Problem);
    EXPECT_THAT(Only(report, "settings.PATHDRIVE").value, HasSubstr("is not a letter A-Z followed by \":\""));
    EXPECT_EQ(Only(report, "drive.letter").state, State::Skipped);
  }
  // Lower case is a letter too, checked as its capital.
  Store(u"PATHDRIVE", u"q:");
  const Report report = Diagnose();
  EXPECT_EQ(Only(report, "settings.PATHDRIVE").state, State::Ok);
  EXPECT_EQ(Only(report, "drive.letter").value, "Q: is free");
  EXPECT_EQ(connections.asked.back(), u"Q:");
}

TEST_F(DoctorTest, SwitchesAndTheProgramPathNeverStopTheConnect) {
  registry.Remove(kSettingsPath, u"AUTOCONNECT");
  Store(u"AUTORUN", u"s");
  registry.Remove(kSettingsPath, u"ConfigIniFilesPath");
  Report report = Diagnose();
  EXPECT_EQ(Only(report, "settings.AUTOCONNECT").value, "absent: off");
  EXPECT_EQ(Only(report, "settings.AUTOCONNECT").state, State::Ok);
  EXPECT_EQ(Only(report, "settings.AUTORUN").state, State::Warning);
  EXPECT_EQ(Only(report, "settings.AUTORUN").value, "\"s\": off (only \"S\" means on)");
  EXPECT_EQ(Only(report, "settings.ConfigIniFilesPath").value, "absent");
  EXPECT_EQ(qlxctl::doctor::ExitCode(report), 0);

  // Unreadable: a switch stops the program's load, the path does not.
  registry.SetRaw(kSettingsPath, u"AUTORUN", platform::regtype::kBinary, {1});
  registry.SetText(kSettingsPath, u"ConfigIniFilesPath", u"/w==");
  report = Diagnose();
  EXPECT_EQ(Only(report, "settings.AUTORUN").state, State::Problem);
  EXPECT_EQ(Only(report, "settings.AUTORUN").value, "unreadable: Invalid data type for 'AUTORUN'");
  EXPECT_EQ(Only(report, "settings.ConfigIniFilesPath").state, State::Warning);
}

// ------------------------------------------------------------------- letter

TEST_F(DoctorTest, TheLetterFreeLocalOrMapped) {
  drives.mask = [](int) { return (1u << 2) | (1u << ('Q' - 'A')); };
  Check c = Only(Diagnose(), "drive.letter");
  EXPECT_EQ(c.state, State::Problem);
  EXPECT_EQ(c.value, "Q: is a local drive, which NET USE cannot use");

  // A connection wins over the mask: mapped drives are in it too.
  connections.connection = {platform::DriveConnection::Status::Connected, u"\\\\files\\public", 0};
  c = Only(Diagnose(), "drive.letter");
  EXPECT_EQ(c.state, State::Warning);
  EXPECT_EQ(c.value, "Q: is mapped to \\\\files\\public");
  EXPECT_THAT(c.fix, HasSubstr("`net use Q: /delete`"));

  // The service folder of this user, as the redirector names it, is fine.
  connections.connection.remote = u"\\\\DAV.qlxdrive.example@SSL\\Mario.Rossi\\";
  c = Only(Diagnose(), "drive.letter");
  EXPECT_EQ(c.state, State::Ok);
  EXPECT_EQ(c.value, "Q: is mapped to \\\\DAV.qlxdrive.example@SSL\\Mario.Rossi\\, the service folder");
  // Another user's folder is not.
  connections.connection.remote = u"\\\\dav.qlxdrive.example@SSL\\luigi";
  EXPECT_EQ(Only(Diagnose(), "drive.letter").state, State::Warning);

  connections.connection = {platform::DriveConnection::Status::Failed, u"", 1200};
  c = Only(Diagnose(), "drive.letter");
  EXPECT_EQ(c.state, State::Warning);
  EXPECT_EQ(c.value, "Q: cannot be checked: The specified device name is invalid (1200)");
}

TEST(DoctorSameFolder, TheRedirectorsNamesOfAUrl) {
  using qlxctl::doctor::SameFolder;
  EXPECT_TRUE(SameFolder(u"https://dav.example/users/anna", u"https://dav.example/users/anna"));
  EXPECT_TRUE(SameFolder(u"HTTPS://DAV.EXAMPLE/users/anna/", u"https://dav.example/users/anna"));
  EXPECT_TRUE(SameFolder(u"\\\\dav.example@SSL\\users\\anna", u"https://dav.example/users/anna"));
  EXPECT_TRUE(SameFolder(u"\\\\dav.example@SSL\\users\\anna", u"https://dav.example:443/users/anna"));
  EXPECT_TRUE(SameFolder(u"\\\\dav.example@SSL@8443\\anna", u"https://dav.example:8443/anna"));
  EXPECT_TRUE(SameFolder(u"\\\\dav.example\\anna", u"http://dav.example/anna"));
  EXPECT_TRUE(SameFolder(u"\\\\127.0.0.1@8642\\anna", u"http://127.0.0.1:8642/anna"));
  EXPECT_FALSE(SameFolder(u"\\\\dav.example\\anna", u"https://dav.example/anna"));  // not @SSL
  EXPECT_FALSE(SameFolder(u"\\\\dav.example@SSL\\anna", u"https://dav.example:8443/anna"));
  EXPECT_FALSE(SameFolder(u"\\\\dav.example@SSL\\annamaria", u"https://dav.example/anna"));
  EXPECT_FALSE(SameFolder(u"\\\\other@SSL\\anna", u"https://dav.example/anna"));
}

// ------------------------------------------------------------------ net.exe

TEST_F(DoctorTest, NetExeInTheSystemFolder) {
  files.existing.clear();
  Check c = Only(Diagnose(), "system.net_exe");
  EXPECT_EQ(c.state, State::Problem);
  EXPECT_EQ(c.value, "C:\\Windows\\system32\\net.exe is missing");
  EXPECT_THAT(c.fix, HasSubstr("`sfc /scannow`"));
  // A net.exe elsewhere is not the one the connect runs.
  files.existing = {u"C:\\Windows\\net.exe"};
  EXPECT_EQ(Only(Diagnose(), "system.net_exe").state, State::Problem);
  processes.system_directory.clear();
  EXPECT_EQ(Only(Diagnose(), "system.net_exe").value, "the system folder cannot be read");
}

// ------------------------------------------------------------------ service

TEST_F(DoctorTest, TheWebClientServiceInEachState) {
  using S = platform::ServiceStatus;
  using St = S::Start;
  using R = S::Run;
  auto absent = [](S::Presence p, std::uint32_t error) {
    S s;
    s.presence = p;
    s.error = error;
    return s;
  };
  S odd = FakeServices::Status(St::Other, R::Other);
  odd.raw_start = 9;
  odd.raw_state = 12;
  struct Case {
    S status;
    State state;
    std::string value;
    std::string fix;
  };
  const std::vector<Case> cases = {
      {absent(S::Presence::Absent, 1060), State::Problem, "not installed: Windows has no WebDAV redirector here",
       "As administrator, install the WebDAV Redirector feature with PowerShell's `Install-WindowsFeature "
       "WebDAV-Redirector` and restart Windows."},
      {FakeServices::Status(St::Disabled, R::Stopped), State::Problem,
       "disabled, stopped: no WebDAV drive can be mapped", "As administrator, run `sc config WebClient start= demand`."},
      {FakeServices::Status(St::Manual, R::Stopped), State::Ok,
       "manual, stopped, trigger start (normal: the first WebDAV request starts it)", ""},
      {FakeServices::Status(St::Manual, R::Stopped, S::Trigger::Unknown), State::Ok,
       "manual, stopped (normal: Windows starts it on first use)", ""},
      {FakeServices::Status(St::Manual, R::Stopped, S::Trigger::Absent, S::StartRight::Allowed), State::Warning,
       "manual, stopped, no trigger start: it must be started before Connetti (this user may start it)",
       "Run `net start WebClient`, or as administrator `sc config WebClient start= auto` so that it starts with "
       "Windows."},
      {FakeServices::Status(St::Manual, R::Stopped, S::Trigger::Absent, S::StartRight::Unknown), State::Warning,
       "manual, stopped, no trigger start: it must be started before Connetti",
       "Run `net start WebClient`, or as administrator `sc config WebClient start= auto` so that it starts with "
       "Windows."},
      {FakeServices::Status(St::Manual, R::Stopped, S::Trigger::Absent, S::StartRight::Denied), State::Problem,
       "manual, stopped, no trigger start: nothing starts it, and this user may not start it",
       "As administrator, run `sc config WebClient start= auto` and `sc start WebClient`."},
      {FakeServices::Status(St::Manual, R::Running, S::Trigger::Absent, S::StartRight::Denied), State::Ok,
       "manual, running", ""},
      {FakeServices::Status(St::Automatic, R::Running), State::Ok, "automatic, running", ""},
      {FakeServices::Status(St::Automatic, R::Stopped), State::Warning, "automatic, stopped",
       "As administrator, run `sc start WebClient`."},
      {FakeServices::Status(St::Manual, R::Paused), State::Warning, "manual, paused",
       "As administrator, run `sc start WebClient`."},
      {odd, State::Warning, "start type 9, state 12", "As administrator, run `sc config WebClient start= demand`."},
      {absent(S::Presence::Unreadable, 5), State::Warning, "cannot be queried: Access is denied (5)",
       "Run `sc qc WebClient` and `sc query WebClient` to see its state."},
  };
  for (const Case& k : cases) {
    services.status = k.status;
    const Report report = Diagnose();
    const Check c = Only(report, "webclient.service");
    EXPECT_EQ(c.state, k.state) << k.value;
    EXPECT_EQ(c.value, k.value);
    EXPECT_EQ(c.fix, k.fix);
    EXPECT_EQ(qlxctl::doctor::ExitCode(report), k.state == State::Problem ? 1 : 0) << k.value;
  }
}

// --------------------------------------------------------------- parameters

TEST_F(DoctorTest, BasicAuthLevelAgainstTheServiceScheme) {
  const std::string fix_http = std::string("As administrator, run `reg add \"") + kParametersForCommands +
                               "\" /v BasicAuthLevel /t REG_DWORD /d 2 /f` and restart the service with `net stop "
                               "WebClient` and `net start WebClient`.";
  struct Case {
    std::optional<std::uint32_t> level;  // nullopt: not set
    const char16_t* base;
    State state;
    std::string value_start;
  };
  const std::vector<Case> cases = {
      {std::nullopt, u"https://dav.example/", State::Ok, "1 (default): Basic authentication over https only"},
      {std::nullopt, u"http://dav.example/", State::Problem, "1 (default): Basic authentication only over https, "
                                                             "and the service is http://, so the password is refused"},
      {0, u"https://dav.example/", State::Problem, "0: Basic authentication is off"},
      {0, u"http://dav.example/", State::Problem, "0: Basic authentication is off"},
      {1, u"http://dav.example/", State::Problem, "1: Basic authentication only over https"},
      {2, u"http://dav.example/", State::Ok, "2: Basic authentication over http and https"},
      {2, u"https://dav.example/", State::Ok, "2: Basic authentication over http and https"},
      {7, u"https://dav.example/", State::Warning, "7: not a known level"},
  };
  for (const Case& k : cases) {
    machine.keys.clear();
    if (k.level) machine.SetDword(u"BasicAuthLevel", *k.level);
    const Check c = Only(Diagnose(false, k.base), "webclient.BasicAuthLevel");
    EXPECT_EQ(c.state, k.state) << c.value;
    EXPECT_EQ(c.value.rfind(k.value_start, 0), 0u) << c.value;
    if (k.state == State::Ok) {
      EXPECT_EQ(c.fix, "");
    }
  }
  machine.keys.clear();
  EXPECT_EQ(Only(Diagnose(false, u"http://dav.example/"), "webclient.BasicAuthLevel").fix, fix_http);
  machine.SetDword(u"BasicAuthLevel", 0);
  EXPECT_THAT(Only(Diagnose(false, u"https://dav.example/"), "webclient.BasicAuthLevel").fix,
              HasSubstr("/v BasicAuthLevel /t REG_DWORD /d 1 /f"));

  // Of the wrong type it is not used: the default decides, and it is named.
  machine.Set(u"BasicAuthLevel", 1, Utf16Bytes(u"2"));
  Check c = Only(Diagnose(false, u"http://dav.example/"), "webclient.BasicAuthLevel");
  EXPECT_EQ(c.state, State::Problem);
  EXPECT_THAT(c.value, HasSubstr("the value set is of type REG_SZ, not REG_DWORD"));
  c = Only(Diagnose(false, u"https://dav.example/"), "webclient.BasicAuthLevel");
  EXPECT_EQ(c.state, State::Warning);
  EXPECT_THAT(c.fix, HasSubstr("/t REG_DWORD /d 1 /f"));
  machine.Set(u"BasicAuthLevel", 4, {2, 0});  // a DWORD of two bytes
  EXPECT_THAT(Only(Diagnose(), "webclient.BasicAuthLevel").value, HasSubstr("a REG_DWORD of 2 bytes"));

  machine.fail_with = 5;
  c = Only(Diagnose(), "webclient.BasicAuthLevel");
  EXPECT_EQ(c.state, State::Warning);
  EXPECT_EQ(c.value, "cannot be read: Access is denied (5)");
  EXPECT_THAT(c.fix, HasSubstr("`reg query \"" + std::string(kParametersForCommands) + "\" /v BasicAuthLevel`"));
}

TEST_F(DoctorTest, SizeLimitsAndTimersWithTheirDefaults) {
  machine.SetDword(u"FileSizeLimitInBytes", 4294967295u);
  machine.SetDword(u"FileAttributesLimitInBytes", 200000);
  machine.SetDword(u"SendReceiveTimeoutInSec", 180);
  machine.Set(u"ServerNotFoundCacheLifeTimeInSec", 11, {1, 0, 0, 0, 0, 0, 0, 0});
  const Report report = Diagnose();
  EXPECT_EQ(Only(report, "webclient.FileSizeLimitInBytes").value,
            "4,294,967,295 bytes: a larger file cannot be copied");
  EXPECT_EQ(Only(report, "webclient.FileSizeLimitInBytes").state, State::Ok);
  const Check attributes = Only(report, "webclient.FileAttributesLimitInBytes");
  EXPECT_EQ(attributes.state, State::Warning);
  EXPECT_EQ(attributes.value, "200,000 bytes: a folder whose listing is larger does not open, below the default");
  EXPECT_EQ(attributes.fix, std::string("As administrator, run `reg add \"") + kParametersForCommands +
                                "\" /v FileAttributesLimitInBytes /t REG_DWORD /d 50000000 /f` and restart the "
                                "service with `net stop WebClient` and `net start WebClient`.");
  EXPECT_EQ(Only(report, "webclient.SendReceiveTimeoutInSec").value, "180 s: a request that takes longer fails");
  const Check cache = Only(report, "webclient.ServerNotFoundCacheLifeTimeInSec");
  EXPECT_EQ(cache.state, State::Warning);
  EXPECT_EQ(cache.value, "set, but of type REG_QWORD, not REG_DWORD: the default applies");
  EXPECT_EQ(qlxctl::doctor::ExitCode(report), 0);

  machine.keys.clear();
  machine.Set(u"FileSizeLimitInBytes", 1, Utf16Bytes(u"4294967295"));
  const Check size = Only(Diagnose(), "webclient.FileSizeLimitInBytes");
  EXPECT_EQ(size.state, State::Warning);
  EXPECT_EQ(size.value,
            "50,000,000 bytes (the default: the value set is of type REG_SZ, not REG_DWORD): a larger file cannot be "
            "copied");
  EXPECT_THAT(size.fix, HasSubstr("/v FileSizeLimitInBytes /t REG_DWORD /d 4294967295 /f"));
}

TEST_F(DoctorTest, TheSchemeOfTheServiceIsReadWithoutCase) {
  for (const std::u16string base : {u"http://dav.qlxdrive.example/", u"Http://dav.qlxdrive.example/",
                                    u"HTTP://dav.qlxdrive.example/"}) {
    const Check c = Only(Diagnose(false, base), "webclient.BasicAuthLevel");
    EXPECT_EQ(c.state, State::Problem) << U8(base);
    EXPECT_THAT(c.fix, HasSubstr("/d 2 /f")) << U8(base);
  }
  EXPECT_EQ(Only(Diagnose(false, u"HTTPS://dav.qlxdrive.example/"), "webclient.BasicAuthLevel").state, State::Ok);
}

// ------------------------------------------------------------- session, proxy

TEST_F(DoctorTest, AnElevatedPromptSeesOtherDrivesUnlessTheyAreLinked) {
  constexpr char16_t kPolicies[] = u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Policies\\System";
  session.elevation = platform::Session::Elevation::Elevated;
  Check c = Only(Diagnose(), "session.elevation");
  EXPECT_EQ(c.state, State::Warning);
  EXPECT_THAT(c.value, HasSubstr("elevated while EnableLinkedConnections is off: a drive mapped here is invisible"));
  EXPECT_THAT(c.fix, HasSubstr("/v EnableLinkedConnections /t REG_DWORD /d 1 /f"));
  platform::MachineValue on;
  on.status = platform::MachineValue::Status::Ok;
  on.type = 4;
  on.data = {1, 0, 0, 0};
  machine.keys[kPolicies][u"EnableLinkedConnections"] = on;
  EXPECT_EQ(Only(Diagnose(), "session.elevation").state, State::Ok);
  on.data = {0, 0, 0, 0};
  machine.keys[kPolicies][u"EnableLinkedConnections"] = on;
  EXPECT_EQ(Only(Diagnose(), "session.elevation").state, State::Warning);
  session.elevation = platform::Session::Elevation::Unknown;
  EXPECT_EQ(Only(Diagnose(), "session.elevation").state, State::Skipped);
}

TEST_F(DoctorTest, TheProxiesAutomaticDetectionAndBypassList) {
  struct Case {
    bool auto_detect;
    std::u16string script, proxy, bypass;
    State state;
    std::string value_part;
  };
  const std::vector<Case> cases = {
      {true, u"", u"", u"", State::Warning, "user: automatic detection; WinHTTP: direct: automatic detection pauses"},
      {false, u"http://wpad/proxy.pac", u"", u"", State::Ok, "user: configuration script http://wpad/proxy.pac;"},
      {false, u"", u"proxy:8080", u"*.intra;<local>", State::Warning,
       "proxy proxy:8080, dav.qlxdrive.example not in its bypass list; WinHTTP: direct: the proxy must carry"},
      {false, u"", u"proxy:8080", u"*.QLXDRIVE.example", State::Ok,
       "proxy proxy:8080, dav.qlxdrive.example in its bypass list"},
      {false, u"", u"proxy:8080", u"intra; dav.qlxdrive.example", State::Ok, "in its bypass list"},
  };
  for (const Case& k : cases) {
    proxies.user = {};
    proxies.user.auto_detect = k.auto_detect;
    proxies.user.script_url = k.script;
    proxies.user.proxy = k.proxy;
    proxies.user.bypass = k.bypass;
    const Check c = Only(Diagnose(), "network.proxy");
    EXPECT_EQ(c.state, k.state) << c.value;
    EXPECT_THAT(c.value, HasSubstr(k.value_part));
    EXPECT_EQ(c.fix.empty(), k.state == State::Ok);
  }
  proxies.user = {};
  proxies.winhttp.proxy = u"gw:3128";
  EXPECT_THAT(Only(Diagnose(), "network.proxy").value,
              HasSubstr("WinHTTP: proxy gw:3128, dav.qlxdrive.example not in its bypass list"));
  proxies.winhttp = {};
  proxies.winhttp.readable = false;
  proxies.winhttp.error = 5;
  const Check c = Only(Diagnose(), "network.proxy");
  EXPECT_EQ(c.state, State::Warning);
  EXPECT_THAT(c.value, HasSubstr("WinHTTP: cannot be read: Access is denied (5)"));
}

// ------------------------------------------------------------------- online

using K = platform::HttpOutcome::Kind;
using ::testing::ElementsAre;

constexpr char kAs[] = " as mario.rossi@qlxdrive.example: ";
constexpr char16_t kFolder[] = u"https://dav.qlxdrive.example/mario.rossi";

TEST_F(DoctorTest, OnlineWalksAsTheRedirectorWithTheConnectsCredentials) {
  Store(u"USER", u"anna maria/è");
  const Report report = Diagnose(true, u"https://dav.qlxdrive.example/a/b/");
  const std::string folder = "https://dav.qlxdrive.example/a/b/anna%20maria%2F%C3%A8";
  EXPECT_THAT(http.Sent(), ElementsAre("OPTIONS https://dav.qlxdrive.example/", "OPTIONS " + folder,
                                       "PROPFIND https://dav.qlxdrive.example/a/ 0",
                                       "PROPFIND https://dav.qlxdrive.example/a/b/ 0", "PROPFIND " + folder + " 0",
                                       "PROPFIND " + folder + " 1"));
  for (const platform::HttpRequest& r : http.requests) {
    const std::string headers(r.headers.begin(), r.headers.end());
    const auto at = headers.find("Authorization: Basic ");
    ASSERT_NE(at, std::string::npos);
    const std::string encoded = headers.substr(at + 21, headers.find("\r\n", at) - at - 21);
    EXPECT_EQ(DecodeBase64(encoded), std::string("anna maria/è@qlxdrive.example:") + kPasswordUtf8);
    if (r.method == u"PROPFIND") {
      EXPECT_THAT(r.body, HasSubstr("<d:propfind xmlns:d=\"DAV:\">"));
    }
  }
  // One bound for all: each request gets what is left of it.
  EXPECT_EQ(http.requests[0].timeout_ms, 15000u);
  EXPECT_EQ(http.requests[5].timeout_ms, 15000u - 5 * 10);
  // The listing is read no further than its limit.
  EXPECT_EQ(http.requests[5].max_body, 1000001u);
  const std::vector<std::string> ids = {"online.root", "online.options", "online.path",
                                        "online.auth", "online.propfind", "online.folder"};
  std::vector<std::string> listed;
  for (const Check& c : report.checks)
    if (c.id.rfind("online.", 0) == 0) listed.push_back(c.id);
  EXPECT_EQ(listed, ids);
  for (const std::string& id : ids) EXPECT_EQ(Only(report, id).state, State::Ok) << Only(report, id).value;
  EXPECT_EQ(Only(report, "online.propfind").value,
            "PROPFIND " + folder + " as anna maria/è@qlxdrive.example: 207, the folder answers and the password is "
            "accepted");
  EXPECT_EQ(Only(report, "online.path").value, "every parent answers PROPFIND: /a/ 207, /a/b/ 207");
  EXPECT_EQ(Only(report, "online.options").value,
            "OPTIONS " + folder + " as anna maria/è@qlxdrive.example: 200, DAV \"1, 2\", Allow \"OPTIONS, GET, "
            "PROPFIND, PUT, LOCK\"");
}

TEST_F(DoctorTest, OnlineTellsEveryFolderStatusApart) {
  struct Case {
    std::uint32_t status;
    State state;
    std::string tail;  // the value after "PROPFIND <url> as <account>: "
    std::string fix_part;
  };
  const std::vector<Case> cases = {
      {207, State::Ok, "207, the folder answers and the password is accepted", ""},
      {401, State::Problem, "401, wrong user or password", "right user and password in Parametri"},
      {403, State::Problem, "403, the server refuses this account the folder", "give mario.rossi@qlxdrive.example access"},
      {404, State::Problem, "404, no such folder", "Check the user name"},
      {405, State::Problem, "405, the server does not speak WebDAV", "WebDAV service's address"},
      {501, State::Problem, "501, the server does not speak WebDAV", "WebDAV service's address"},
      {301, State::Problem, "unexpected status 301", "answers 301 to PROPFIND"},  // no Location
      {500, State::Problem, "unexpected status 500", "answers 500 to PROPFIND"},
  };
  for (const Case& k : cases) {
    http.outcome = FakeHttp::Answer(k.status);
    if (k.status == 401) http.outcome.www_authenticate = u"Basic realm=\"dav\"";
    const Report report = Diagnose(true);
    const Check c = Only(report, "online.propfind");
    EXPECT_EQ(c.state, k.state) << k.tail;
    EXPECT_EQ(c.value, "PROPFIND https://dav.qlxdrive.example/mario.rossi" + std::string(kAs) + k.tail);
    if (k.fix_part.empty()) {
      EXPECT_EQ(c.fix, "");
    } else {
      EXPECT_THAT(c.fix, HasSubstr(k.fix_part)) << k.tail;
    }
    EXPECT_EQ(qlxctl::doctor::ExitCode(report), k.state == State::Problem ? 1 : 0) << k.tail;
  }
}

// A connection that fails fails at the root, the first request: the rest is
// not sent and says why.
TEST_F(DoctorTest, OnlineTellsEveryConnectionFailureApart) {
  using T = std::uint32_t;
  struct Case {
    platform::HttpOutcome outcome;
    std::string tail;
    std::string fix_part;
  };
  const std::vector<Case> cases = {
      {FakeHttp::Fault(K::NameNotResolved, 12007), "the name dav.qlxdrive.example is not resolved",
       "`nslookup dav.qlxdrive.example`"},
      {FakeHttp::Fault(K::CannotConnect, 12029), "the connection to dav.qlxdrive.example was refused or is unreachable",
       "no firewall"},
      {FakeHttp::Fault(K::TimedOut, 12002), "no answer within 15 s (the time limit of the online checks)",
       "proxy and firewall"},
      {FakeHttp::Fault(K::SecureFailure, 12175, T{platform::tls::kUntrusted | platform::tls::kExpired}),
       "TLS failure (WinHTTP error 12175): the certificate's issuer is not trusted; the certificate has expired or "
       "is not valid yet",
       "trusted by Windows"},
      {FakeHttp::Fault(K::SecureFailure, 12038, platform::tls::kWrongName),
       "TLS failure (WinHTTP error 12038): the certificate is for another name", "valid for dav.qlxdrive.example"},
      {FakeHttp::Fault(K::SecureFailure, 12175), "TLS failure (WinHTTP error 12175): no detail from WinHTTP",
       "trusted by Windows"},
      {FakeHttp::Fault(K::SecureFailure, 12170, platform::tls::kRevoked),
       "TLS failure (WinHTTP error 12170): the certificate was revoked", "ask its administrators to replace it"},
      {FakeHttp::Fault(K::SecureFailure, 12057, platform::tls::kRevocationUnknown),
       "TLS failure (WinHTTP error 12057): revocation could not be checked", "revocation addresses (CRL and OCSP)"},
      {FakeHttp::Fault(K::ConnectionReset, 12030), "the server broke off the connection (error 12030)",
       "is an HTTP server"},
      {FakeHttp::Fault(K::Failed, 12152), "the request failed with WinHTTP error 12152", "proxy and firewall"},
  };
  for (const Case& k : cases) {
    http.requests.clear();
    http.options = k.outcome;
    const Report report = Diagnose(true);
    const Check root = Only(report, "online.root");
    EXPECT_EQ(root.state, State::Problem) << k.tail;
    EXPECT_EQ(root.value, "OPTIONS https://dav.qlxdrive.example/" + std::string(kAs) + k.tail);
    EXPECT_THAT(root.fix, HasSubstr(k.fix_part)) << k.tail;
    EXPECT_EQ(http.requests.size(), 1u) << k.tail;
    for (const char* id : {"online.options", "online.path", "online.auth", "online.propfind"}) {
      EXPECT_EQ(Only(report, id).state, State::Skipped) << id;
      EXPECT_THAT(Only(report, id).value, HasSubstr(k.tail)) << id;
    }
    EXPECT_EQ(qlxctl::doctor::ExitCode(report), 1);
  }
}

TEST_F(DoctorTest, TheRevocationVerdictsHaveTheirOwnFixes) {
  http.options = FakeHttp::Fault(K::SecureFailure, 12170, platform::tls::kRevoked);
  const Check revoked = Only(Diagnose(true), "online.root");
  http.options = FakeHttp::Fault(K::SecureFailure, 12057, platform::tls::kRevocationUnknown);
  const Check unknown = Only(Diagnose(true), "online.root");
  EXPECT_THAT(revoked.value, HasSubstr("revoked"));
  EXPECT_THAT(unknown.value, HasSubstr("revocation could not be checked"));
  EXPECT_NE(revoked.fix, unknown.fix);
  EXPECT_NE(revoked.cause, unknown.cause);
}

TEST_F(DoctorTest, TheSlashRedirectIsFollowedOnceOnTheSameOrigin) {
  const std::u16string slash = std::u16string(kFolder) + u"/";
  // Absolute or path-only, the usual answer of a server that adds the slash.
  for (const std::u16string& location : {slash, std::u16string(u"/mario.rossi/"),
                                         std::u16string(u"HTTPS://DAV.qlxdrive.example:443/mario.rossi/")}) {
    http.requests.clear();
    http.On(u"PROPFIND " + std::u16string(kFolder), FakeHttp::Redirect(301, location));
    const Report report = Diagnose(true);
    const Check c = Only(report, "online.propfind");
    EXPECT_EQ(c.state, State::Ok);
    EXPECT_EQ(c.value, "PROPFIND https://dav.qlxdrive.example/mario.rossi" + std::string(kAs) +
                           "207 (after the server's redirect to https://dav.qlxdrive.example/mario.rossi/), the folder "
                           "answers and the password is accepted");
    EXPECT_THAT(http.Sent(), ::testing::Contains("PROPFIND https://dav.qlxdrive.example/mario.rossi/ 0"));
    // The listing asks the folder where it answered.
    EXPECT_EQ(http.Sent().back(), "PROPFIND https://dav.qlxdrive.example/mario.rossi/ 1");
    EXPECT_EQ(Only(report, "online.folder").state, State::Ok);
  }
  // Another scheme, another port, another path, or a second redirect: not
  // followed, and the check names where it leads.
  for (const std::u16string& location :
       {std::u16string(u"http://dav.qlxdrive.example/mario.rossi/"),
        std::u16string(u"https://dav.qlxdrive.example:8443/mario.rossi/"),
        std::u16string(u"https://dav.qlxdrive.example/other/mario.rossi/")}) {
    http.requests.clear();
    http.On(u"PROPFIND " + std::u16string(kFolder), FakeHttp::Redirect(307, location));
    const Report report = Diagnose(true);
    const Check c = Only(report, "online.propfind");
    EXPECT_EQ(c.state, State::Problem);
    EXPECT_THAT(c.value, HasSubstr("307, redirected to " + U8(location)));
    // Nothing, and so no credentials, went anywhere else.
    for (const std::string& sent : http.Sent()) EXPECT_THAT(sent, Not(HasSubstr(U8(location)))) << sent;
  }
  http.On(u"PROPFIND " + std::u16string(kFolder), FakeHttp::Redirect(301, slash));
  http.On(u"PROPFIND " + slash, FakeHttp::Redirect(301, slash + u"x/"));
  const Check twice = Only(Diagnose(true), "online.propfind");
  EXPECT_EQ(twice.state, State::Problem);
  EXPECT_THAT(twice.value, HasSubstr("redirected to https://dav.qlxdrive.example/mario.rossi/x/"));
}

TEST_F(DoctorTest, TheRootIsAskedFirstAndNeedNotSpeakWebDav) {
  const std::u16string root = u"OPTIONS https://dav.qlxdrive.example/";
  http.On(root, FakeHttp::Answer(200));
  Check c = Only(Diagnose(true), "online.root");
  EXPECT_EQ(c.state, State::Ok);
  EXPECT_THAT(c.value, HasSubstr("200, no WebDAV at the root (normal: a plain web server in front)"));
  http.On(root, FakeHttp::Answer(405));
  const Report report = Diagnose(true);
  c = Only(report, "online.root");
  EXPECT_EQ(c.state, State::Problem);
  EXPECT_THAT(c.value, HasSubstr(": 405, an error at the root"));
  EXPECT_EQ(Only(report, "online.propfind").state, State::Ok);  // the folder answers all the same
  http.On(root, FakeHttp::Answer(401));
  EXPECT_EQ(Only(Diagnose(true), "online.root").state, State::Warning);
  http.On(root, FakeHttp::Redirect(302, u"https://login.example/"));
  c = Only(Diagnose(true), "online.root");
  EXPECT_EQ(c.state, State::Problem);
  EXPECT_THAT(c.value, HasSubstr("302, redirected to https://login.example/"));
}

TEST_F(DoctorTest, TheFoldersOptionsNeedDavClassOneAndPropfind) {
  struct Case {
    const char* dav;
    const char* allow;
    State state;
    std::string tail;
  };
  const std::vector<Case> cases = {
      {"1,2, access-control", "PROPFIND", State::Ok, ""},
      {"1", "OPTIONS, PROPFIND", State::Warning, ": no class 2 (locks), so Office files open read-only"},
      {"", "GET", State::Problem, ": no WebDAV class 1"},
      {"1, 2", "OPTIONS, GET", State::Problem, ": PROPFIND is not allowed"},
      {"1, 2", "", State::Ok, ""},  // no Allow list: nothing to judge
  };
  for (const Case& k : cases) {
    http.On(u"OPTIONS " + std::u16string(kFolder), FakeHttp::OptionsAnswer(k.dav, k.allow));
    const Check c = Only(Diagnose(true), "online.options");
    EXPECT_EQ(c.state, k.state) << k.dav << " / " << k.allow;
    EXPECT_THAT(c.value, ::testing::EndsWith("Allow \"" + std::string(k.allow) + "\"" + k.tail));
  }
  http.On(u"OPTIONS " + std::u16string(kFolder), FakeHttp::Answer(401));
  EXPECT_EQ(Only(Diagnose(true), "online.options").state, State::Skipped);
  http.On(u"OPTIONS " + std::u16string(kFolder), FakeHttp::Answer(500));
  EXPECT_THAT(Only(Diagnose(true), "online.options").value, HasSubstr(": 500, the folder refuses OPTIONS"));
}

TEST_F(DoctorTest, ThePathStopsAtTheFirstParentThatWouldStopTheRedirector) {
  http.On(u"PROPFIND https://dav.qlxdrive.example/a/", FakeHttp::Answer(401));
  const Report report = Diagnose(true, u"https://dav.qlxdrive.example/a/b/");
  const Check c = Only(report, "online.path");
  EXPECT_EQ(c.state, State::Problem);
  EXPECT_EQ(c.value, "the redirector stops at /a/: PROPFIND https://dav.qlxdrive.example/a/" + std::string(kAs) + "401");
  EXPECT_THAT(http.Sent(), Not(::testing::Contains("PROPFIND https://dav.qlxdrive.example/a/b/ 0")));
  EXPECT_EQ(Only(Diagnose(true), "online.path").value, "no parent between the root and the folder");
}

TEST_F(DoctorTest, AParentRefusingAWrongPasswordIsNotASecondCause) {
  // Every request is refused: the password, which the folder's check names.
  http.outcome = FakeHttp::Answer(401);
  http.outcome.www_authenticate = u"Basic realm=\"dav\"";
  const Report report = Diagnose(true, u"https://dav.qlxdrive.example/a/b/");
  const Check path = Only(report, "online.path");
  EXPECT_EQ(path.state, State::Skipped);
  EXPECT_THAT(path.value, HasSubstr("stops at /a/"));
  EXPECT_THAT(path.value, HasSubstr("judged by online.propfind"));
  EXPECT_THAT(qlxctl::doctor::FormatText(report), Not(HasSubstr("parent folder refuses")));
  // The folder accepting what a parent refuses is the walk's own problem.
  http.On(u"PROPFIND https://dav.qlxdrive.example/a/b/mario.rossi", FakeHttp::Answer(207));
  http.On(u"PROPFIND https://dav.qlxdrive.example/a/", FakeHttp::Answer(401));
  EXPECT_EQ(Only(Diagnose(true, u"https://dav.qlxdrive.example/a/b/"), "online.path").state, State::Problem);
}

TEST_F(DoctorTest, TheAuthenticationOffersBasicOrTheStoredPasswordIsUseless) {
  http.outcome = FakeHttp::Answer(401);
  http.outcome.www_authenticate = u"Digest realm=\"dav\", nonce=\"abc\", qop=\"auth\"\nNegotiate";
  Report report = Diagnose(true);
  Check auth = Only(report, "online.auth");
  EXPECT_EQ(auth.state, State::Problem);
  EXPECT_THAT(auth.value, HasSubstr("401 offering Digest, Negotiate, no Basic: the stored password cannot be used"));
  EXPECT_THAT(Only(report, "online.propfind").value, HasSubstr("401, the server offers no Basic authentication"));

  http.outcome.www_authenticate = u"Digest realm=\"dav\", basic realm=\"dav\"";
  report = Diagnose(true);
  EXPECT_EQ(Only(report, "online.auth").state, State::Ok);
  EXPECT_THAT(Only(report, "online.auth").value, HasSubstr("401 offering Digest, basic"));
  EXPECT_THAT(Only(report, "online.propfind").value, HasSubstr("401, wrong user or password"));

  // A login page, as a page or a redirect to one: forms authentication.
  http.outcome = FakeHttp::Answer(200);
  http.outcome.content_type = u"text/html; charset=utf-8";
  report = Diagnose(true);
  EXPECT_EQ(Only(report, "online.auth").state, State::Problem);
  EXPECT_THAT(Only(report, "online.auth").value, HasSubstr("200, a web page (text/html): a login page, forms "
                                                           "authentication (error 224)"));
  EXPECT_THAT(Only(report, "online.propfind").value, HasSubstr("forms authentication, error 224"));
  http.outcome = FakeHttp::Redirect(302, u"/login?next=/mario.rossi");
  auth = Only(Diagnose(true), "online.auth");
  EXPECT_EQ(auth.state, State::Problem);
  EXPECT_THAT(auth.value, HasSubstr("302 to https://dav.qlxdrive.example/login?next=/mario.rossi: a login page, forms "
                                    "authentication (error 224)"));
  // The folder's own verdict and the first cause say the same, not "redirects elsewhere".
  report = Diagnose(true);
  EXPECT_THAT(Only(report, "online.propfind").value, HasSubstr("a login page (forms authentication, error 224)"));
  EXPECT_THAT(qlxctl::doctor::FormatText(report),
              HasSubstr("cause 1: forms authentication (error 224) (online.propfind)\r\n"));
}

TEST_F(DoctorTest, TheListingNamesFilesOverTheSizeLimitAndStopsAtItsOwn) {
  machine.SetDword(u"FileSizeLimitInBytes", 1000);
  http.On(u"PROPFIND " + std::u16string(kFolder),
          [] {
            auto o = FakeHttp::Answer(207);
            o.body = FakeHttp::Listing({{"small.txt", 1000}, {"big%20one.iso", 1001}, {"huge.bin", 5000000000}});
            return o;
          }());
  Check c = Only(Diagnose(true), "online.folder");
  EXPECT_EQ(c.state, State::Warning);
  EXPECT_THAT(c.value, HasSubstr(": 207, 3 entries, listing "));
  EXPECT_THAT(c.value, ::testing::EndsWith("larger than FileSizeLimitInBytes 1,000 bytes, so they cannot be copied: "
                                           "big one.iso (1,001 bytes), huge.bin (5,000,000,000 bytes)"));
  EXPECT_THAT(c.fix, HasSubstr("FileSizeLimitInBytes"));

  machine.SetDword(u"FileAttributesLimitInBytes", 300);
  c = Only(Diagnose(true), "online.folder");
  EXPECT_EQ(c.state, State::Problem);
  EXPECT_THAT(c.value, HasSubstr("the listing is larger than FileAttributesLimitInBytes 300 bytes"));
  EXPECT_EQ(http.requests.back().max_body, 301u);
  http.answers.clear();
  http.outcome = FakeHttp::Answer(404);
  EXPECT_EQ(Only(Diagnose(true), "online.folder").state, State::Skipped);
}

TEST_F(DoctorTest, TheWholeOnlinePartSharesOneBound) {
  http.cost_ms = 6000;  // each answer takes 6 s
  Report report = Diagnose(true);
  EXPECT_EQ(http.requests.size(), 3u);  // root, options, folder: the listing finds no time left
  EXPECT_EQ(http.requests[1].timeout_ms, 9000u);
  EXPECT_EQ(http.requests[2].timeout_ms, 3000u);
  const Check c = Only(report, "online.folder");
  EXPECT_EQ(c.state, State::Skipped);
  EXPECT_THAT(c.value, HasSubstr("time limit"));

  // A root that never answers spends the bound; nothing else is sent.
  http.requests.clear();
  http.cost_ms = 10;
  http.options = FakeHttp::Fault(K::TimedOut, 12002);
  report = Diagnose(true);
  EXPECT_EQ(http.requests.size(), 1u);
  for (const char* id : {"online.root", "online.options", "online.path", "online.auth", "online.propfind",
                         "online.folder"})
    EXPECT_THAT(Only(report, id).value, HasSubstr("time limit")) << id;
}

TEST_F(DoctorTest, OnlineNeedsUserAndPassword) {
  Store(u"PASSWORD", u"  ");
  EXPECT_EQ(Only(Diagnose(true), "online.propfind").state, State::Skipped);
  registry.SetRaw(kSettingsPath, u"PASSWORD", platform::regtype::kDword, {1, 0, 0, 0});
  const Report report = Diagnose(true);
  for (const char* id : {"online.root", "online.options", "online.path", "online.auth", "online.propfind",
                         "online.folder"})
    EXPECT_EQ(Only(report, id).state, State::Skipped) << id;
  EXPECT_TRUE(http.requests.empty());
}

TEST_F(DoctorTest, TestParametersOnlyShortenTheBoundAndOnlyReachThisMachine) {
  environment.variables[qlxctl::doctor::kTimeoutVariable] = u"1500";
  environment.variables[qlxctl::doctor::kProbeUrlVariable] = u"http://127.0.0.1:8642/";
  http.options = FakeHttp::Fault(K::TimedOut, 12002);
  Check c = Only(Diagnose(true), "online.root");
  EXPECT_EQ(http.requests.back().timeout_ms, 1500u);
  EXPECT_EQ(http.requests.back().url, u"http://127.0.0.1:8642/");
  EXPECT_THAT(c.value, HasSubstr("no answer within 2 s"));
  http.options = FakeHttp::OptionsAnswer("1, 2", "PROPFIND");

  for (const std::u16string t : {u"60000", u"15000", u"0", u"-5", u"12x", u"", u"99999999999"}) {
    environment.variables[qlxctl::doctor::kTimeoutVariable] = t;
    http.requests.clear();
    Diagnose(true);
    EXPECT_EQ(http.requests.front().timeout_ms, 15000u);
  }
  environment.variables[qlxctl::doctor::kProbeUrlVariable] = u"https://127.0.0.1:8643/";
  Diagnose(true);
  EXPECT_EQ(http.requests.back().url, u"https://127.0.0.1:8643/mario.rossi");
  for (const std::u16string u : {u"http://dav.evil.example/", u"ftp://127.0.0.1:8642/", u"http://127.0.0.1:8642",
                                 u"http://127.0.0.1:1@evil.example/", u"http://127.0.0.10:80/", u"http://127.0.0.1:/",
                                 u"https://127.0.0.1:x/"}) {
    environment.variables[qlxctl::doctor::kProbeUrlVariable] = u;
    Diagnose(true);
    EXPECT_EQ(http.requests.back().url, kFolder);
  }
  // The letter and the parameters stay judged by the build's service.
  environment.variables[qlxctl::doctor::kProbeUrlVariable] = u"http://127.0.0.1:8642/";
  EXPECT_EQ(Only(Diagnose(true), "webclient.BasicAuthLevel").state, State::Ok);
}

// ------------------------------------------------------------------- output

TEST(DoctorJson, StringsAreEscaped) {
  using qlxctl::doctor::JsonString;
  EXPECT_EQ(JsonString("a\"b\\c"), "\"a\\\"b\\\\c\"");
  EXPECT_EQ(JsonString("\r\n\t\b\f"), "\"\\r\\n\\t\\b\\f\"");
  EXPECT_EQ(JsonString(std::string("\x01\x1f\x7f", 3)), "\"\\u0001\\u001f\\u007f\"");
  EXPECT_EQ(JsonString("è 日本"), "\"è 日本\"");
  EXPECT_EQ(JsonString(""), "\"\"");
}

TEST_F(DoctorTest, TextAndJsonCarryEveryCheck) {
  services.status = FakeServices::Status(platform::ServiceStatus::Start::Disabled, platform::ServiceStatus::Run::Stopped);
  Store(u"USER", u"a\"b\\c");
  const Report report = Diagnose();
  const std::string text = qlxctl::doctor::FormatText(report);
  EXPECT_EQ(text.rfind("QLXDrive doctor: service https://dav.qlxdrive.example/, account domain qlxdrive.example\r\n", 0),
            0u);
  EXPECT_THAT(text, HasSubstr("\r\nproblem  webclient.service                    disabled, stopped: no WebDAV drive "
                              "can be mapped\r\n         fix: As administrator, run `sc config WebClient start= "
                              "demand`.\r\n"));
  EXPECT_THAT(text, HasSubstr("\r\nok       settings.USER                        \"a\"b\\c\"\r\n"));
  EXPECT_THAT(text, HasSubstr("\r\n1 problem, 0 warnings.\r\ncause 1: the WebClient service is disabled "
                              "(webclient.service)\r\n"));

  const std::string json = qlxctl::doctor::FormatJson(report);
  EXPECT_THAT(json, HasSubstr("{\"id\":\"settings.USER\",\"state\":\"ok\",\"value\":\"\\\"a\\\"b\\\\c\\\"\",\"fix\":null}"));
  EXPECT_THAT(json, HasSubstr("{\"id\":\"webclient.service\",\"state\":\"problem\",\"value\":\"disabled, stopped: no "
                              "WebDAV drive can be mapped\",\"fix\":\"As administrator, run `sc config WebClient "
                              "start= demand`.\"}"));
  EXPECT_THAT(json, HasSubstr("\"problems\":1,\"warnings\":0,\"exit_code\":1}"));
  std::size_t ids = 0;
  for (std::size_t at = 0; (at = json.find("{\"id\":", at)) != std::string::npos; ++at) ++ids;
  EXPECT_EQ(ids, report.checks.size());
}

TEST_F(DoctorTest, TheTextEndsWithEachCauseOnceMostLikelyFirst) {
  services.status.presence = platform::ServiceStatus::Presence::Absent;
  http.outcome = FakeHttp::Answer(401);
  http.outcome.www_authenticate = u"Basic realm=\"x\"";
  Store(u"PATHDRIVE", u"Q");
  const std::string text = qlxctl::doctor::FormatText(Diagnose(true));
  EXPECT_THAT(text, ::testing::EndsWith("3 problems, 0 warnings.\r\n"
                                        "cause 1: wrong user or password (online.propfind)\r\n"
                                        "cause 2: no WebDAV redirector (WebClient) installed (webclient.service)\r\n"
                                        "cause 3: the stored drive is not a letter (settings.PATHDRIVE)\r\n"));
  // A healthy report ends with its count.
  http.outcome = FakeHttp::Answer(207);
  services.status.presence = platform::ServiceStatus::Presence::Installed;
  Store(u"PATHDRIVE", u"Q:");
  EXPECT_THAT(qlxctl::doctor::FormatText(Diagnose(true)), ::testing::EndsWith("0 problems, 0 warnings.\r\n"));
}

TEST_F(DoctorTest, ThePasswordIsInNoOutput) {
  // The password in every role it can take: read, sent, refused, and
  // damaged values around it.
  const std::string base64_of_pair = [] {
    std::string b = qlxctl::doctor::BasicAuthorization(u"mario.rossi@qlxdrive.example", kPassword);
    return b.substr(6);
  }();
  std::vector<std::string> outputs;
  auto collect = [&](bool online) {
    const Report report = Diagnose(online);
    outputs.push_back(qlxctl::doctor::FormatText(report));
    outputs.push_back(qlxctl::doctor::FormatJson(report));
  };
  collect(false);
  for (std::uint32_t status : {207u, 401u, 403u, 404u, 405u, 500u}) {
    http.outcome = FakeHttp::Answer(status);
    collect(true);
  }
  http.options = FakeHttp::Fault(platform::HttpOutcome::Kind::SecureFailure, 12175, 0xFF);
  collect(true);
  Store(u"PATHDRIVE", u"bad");
  registry.SetRaw(kSettingsPath, u"USER", platform::regtype::kDword, {1, 0, 0, 0});
  collect(true);
  for (const std::string& out : outputs) {
    EXPECT_THAT(out, Not(HasSubstr("pässwörd")));
    EXPECT_THAT(out, Not(HasSubstr("Zq7!")));
    EXPECT_THAT(out, Not(HasSubstr(base64_of_pair)));
  }
  EXPECT_EQ(outputs.size(), 18u);
}

// ---------------------------------------------------------------- the command

TEST_F(DoctorTest, TheCommandsExitCodes) {
  std::string out, err;
  qlxctl::Io io{[] { return std::string(); }, [&](const std::string& s) { out += s; },
                [&](const std::string& s) { err += s; }, {}};
  qlxctl::Options options = qlxctl::ParseArguments({u"doctor", u"--json"});
  EXPECT_TRUE(options.json);
  EXPECT_FALSE(options.online);
  EXPECT_EQ(qlxctl::doctor::Run(options, io), 0);
  EXPECT_EQ(out.front(), '{');
  EXPECT_EQ(err, "");

  out.clear();
  services.status.presence = platform::ServiceStatus::Presence::Absent;
  options = qlxctl::ParseArguments({u"doctor", u"--online"});
  EXPECT_TRUE(options.online);
  EXPECT_EQ(qlxctl::doctor::Run(options, io), 1);
  EXPECT_THAT(out, HasSubstr("problem  webclient.service"));
  EXPECT_THAT(out, HasSubstr("ok       online.propfind"));

  // A part of the system the doctor cannot reach at all: it could not run.
  out.clear();
  platform::Context broken = platform::CurrentContext();
  broken.services = nullptr;
  platform::ScopedContext scope(broken);
  EXPECT_EQ(qlxctl::doctor::Run(options, io), 2);
  EXPECT_EQ(out, "");
  EXPECT_THAT(err, HasSubstr("qlxctl: doctor could not run: No service manager in the installed platform context"));
}

TEST(DoctorCommandLine, OptionsAndWhereItRuns) {
  EXPECT_THROW(qlxctl::ParseArguments({u"doctor", u"--show-password"}), qlxctl::UsageError);
  EXPECT_THROW(qlxctl::ParseArguments({u"doctor", u"--online=yes"}), qlxctl::UsageError);
  EXPECT_THROW(qlxctl::ParseArguments({u"doctor", u"--json", u"--json"}), qlxctl::UsageError);
  std::string err;
  qlxctl::Io io{[] { return std::string(); }, [](const std::string&) {}, [&](const std::string& s) { err += s; }, {}};
  EXPECT_EQ(qlxctl::Run({u"doctor"}, io), 2);  // no Windows commands here
  EXPECT_THAT(err, HasSubstr("doctor is available on Windows only"));
  EXPECT_THAT(qlxctl::kUsage, HasSubstr("qlxctl doctor [--online] [--json]"));
}

}  // namespace
}  // namespace qlx::test
