#pragma once
// What the settings routines reach outside the process: the registry and
// the running program's own path. Installed once at start (the Win32
// implementations in the program and tools, doubles in tests).
#include <string>

#include "settings/registry.h"

namespace qlx::settings {

class ProgramFile {
 public:
  virtual ~ProgramFile() = default;
  // The full path of the running program file, however long.
  virtual std::u16string FullPath() = 0;
};

void InstallPlatform(Registry& registry, ProgramFile& program);
Registry& CurrentRegistry();
ProgramFile& CurrentProgramFile();

}  // namespace qlx::settings
