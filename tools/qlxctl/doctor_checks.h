#pragma once
// The doctor's inside: what every check receives, the checks of each area,
// and the text helpers they share. Each check reads only what it is given,
// so that it can be called with any set of readers.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/context.h"
#include "tools/qlxctl/doctor.h"

namespace qlx::qlxctl::doctor {

// What the checks read, gathered once per run.
struct Inputs {
  platform::ServiceManager& services;
  platform::MachineRegistry& machine;
  platform::NetworkConnections& connections;
  platform::Drives& drives;
  platform::Files& files;
  platform::Http& http;
  platform::Session& session;
  platform::ProxySettings& proxies;
  platform::Messages& messages;  // the system's error texts
  const Options& options;
  const StoredSettings& stored;
  std::u16string settings_key;      // as an administrator types it
  std::u16string service_base_url;  // the build's, or the test's other scheme
  std::u16string account_domain;
  std::u16string net_program;       // empty when the system folder is unknown
};

using Checks = std::vector<Check>;
using CheckFunction = Checks (*)(const Inputs&);

// ---- one function per check, by area (doctor_<area>.cpp)
Checks CheckSettingsKey(const Inputs& in);
Checks CheckNeededValues(const Inputs& in);
Checks CheckSwitches(const Inputs& in);
Checks CheckProgramPath(const Inputs& in);
Checks CheckLetter(const Inputs& in);
Checks CheckNet(const Inputs& in);
Checks CheckService(const Inputs& in);
Checks CheckElevation(const Inputs& in);
Checks CheckBasicAuthLevel(const Inputs& in);
Checks CheckFileSizeLimit(const Inputs& in);
Checks CheckAttributesLimit(const Inputs& in);
Checks CheckTimers(const Inputs& in);
Checks CheckProxy(const Inputs& in);
// The online part: root, options, path, auth, propfind, folder, in order.
Checks CheckOnline(const Inputs& in);

// ---- the redirector's parameters (HKLM), shared by the limits and the probe
inline constexpr char16_t kParameters[] = u"SYSTEM\\CurrentControlSet\\Services\\WebClient\\Parameters";
inline constexpr std::uint32_t kDefaultFileSizeLimit = 50000000, kDefaultAttributesLimit = 1000000;
struct Parameter {
  enum class Kind { Default, Set, WrongType, Unreadable } kind = Kind::Default;
  std::uint32_t value = 0;
  std::string note;  // for WrongType and Unreadable
};
Parameter ReadParameter(const Inputs& in, const char16_t* name, const char16_t* path = kParameters);
// The value the redirector uses: the one set, else its default.
std::uint32_t EffectiveParameter(const Inputs& in, const char16_t* name, std::uint32_t fallback);

// ---- URLs (doctor_urls.cpp)
struct UrlParts {
  std::u16string scheme;     // lower case
  std::u16string host_port;  // as written
  std::u16string path;       // from the first "/", "/" when none
};
UrlParts SplitUrl(const std::u16string& url);
std::u16string HostOnly(const std::u16string& host_port);
bool AsciiEqualFolded(std::u16string_view a, std::u16string_view b);
bool SchemeIs(const std::u16string& url, std::u16string_view scheme);
// Location resolved against the URL it answered (absolute or "/path").
std::u16string ResolveLocation(const std::u16string& from, const std::u16string& location);
// Scheme, host and port equal, the scheme and host compared without case.
bool SameOrigin(const std::u16string& a, const std::u16string& b);

// ---- text (doctor_text.cpp)
std::string U8(std::u16string text);
std::string Quoted(const std::u16string& text);
std::string Number(std::uint64_t n);
std::string Grouped(std::uint64_t n);  // 50000000 -> "50,000,000"
bool NonBlank(const std::u16string& text);
Check Make(std::string id, State state, std::string value, std::string fix = {});
// A problem with the few words the summary shows.
Check Problem(std::string id, std::string value, std::string fix, std::string cause);
// "text (number)" for a system error code.
std::string SystemError(platform::Messages& messages, std::uint32_t code);

}  // namespace qlx::qlxctl::doctor
