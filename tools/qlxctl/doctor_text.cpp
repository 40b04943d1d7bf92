// The text helpers every check shares.
#include <algorithm>

#include "base/utf.h"
#include "settings/record.h"
#include "tools/qlxctl/doctor_checks.h"

namespace qlx::qlxctl::doctor {

std::string U8(std::u16string text) {
  // A stored text may hold a lone surrogate; the report shows U+FFFD there.
  ReplaceLoneSurrogates(text);
  return Utf16ToUtf8(text);
}

std::string Quoted(const std::u16string& text) {
  // Appended, not "\"" + ...: GCC 12 warns falsely of an overlapping copy there.
  std::string quoted(1, '"');
  quoted += U8(text);
  quoted += '"';
  return quoted;
}

std::string Number(std::uint64_t n) { return std::to_string(n); }

std::string Grouped(std::uint64_t n) {
  std::string digits = std::to_string(n), out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

// The connect's completeness rule, as the settings state it.
bool NonBlank(const std::u16string& text) { return settings::IsFilled(text); }

Check Make(std::string id, State state, std::string value, std::string fix) {
  return Check{std::move(id), state, std::move(value), std::move(fix), {}};
}

Check Problem(std::string id, std::string value, std::string fix, std::string cause) {
  Check c = Make(std::move(id), State::Problem, std::move(value), std::move(fix));
  c.cause = std::move(cause);
  return c;
}

std::string SystemError(platform::Messages& messages, std::uint32_t code) {
  return U8(SystemErrorText(messages, code)) + " (" + Number(code) + ")";
}

}  // namespace qlx::qlxctl::doctor
