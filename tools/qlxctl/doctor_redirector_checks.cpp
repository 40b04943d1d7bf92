// The redirector's parameters under HKLM, as the WebClient service reads
// them when it starts.
#include "tools/qlxctl/doctor_checks.h"

namespace qlx::qlxctl::doctor {

namespace {

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

std::string ReadFix(const char* name) {
  return std::string("Ask an administrator to check it with `reg query \"HKLM\\") + U8(kParameters) + "\" /v " +
         name + "`.";
}

// A limit below its default is a warning; at or above it, the value says
// what it means.
Check Limit(const Inputs& in, const char16_t* wide_name, const char* name,
            std::uint32_t default_value, const char* meaning, std::uint64_t suggested) {
  const std::string id = std::string("webclient.") + name;
  const Parameter p = ReadParameter(in, wide_name);
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
void Seconds(const Inputs& in, const char16_t* wide_name, const char* name, const char* meaning,
             Checks& out) {
  const std::string id = std::string("webclient.") + name;
  const Parameter p = ReadParameter(in, wide_name);
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

}  // namespace

Parameter ReadParameter(const Inputs& in, const char16_t* name, const char16_t* path) {
  const platform::MachineValue read = in.machine.Read(path, name);
  Parameter p;
  switch (read.status) {
    case platform::MachineValue::Status::NoKey:
    case platform::MachineValue::Status::NoValue:
      return p;
    case platform::MachineValue::Status::Failed:
      p.kind = Parameter::Kind::Unreadable;
      p.note = "cannot be read: " + SystemError(in.messages, read.error);
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

std::uint32_t EffectiveParameter(const Inputs& in, const char16_t* name, std::uint32_t fallback) {
  const Parameter p = ReadParameter(in, name);
  return p.kind == Parameter::Kind::Set ? p.value : fallback;
}

Checks CheckBasicAuthLevel(const Inputs& in) {
  const char* name = "BasicAuthLevel";
  const std::string id = std::string("webclient.") + name;
  const Parameter p = ReadParameter(in, u"BasicAuthLevel");
  if (p.kind == Parameter::Kind::Unreadable) return {Make(id, State::Warning, p.note, ReadFix(name))};
  // A scheme is a scheme in any case: "Http://" is plain http.
  const bool http = SchemeIs(in.service_base_url, u"http");
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
  Check c = Make(id, state, value, state == State::Ok ? "" : RegAddFix(name, wanted));
  if (state == State::Problem) c.cause = "BasicAuthLevel forbids sending the password";
  return {c};
}

Checks CheckFileSizeLimit(const Inputs& in) {
  return {Limit(in, u"FileSizeLimitInBytes", "FileSizeLimitInBytes", kDefaultFileSizeLimit,
                "a larger file cannot be copied", 4294967295u)};
}

Checks CheckAttributesLimit(const Inputs& in) {
  return {Limit(in, u"FileAttributesLimitInBytes", "FileAttributesLimitInBytes", kDefaultAttributesLimit,
                "a folder whose listing is larger does not open", 50000000)};
}

Checks CheckTimers(const Inputs& in) {
  Checks out;
  Seconds(in, u"SendReceiveTimeoutInSec", "SendReceiveTimeoutInSec", "a request that takes longer fails", out);
  Seconds(in, u"ServerNotFoundCacheLifeTimeInSec", "ServerNotFoundCacheLifeTimeInSec",
          "a server not found is not tried again for this long", out);
  return out;
}

}  // namespace qlx::qlxctl::doctor
