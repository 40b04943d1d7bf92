#include "settings/record.h"

#include "base/wipe.h"

namespace qlx::settings {

ConnectionSettings::~ConnectionSettings() { SecureWipe(password); }

namespace {
bool HasText(const std::u16string& text) {
  for (char16_t c : text)
    if (c > u' ') return true;
  return false;
}
}  // namespace

bool IsComplete(const ConnectionSettings& settings) {
  return HasText(settings.drive) && HasText(settings.user) && HasText(settings.password);
}

}  // namespace qlx::settings
