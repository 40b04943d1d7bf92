#pragma once
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "base/errors.h"
#include "settings/record.h"
#include "tests/settings/memory_registry.h"
#include "tests/settings/store_calls.h"

namespace qlx::test {

inline constexpr char16_t kSettingsKey[] = u"Software\\PELMORA\\QLXDrive";
inline constexpr char16_t kRunKey[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr char kNoMapping[] = "No mapping for the Unicode character exists in the target multi-byte code page";

// A fresh registry with the Run key Windows always has, a fixed program
// path, and an empty settings value for every test.
class SettingsTest : public ::testing::Test, public StoreCalls {
 protected:
  void SetUp() override {
    registry.AddKey(kRunKey);
    InstallPlatform(registry, program);
  }

  MemoryRegistry registry;
  FixedProgramFile program;
  settings::ConnectionSettings record;
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
