#pragma once
// Doubles of what the doctor reads, and one fixture that installs them with
// a machine where everything is well: settings stored, letter free, net.exe
// present, WebClient manual and stopped with its trigger start, no parameters
// set, no proxy, not elevated, and a server that answers every request well.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/context.h"
#include "settings/protected_value.h"
#include "tests/mapping/doubles.h"
#include "tests/settings/memory_registry.h"
#include "tools/qlxctl/doctor.h"

namespace qlx::test {

class FakeServices final : public platform::ServiceManager {
 public:
  platform::ServiceStatus status = Status(platform::ServiceStatus::Start::Manual, platform::ServiceStatus::Run::Stopped);
  static platform::ServiceStatus Status(platform::ServiceStatus::Start start, platform::ServiceStatus::Run state,
                                        platform::ServiceStatus::Trigger trigger =
                                            platform::ServiceStatus::Trigger::Present,
                                        platform::ServiceStatus::StartRight right =
                                            platform::ServiceStatus::StartRight::Allowed) {
    platform::ServiceStatus s;
    s.presence = platform::ServiceStatus::Presence::Installed;
    s.start = start;
    s.state = state;
    s.trigger = trigger;
    s.start_right = right;
    return s;
  }
  std::vector<std::u16string> asked;
  platform::ServiceStatus Query(const std::u16string& name) override {
    asked.push_back(name);
    return status;
  }
};

class FakeMachineRegistry final : public platform::MachineRegistry {
 public:
  // Path -> value name -> value; a path that is absent has no key.
  std::map<std::u16string, std::map<std::u16string, platform::MachineValue>> keys;
  std::optional<std::uint32_t> fail_with;  // every read fails with this code

  void SetDword(const std::u16string& name, std::uint32_t value) {
    Set(name, 4, {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                  static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)});
  }
  void Set(const std::u16string& name, std::uint32_t type, std::vector<std::uint8_t> data) {
    platform::MachineValue v;
    v.status = platform::MachineValue::Status::Ok;
    v.type = type;
    v.data = std::move(data);
    keys[kParameters][name] = v;
  }
  platform::MachineValue Read(const std::u16string& path, const std::u16string& name) override {
    platform::MachineValue v;
    if (fail_with) {
      v.status = platform::MachineValue::Status::Failed;
      v.error = *fail_with;
      return v;
    }
    const auto key = keys.find(path);
    if (key == keys.end()) return v;  // NoKey
    const auto value = key->second.find(name);
    if (value == key->second.end()) {
      v.status = platform::MachineValue::Status::NoValue;
      return v;
    }
    return value->second;
  }
  static constexpr char16_t kParameters[] = u"SYSTEM\\CurrentControlSet\\Services\\WebClient\\Parameters";
};

class FakeConnections final : public platform::NetworkConnections {
 public:
  platform::DriveConnection connection;  // not connected
  std::vector<std::u16string> asked;
  platform::DriveConnection RemoteOf(const std::u16string& drive) override {
    asked.push_back(drive);
    return connection;
  }
};

class FakeFiles final : public platform::Files {
 public:
  std::vector<std::u16string> existing{u"C:\\Windows\\system32\\net.exe"};
  bool FileExists(const std::u16string& path) override {
    for (const auto& e : existing)
      if (e == path) return true;
    return false;
  }
};

// Answers by method and URL ("OPTIONS http://h/"); what no rule names gets
// `outcome`. Each request costs `cost_ms` on the clock the bound is measured on.
class FakeHttp final : public platform::Http {
 public:
  std::vector<platform::HttpRequest> requests;
  platform::HttpOutcome outcome = Answer(207);  // PROPFIND's
  platform::HttpOutcome options = OptionsAnswer("1, 2", "OPTIONS, GET, PROPFIND, PUT, LOCK");
  std::map<std::u16string, platform::HttpOutcome> answers;
  std::uint64_t now_ms = 1000, cost_ms = 10;

  static platform::HttpOutcome Answer(std::uint32_t status) {
    platform::HttpOutcome o;
    o.kind = platform::HttpOutcome::Kind::Answered;
    o.status = status;
    if (status == 207) o.body = Listing({});
    return o;
  }
  static platform::HttpOutcome Fault(platform::HttpOutcome::Kind kind, std::uint32_t error, std::uint32_t tls = 0) {
    platform::HttpOutcome o;
    o.kind = kind;
    o.error = error;
    o.tls_faults = tls;
    return o;
  }
  static platform::HttpOutcome OptionsAnswer(const char* dav, const char* allow) {
    platform::HttpOutcome o = Answer(200);
    o.dav = std::u16string(dav, dav + std::char_traits<char>::length(dav));
    o.allow = std::u16string(allow, allow + std::char_traits<char>::length(allow));
    return o;
  }
  static platform::HttpOutcome Redirect(std::uint32_t status, const std::u16string& location) {
    platform::HttpOutcome o = Answer(status);
    o.location = location;
    return o;
  }
  // A multistatus of the folder and its files (name, length).
  static std::string Listing(const std::vector<std::pair<std::string, std::uint64_t>>& files) {
    std::string xml = "<?xml version=\"1.0\"?><D:multistatus xmlns:D=\"DAV:\"><D:response><D:href>/f/</D:href>"
                      "<D:propstat><D:prop><D:resourcetype><D:collection/></D:resourcetype></D:prop></D:propstat>"
                      "</D:response>";
    for (const auto& [name, length] : files)
      xml += "<D:response><D:href>/f/" + name + "</D:href><D:propstat><D:prop><D:resourcetype/>"
             "<D:getcontentlength>" + std::to_string(length) + "</D:getcontentlength></D:prop></D:propstat>"
             "</D:response>";
    return xml + "</D:multistatus>";
  }
  void On(const std::u16string& method_and_url, platform::HttpOutcome o) { answers[method_and_url] = std::move(o); }
  // The requests as "METHOD URL [Depth]".
  std::vector<std::string> Sent() const {
    std::vector<std::string> out;
    for (const auto& r : requests) {
      std::string line(r.method.begin(), r.method.end());
      line += " " + std::string(r.url.begin(), r.url.end());
      const auto depth = r.headers.find(u"Depth: ");
      if (depth != std::u16string::npos) line += " " + std::string(1, static_cast<char>(r.headers[depth + 7]));
      out.push_back(line);
    }
    return out;
  }

