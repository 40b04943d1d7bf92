#pragma once
// The settings routines over Wine's real registry. The settings key and the
// Run entry are fixed names, so every test starts from neither existing.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "platform/win32/registry.h"
#include "settings/autostart.h"
#include "settings/record.h"
#include "settings/store.h"
#include "tests/platform/wine/raw_registry.h"
#include "tests/settings/store_calls.h"

namespace qlx::test {

inline const std::u16string kSettingsKey = u"Software\\PELMORA\\QLXDrive";
inline const std::u16string kRunKey = u"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline const std::u16string kRunEntry = u"QLXDrive";

class FixedProgramFile final : public platform::ProgramFile {
 public:
  std::u16string path = u"C:\\QLXDrive\\QLXDrive.exe";
  std::u16string FullPath() override { return path; }
};

class SettingsOnWine : public ::testing::Test, public StoreCalls {
 protected:
  void SetUp() override {
    InstallPlatform(registry_, program_);
    Reset();
  }
  void TearDown() override { Reset(); }

  void Reset() {
    DeleteTree(kSettingsKey);
    DeleteValue(kRunKey, kRunEntry);
    record = {};
  }

  settings::ConnectionSettings record;
  platform::Win32Registry registry_;
  FixedProgramFile program_;
};

}  // namespace qlx::test
