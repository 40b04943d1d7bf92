// The Run entry's three states through a save with AutoRun True or False,
// for program folders with and without a blank.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <tuple>

#include "base/utf.h"
#include "platform/win32/program_file.h"
#include "settings/protected_value.h"
#include "tests/platform/wine/settings_fixture.h"

namespace qlx::test {
namespace {


enum class Entry { Absent, Set, Cleared };

const char* Name(Entry entry) {
  switch (entry) {
    case Entry::Absent: return "Absent";
    case Entry::Set: return "Set";
    case Entry::Cleared: return "Cleared";
  }
  return "?";
}

void Arrange(Entry entry) {
  DeleteValue(kRunKey, kRunEntry);
  if (entry == Entry::Set) {
    ASSERT_TRUE(WriteRaw(kRunKey, kRunEntry, REG_SZ, Bytes(u"C:\\Vecchio\\QLXDrive.exe")));
  }
  if (entry == Entry::Cleared) {
    ASSERT_TRUE(WriteRaw(kRunKey, kRunEntry, REG_SZ, Bytes(u"")));
  }
}

struct PathCase {
  const char* label;
  std::u16string path;
  std::u16string run_text;  // what a set entry must hold
};
void PrintTo(const PathCase& c, std::ostream* out) { *out << c.label; }
void PrintTo(Entry entry, std::ostream* out) { *out << Name(entry); }

class RunEntryTable
    : public SettingsOnWine,
      public ::testing::WithParamInterface<std::tuple<Entry, bool, PathCase>> {};

TEST_P(RunEntryTable, SaveMovesTheEntryAsTheTableSays) {
  const auto [before, autorun, path] = GetParam();
  program_.path = path.path;
  Arrange(before);
  EXPECT_EQ(AutostartPresent(), before != Entry::Absent);
  const auto others = EnumValues(kRunKey).size();

  record = {u"Z:", u"u", u"p", false, autorun};
  SaveSettings(record);

  // absent -> set | absent; set -> set | cleared; cleared -> set | cleared.
  const Entry after = autorun ? Entry::Set : (before == Entry::Absent ? Entry::Absent : Entry::Cleared);
  const auto raw = ReadRaw(kRunKey, kRunEntry);
  ASSERT_EQ(raw.has_value(), after != Entry::Absent);
  if (raw) {
    EXPECT_EQ(raw->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(raw->data, Bytes(after == Entry::Set ? path.run_text : u""));
  }
  EXPECT_EQ(EnumValues(kRunKey).size(), others + (before == Entry::Absent && after == Entry::Set ? 1 : 0));
  EXPECT_EQ(AutostartPresent(), after != Entry::Absent);

  // The settings key keeps the bare path, protected; the Run entry alone is clear.
  std::u16string config;
  ReadProtectedValue(u"ConfigIniFilesPath", config);
  EXPECT_EQ(config, path.path);
  const auto stored = ReadRaw(kSettingsKey, u"ConfigIniFilesPath");
  ASSERT_TRUE(stored.has_value());
  EXPECT_EQ(Units(stored->data).find(u"QLXDrive"), std::u16string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    States, RunEntryTable,
    ::testing::Combine(
        ::testing::Values(Entry::Absent, Entry::Set, Entry::Cleared), ::testing::Bool(),
        ::testing::Values(PathCase{"Plain", u"C:\\QLXDrive\\QLXDrive.exe", u"C:\\QLXDrive\\QLXDrive.exe"},
                          PathCase{"Blank", u"C:\\Program Files\\QLX Drive\\QLXDrive.exe",
                                   u"\"C:\\Program Files\\QLX Drive\\QLXDrive.exe\""})),
    [](const auto& info) {
      return std::string(Name(std::get<0>(info.param))) + (std::get<1>(info.param) ? "_AutoRunTrue_" : "_AutoRunFalse_") +
             std::get<2>(info.param).label;
    });

TEST_F(SettingsOnWine, ClearedEntryIsWrittenAgainOnEverySaveWithoutAutoRun) {
  Arrange(Entry::Cleared);
  record = {u"Z:", u"u", u"p", false, false};
  for (int save = 0; save < 2; ++save) {
    // Something else put a path there meanwhile: the save clears it again.
    ASSERT_TRUE(WriteRaw(kRunKey, kRunEntry, REG_EXPAND_SZ, Bytes(u"%TEMP%\\x.exe")));
    SaveSettings(record);
    const auto raw = ReadRaw(kRunKey, kRunEntry);
    ASSERT_TRUE(raw.has_value());
    EXPECT_EQ(raw->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(raw->data, Bytes(u""));
    EXPECT_TRUE(AutostartPresent());
  }
}

TEST_F(SettingsOnWine, RealProgramPathReachesBothValues) {
  platform::Win32ProgramFile real;
  InstallPlatform(registry_, real);
  const std::u16string self = real.FullPath();
  ASSERT_FALSE(self.empty());
  record = {u"Z:", u"u", u"p", false, true};
  SaveSettings(record);
  std::u16string config;
  ReadProtectedValue(u"ConfigIniFilesPath", config);
  EXPECT_EQ(config, self);
  const auto raw = ReadRaw(kRunKey, kRunEntry);
  ASSERT_TRUE(raw.has_value());
  const bool blank = self.find(u' ') != std::u16string::npos;
  EXPECT_EQ(raw->data, Bytes(blank ? u"\"" + self + u"\"" : self));
}

// Moves the Run key aside and puts it back, whatever the test does.
class RunKeyAside {
 public:
  RunKeyAside() {
    DeleteTree(kBackup);
    HKEY run = nullptr, saved = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, Wide(kRunKey), 0, KEY_READ, &run) != ERROR_SUCCESS) return;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, Wide(kBackup), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &saved, nullptr) ==
        ERROR_SUCCESS) {
      moved_ = RegCopyTreeW(run, nullptr, saved) == ERROR_SUCCESS;
      RegCloseKey(saved);
    }
    RegCloseKey(run);
    if (moved_) DeleteTree(kRunKey);
  }
  ~RunKeyAside() {
    if (!moved_) return;
    HKEY run = nullptr, saved = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, Wide(kRunKey), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &run, nullptr);
    RegOpenKeyExW(HKEY_CURRENT_USER, Wide(kBackup), 0, KEY_READ, &saved);
    RegCopyTreeW(saved, nullptr, run);
    RegCloseKey(saved);
    RegCloseKey(run);
    DeleteTree(kBackup);
  }
  bool moved() const { return moved_; }

 private:
  inline static const std::u16string kBackup = u"Software\\QLXDriveTests\\RunBackup";
  bool moved_ = false;
};

// The program never creates the Run key; without it the settings are
// stored all the same and nothing is reported.
TEST_F(SettingsOnWine, MissingRunKeyIsNotCreated) {
  const RunKeyAside aside;
  ASSERT_TRUE(aside.moved());
  ASSERT_FALSE(KeyExists(kRunKey));
  for (bool autorun : {true, false}) {
    record = {u"Z:", u"u", u"p", true, autorun};
    EXPECT_NO_THROW(SaveSettings(record));
    EXPECT_FALSE(KeyExists(kRunKey));
    EXPECT_FALSE(AutostartPresent());
    record = {};
    LoadSettings(record);
    EXPECT_EQ(record.auto_run, autorun);
  }
}

}  // namespace
}  // namespace qlx::test
