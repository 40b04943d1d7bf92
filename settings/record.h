#pragma once
// The connection settings as one value: the application owns one, the
// dialog edits it, the mapping reads it. The connected flag is mapping's.
#include <string>
#include <string_view>

#include "base/secret_text.h"

namespace qlx::settings {

struct ConnectionSettings {
  std::u16string drive;  // a letter and a colon as picked, or whatever was typed
  std::u16string user;
  SecretText password;   // in clear while the program runs; wiped wherever a copy goes
  bool auto_connect = false;
  bool auto_run = false;
};

// The completeness rule of one field: a character is left once every
// character up to U+0020 is trimmed from both ends (the field stays as it is).
bool IsFilled(std::u16string_view text);
// True when drive, user and password are each filled.
bool IsComplete(const ConnectionSettings& settings);

}  // namespace qlx::settings
