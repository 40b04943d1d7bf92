#pragma once
// The connection settings as one value: the application owns one, the
// dialog edits it, the mapping reads it. The connected flag is mapping's.
#include <string>

namespace qlx::settings {

struct ConnectionSettings {
  std::u16string drive;     // a letter and a colon as picked, or whatever was typed
  std::u16string user;
  std::u16string password;  // in clear while the program runs
  bool auto_connect = false;
  bool auto_run = false;

  // The password is the one field worth erasing when a copy goes.
  ~ConnectionSettings();
};

// True when drive, user and password each keep a character after every
// character up to U+0020 is trimmed from both ends (the fields stay as they are).
bool IsComplete(const ConnectionSettings& settings);

}  // namespace qlx::settings
