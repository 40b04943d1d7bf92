#include "settings/record.h"

#include <algorithm>

namespace qlx::settings {

bool IsFilled(std::u16string_view text) {
  return std::any_of(text.begin(), text.end(), [](char16_t c) { return c > u' '; });
}

bool IsComplete(const ConnectionSettings& settings) {
  return IsFilled(settings.drive) && IsFilled(settings.user) && IsFilled(settings.password.view());
}

}  // namespace qlx::settings