  platform::HttpOutcome Send(const platform::HttpRequest& request) override {
    requests.push_back(request);
    now_ms += cost_ms;
    const auto rule = answers.find(request.method + u" " + request.url);
    platform::HttpOutcome o = rule != answers.end() ? rule->second : request.method == u"OPTIONS" ? options : outcome;
    if (request.max_body && o.body.size() > request.max_body) {
      o.body.resize(request.max_body);
      o.body_cut = true;
    }
    if (o.kind == platform::HttpOutcome::Kind::TimedOut) now_ms += request.timeout_ms;
    return o;
  }
  std::uint64_t NowMs() override { return now_ms; }
};

class FakeSession final : public platform::Session {
 public:
  Elevation elevation = Elevation::NotElevated;
  Elevation Query() override { return elevation; }
};

class FakeProxies final : public platform::ProxySettings {
 public:
  platform::ProxyConfiguration user, winhttp;
  platform::ProxyConfiguration User() override { return user; }
  platform::ProxyConfiguration WinHttp() override { return winhttp; }
};

inline constexpr char16_t kSettingsPath[] = u"Software\\PELMORA\\QLXDrive";

class DoctorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Store(u"PATHDRIVE", u"Q:");
    Store(u"ConfigIniFilesPath", u"C:\\QLXDrive\\QLXDrive.exe");
    Store(u"USER", u"mario.rossi");
    Store(u"PASSWORD", kPassword);
    Store(u"AUTOCONNECT", u"S");
    Store(u"AUTORUN", u"N");
    registry.log.clear();
    messages.texts[1060] = u"The specified service does not exist as an installed service.\r\n";
    messages.texts[1200] = u"The specified device name is invalid.\r\n";
  }

  // The doctor's view of the doubles.
  qlxctl::doctor::System System() {
    return {*registry_in_use, environment, processes, messages, drives, *services_in_use,
            machine,          connections, files,     http,     session, proxies};
  }

  // A stored value in the program's own protected form.
  void Store(const std::u16string& name, const std::u16string& plain) {
    registry.SetText(kSettingsPath, name, settings::ProtectValue(plain));
  }

  qlxctl::doctor::Report Diagnose(bool online = false, const std::u16string& base = {}) {
    qlxctl::doctor::Options options = qlxctl::doctor::OptionsFromEnvironment(environment, online);
    options.service_base_url = base;
    return qlxctl::doctor::Diagnose(System(), options);
  }

  static const qlxctl::doctor::Check* Find(const qlxctl::doctor::Report& report, const std::string& id) {
    for (const auto& c : report.checks)
      if (c.id == id) return &c;
    return nullptr;
  }
  // The one check with this id; fails the test when it is missing.
  qlxctl::doctor::Check Only(const qlxctl::doctor::Report& report, const std::string& id) {
    const auto* c = Find(report, id);
    EXPECT_NE(c, nullptr) << "no check " << id;
    return c ? *c : qlxctl::doctor::Check{};
  }

  static constexpr char16_t kPassword[] = u"Zq7!pässwörd\"\\ 42";
  static constexpr char kPasswordUtf8[] = "Zq7!pässwörd\"\\ 42";

  MemoryRegistry registry;
  CountingClock clock;
  ScriptedDrives drives;
  RecordingProcesses processes;
  FakeEnvironment environment;
  RecordingMessages messages;
  FakeServices services;
  FakeMachineRegistry machine;
  FakeConnections connections;
  FakeFiles files;
  FakeHttp http;
  FakeSession session;
  FakeProxies proxies;
  // A test may hand the doctor another registry or service manager.
  platform::Registry* registry_in_use = &registry;
  platform::ServiceManager* services_in_use = &services;
};

// A service manager the system refuses to the doctor altogether.
class UnreachableServices final : public platform::ServiceManager {
 public:
  platform::ServiceStatus Query(const std::u16string&) override { throw AssertionError("No service manager"); }
};

}  // namespace qlx::test
