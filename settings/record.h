#pragma once
// The process-wide connection settings (the connected flag is mapping's).
#include <string>

namespace qlx::settings {

struct TParametriConnessione {
  std::u16string PathDrive;
  std::u16string User;
  std::u16string Password;  // in clear while the program runs
  bool AutoConnect = false;
  bool AutoRun = false;
};

// Created empty on first use, kept to the end of the process.
TParametriConnessione& ParametriConnessione();

}  // namespace qlx::settings
