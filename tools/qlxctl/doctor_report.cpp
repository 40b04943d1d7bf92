// The report's two forms: text for people, JSON for scripts.
#include <algorithm>
#include <cstdio>

#include "tools/qlxctl/doctor_checks.h"

namespace qlx::qlxctl::doctor {

namespace {

std::size_t Count(const Report& report, State state) {
  return static_cast<std::size_t>(std::count_if(report.checks.begin(), report.checks.end(),
                                                [state](const Check& c) { return c.state == state; }));
}

std::string Plural(std::size_t n, const char* one, const char* many) {
  return Number(n) + " " + (n == 1 ? one : many);
}

// How often each check's problem is the reason a drive does not map, most
// often first: what support desks meet, not the order the checks run in.
constexpr const char* kLikelihood[] = {
    "settings.key",      "settings.USER",       "settings.PASSWORD", "online.propfind",   "online.auth",
    "webclient.service", "webclient.BasicAuthLevel", "online.root",  "online.path",       "settings.PATHDRIVE",
    "drive.letter",      "online.options",      "online.folder",     "system.net_exe",
};

std::size_t Rank(const std::string& id) {
  const auto* end = std::end(kLikelihood);
  return static_cast<std::size_t>(std::find(std::begin(kLikelihood), end, id) - std::begin(kLikelihood));
}

// One line per problem's cause, most likely first; a cause two checks share
// is told once.
std::string Causes(const Report& report) {
  std::vector<const Check*> problems;
  for (const Check& c : report.checks)
    if (c.state == State::Problem) problems.push_back(&c);
  std::stable_sort(problems.begin(), problems.end(),
                   [](const Check* a, const Check* b) { return Rank(a->id) < Rank(b->id); });
  std::string out;
  std::vector<std::string> told;
  for (const Check* c : problems) {
    const std::string cause = c->cause.empty() ? c->value : c->cause;
    if (std::find(told.begin(), told.end(), cause) != told.end()) continue;
    told.push_back(cause);
    out += "cause " + Number(told.size()) + ": " + cause + " (" + c->id + ")\r\n";
  }
  return out;
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

int ExitCode(const Report& report) { return Count(report, State::Problem) ? 1 : 0; }

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
  return out + Causes(report);
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

}  // namespace qlx::qlxctl::doctor
