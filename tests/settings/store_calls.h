#pragma once
// The store's routines as the settings tests call them: over the registry
// and program file the test handed in last.
#include <string>

#include "platform/context.h"
#include "settings/autostart.h"
#include "settings/record.h"
#include "settings/store.h"

namespace qlx::test {

class StoreCalls {
 protected:
  // Hands these to the store from here on.
  void InstallPlatform(platform::Registry& r, platform::ProgramFile& p) {
    registry_in_use_ = &r;
    program_in_use_ = &p;
  }

  void SaveSettings(const settings::ConnectionSettings& s) {
    settings::SaveSettings(*registry_in_use_, *program_in_use_, s);
  }
  void LoadSettings(settings::ConnectionSettings& s) { settings::LoadSettings(*registry_in_use_, s); }
  void WriteProtectedValue(const std::u16string& name, const std::u16string& value) {
    settings::WriteProtectedValue(*registry_in_use_, name, value);
  }
  void ReadProtectedValue(const std::u16string& name, std::u16string& value) {
    settings::ReadProtectedValue(*registry_in_use_, name, value);
  }
  bool AutostartPresent() { return settings::AutostartPresent(*registry_in_use_); }
  void ClearAutostart() { settings::ClearAutostart(*registry_in_use_); }

 private:
  platform::Registry* registry_in_use_ = nullptr;
  platform::ProgramFile* program_in_use_ = nullptr;
};

}  // namespace qlx::test
