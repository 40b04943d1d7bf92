#include "tools/qlxctl/doctor.h"

#include <exception>

#include "tools/qlxctl/doctor_checks.h"

namespace qlx::qlxctl::doctor {

namespace {

// Every check, in the order the report lists them.
constexpr CheckFunction kOfflineChecks[] = {
    CheckSettingsKey,     CheckNeededValues,  CheckSwitches,          CheckProgramPath, CheckLetter,
    CheckNet,             CheckService,       CheckElevation,         CheckBasicAuthLevel,
    CheckFileSizeLimit,   CheckAttributesLimit, CheckTimers,          CheckProxy,
};

bool ParseShorterBound(const std::u16string& text, std::uint32_t& ms) {
  std::uint64_t value = 0;
  if (text.empty() || text.size() > 9) return false;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') return false;
    value = value * 10 + (c - u'0');
  }
  // Only ever shorter: a bound that no test parameter can lift.
  if (value == 0 || value >= kDefaultTimeoutMs) return false;
  ms = static_cast<std::uint32_t>(value);
  return true;
}

// http:// or https:// on 127.0.0.1 with a port, ending in "/", with nothing
// that could carry the request elsewhere.
bool LoopbackBase(const std::u16string& url) {
  for (const std::u16string prefix : {u"http://127.0.0.1:", u"https://127.0.0.1:"}) {
    if (url.rfind(prefix, 0) != 0 || url.size() <= prefix.size() + 1 || url.back() != u'/') continue;
    const std::size_t port_end = url.find(u'/', prefix.size());
    if (port_end == prefix.size()) return false;
    for (std::size_t i = prefix.size(); i < port_end; ++i)
      if (url[i] < u'0' || url[i] > u'9') return false;
    return url.find_first_of(u"@?#\\", prefix.size()) == std::u16string::npos;
  }
  return false;
}

}  // namespace

Options OptionsFromEnvironment(platform::Environment& environment, bool online) {
  Options options;
  options.online = online;
  if (const auto text = environment.Variable(kTimeoutVariable)) ParseShorterBound(*text, options.timeout_ms);
  if (const auto url = environment.Variable(kProbeUrlVariable); url && LoopbackBase(*url))
    options.probe_base_url = *url;
  return options;
}

Report Diagnose(const System& system, const Options& options) {
  Report report;
  report.service_base_url = options.service_base_url.empty() ? ServiceBaseUrl() : options.service_base_url;
  report.account_domain = AccountDomain();
  StoredSettings stored;
  ReadStoredSettings(system.registry, stored);
  const Inputs in{system.services,
                  system.machine,
                  system.connections,
                  system.drives,
                  system.files,
                  system.http,
                  system.session,
                  system.proxies,
                  system.messages,
                  options,
                  stored,
                  SettingsKeyForCommands(),
                  report.service_base_url,
                  report.account_domain,
                  NetProgram(system.processes)};
  for (CheckFunction check : kOfflineChecks)
    for (Check& c : check(in)) report.checks.push_back(std::move(c));
  if (options.online)
    for (Check& c : CheckOnline(in)) report.checks.push_back(std::move(c));
  return report;
}

int Run(const System& system, const qlxctl::Options& options, Io& io) {
  try {
    const Report report = Diagnose(system, OptionsFromEnvironment(system.environment, options.online));
    io.write_output(options.json ? FormatJson(report) : FormatText(report));
    return ExitCode(report);
  } catch (const std::exception& e) {
    io.write_error(std::string("qlxctl: doctor could not run: ") + e.what() + "\n");
    return 2;
  }
}

}  // namespace qlx::qlxctl::doctor
