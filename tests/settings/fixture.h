#pragma once
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "base/errors.h"
#include "platform/context.h"
#include "settings/autostart.h"
#include "settings/record.h"
#include "settings/store.h"
#include "tests/settings/memory_registry.h"

namespace qlx::test {

inline constexpr char16_t kSettingsKey[] = u"Software\\PELMORA\\QLXDrive";
inline constexpr char16_t kRunKey[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr char kNoMapping[] = "No mapping for the Unicode character exists in the target multi-byte code page";

// A fresh registry with the Run key Windows always has, a fixed program
// path, and an empty settings value for every test.
class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registry.AddKey(kRunKey);
    InstallPlatform(registry, program);
  }

  // Hands these to the store from here on, in place of the fixture's own.
  void InstallPlatform(platform::Registry& r, platform::ProgramFile& p) {
    registry_in_use_ = &r;
    program_in_use_ = &p;
  }

  // The store's routines over the registry and program file handed in.
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

  MemoryRegistry registry;
  FixedProgramFile program;
  settings::ConnectionSettings record;

 private:
  platform::Registry* registry_in_use_ = &registry;
  platform::ProgramFile* program_in_use_ = &program;
};

// The text an Error carried, or "" when the call returned normally.
template <class F>
std::string ErrorOf(F&& call) {
  try {
    call();
  } catch (const Error& e) {
    return e.what();
  }
  return "";
}

}  // namespace qlx::test
