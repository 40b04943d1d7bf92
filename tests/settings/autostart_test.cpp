#include "settings/autostart.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "base/utf.h"
#include "platform/registry.h"
#include "settings/protected_value.h"
#include "settings/store.h"
#include "tests/settings/fixture.h"

namespace qlx::settings {
namespace {

using test::ErrorOf;
using test::kRunKey;
using test::kSettingsKey;

class Autostart : public test::SettingsTest {
 protected:
  void Save(bool autorun) {
    record.auto_run = autorun;
    SaveSettings(record);
  }
  std::optional<std::u16string> Entry() { return registry.GetText(kRunKey, u"QLXDrive"); }
  std::size_t RunWrites() {
    std::size_t n = 0;
    for (const auto& op : registry.LogOf("set")) n += op.path == kRunKey;
    return n;
  }
};

TEST_F(Autostart, EntryMovesBetweenItsThreeStatesOnSave) {
  enum State { kAbsent, kSet, kCleared };
  struct Case {
    State before;
    bool autorun;
    std::optional<std::u16string> after;
    std::size_t run_writes;
  };
  const std::u16string path = program.path;
  const std::vector<Case> cases = {
      {kAbsent, true, path, 1},   {kAbsent, false, std::nullopt, 0}, {kSet, true, path, 1},
      {kSet, false, u"", 1},      {kCleared, true, path, 1},         {kCleared, false, u"", 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "before " << c.before << ", AutoRun " << c.autorun);
    registry.Remove(kRunKey, u"QLXDrive");
    if (c.before == kSet) registry.SetText(kRunKey, u"QLXDrive", u"C:\\vecchio\\QLXDrive.exe");
    if (c.before == kCleared) registry.SetText(kRunKey, u"QLXDrive", u"");
    registry.log.clear();

    Save(c.autorun);
    EXPECT_EQ(Entry(), c.after);
    EXPECT_EQ(RunWrites(), c.run_writes);
    EXPECT_EQ(AutostartPresent(), c.after.has_value());
    if (c.after) {
      EXPECT_EQ(registry.Get(kRunKey, u"QLXDrive")->data.size(), (c.after->size() + 1) * 2);
    }
    for (const auto& op : registry.LogOf("open")) EXPECT_EQ(op.path, kRunKey);
    EXPECT_TRUE(registry.LogOf("create").size() == 7);  // the settings key only
  }
}

TEST_F(Autostart, PathWithBlanksIsQuotedInTheRunEntryOnly) {
  const std::vector<std::pair<std::u16string, std::u16string>> cases = {
      {u"C:\\QLXDrive\\QLXDrive.exe", u"C:\\QLXDrive\\QLXDrive.exe"},
      {u"C:\\Program Files (x86)\\PELMORA\\QLXDrive.exe", u"\"C:\\Program Files (x86)\\PELMORA\\QLXDrive.exe\""},
      {u"D:\\Zo\u00eb \u00e8\\QLXDrive.exe", u"\"D:\\Zo\u00eb \u00e8\\QLXDrive.exe\""},
  };
  for (const auto& [path, entry] : cases) {
    program.path = path;
    Save(true);
    EXPECT_EQ(Entry(), entry);
    EXPECT_EQ(AutostartCommand(path), entry);
    // Protected in the settings key, and without quotes there.
    const std::u16string stored = *registry.GetText(kSettingsKey, u"ConfigIniFilesPath");
    EXPECT_EQ(stored.find(u"QLXDrive.exe"), std::u16string::npos);
    EXPECT_EQ(RevealValue(stored), path);
  }
}

TEST_F(Autostart, LongPathIsWrittenWhole) {
  std::u16string path = u"C:\\";
  while (path.size() < 400) path += u"cartella con nome lungo\\";
  path += u"QLXDrive.exe";
  program.path = path;
  Save(true);
  EXPECT_EQ(Entry(), u"\"" + path + u"\"");
  EXPECT_EQ(RevealValue(*registry.GetText(kSettingsKey, u"ConfigIniFilesPath")), path);
}

TEST_F(Autostart, RunKeyThatDoesNotOpenIsLeftAloneSilently) {
  // Absent: never created.
  test::MemoryRegistry bare;
  InstallPlatform(bare, program);
  for (bool autorun : {true, false}) {
    EXPECT_EQ(ErrorOf([&] { Save(autorun); }), "");
    EXPECT_FALSE(bare.HasKey(kRunKey));
    EXPECT_EQ(bare.Values(kSettingsKey).size(), 6u);
  }

  // Present but refusing full access: readable, not writable.
  InstallPlatform(registry, program);
  registry.SetText(kRunKey, u"QLXDrive", u"C:\\vecchio.exe");
  registry.refuse_open = [](const std::u16string& path, std::uint32_t access) {
    return path == kRunKey && access == access::kAllAccess;
  };
  for (bool autorun : {true, false}) {
    EXPECT_EQ(ErrorOf([&] { Save(autorun); }), "");
    EXPECT_EQ(Entry(), u"C:\\vecchio.exe");
  }
  EXPECT_EQ(registry.OpenHandles(), 0u);
}

TEST_F(Autostart, PresenceFallsBackToNarrowerReadRights) {
  registry.SetText(kRunKey, u"QLXDrive", u"");
  struct Case {
    std::vector<std::uint32_t> refused;
    std::vector<std::uint32_t> tried;
    bool present;
  };
  const std::vector<Case> cases = {
      {{}, {0x20019}, true},
      {{0x20019}, {0x20019, 0x20009}, true},
      {{0x20019, 0x20009}, {0x20019, 0x20009, 0x0001}, true},
      {{0x20019, 0x20009, 0x0001}, {0x20019, 0x20009, 0x0001}, false},
  };
  for (const auto& c : cases) {
    registry.refuse_open = [&](const std::u16string&, std::uint32_t access) {
      return std::find(c.refused.begin(), c.refused.end(), access) != c.refused.end();
    };
    registry.log.clear();
    EXPECT_EQ(AutostartPresent(), c.present);
    std::vector<std::uint32_t> tried;
    for (const auto& op : registry.LogOf("open")) tried.push_back(op.access);
    EXPECT_EQ(tried, c.tried);
    EXPECT_EQ(registry.OpenHandles(), 0u);
  }
  // Unreadable: a save without AutoRun leaves the entry as it was.
  registry.refuse_open = [](const std::u16string&, std::uint32_t) { return true; };
  registry.SetText(kRunKey, u"QLXDrive", u"C:\\vecchio.exe");
  Save(false);
  EXPECT_EQ(Entry(), u"C:\\vecchio.exe");
}

TEST_F(Autostart, AnyEntryCountsAsPresentAndIsCleared) {
  registry.SetRaw(kRunKey, u"qlxdrive", regtype::kDword, {1, 0, 0, 0});
  EXPECT_TRUE(AutostartPresent());
  Save(false);
  EXPECT_EQ(registry.Get(kRunKey, u"QLXDrive")->type, regtype::kSz);
  EXPECT_EQ(Entry(), u"");
  ClearAutostart();
  EXPECT_EQ(Entry(), u"");
  EXPECT_TRUE(AutostartPresent());
}

}  // namespace
}  // namespace qlx::settings
