#include "settings/store.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "base/utf.h"
#include "settings/protected_value.h"
#include "tests/settings/fixture.h"

namespace qlx::settings {
namespace {

using test::ErrorOf;
using test::kNoMapping;
using test::kRunKey;
using test::kSettingsKey;

class Store : public test::SettingsTest {
 protected:
  void Fill(std::u16string drive, std::u16string user, std::u16string password, bool autoconnect, bool autorun) {
    auto& p = record;
    p.drive = std::move(drive);
    p.user = std::move(user);
    p.password = std::move(password);
    p.auto_connect = autoconnect;
    p.auto_run = autorun;
  }
  std::u16string Revealed(const std::u16string& name) { return RevealValue(*registry.GetText(kSettingsKey, name)); }
  void StoreProtected(const std::u16string& name, const std::u16string& plain,
                      std::uint32_t type = regtype::kSz) {
    registry.SetText(kSettingsKey, name, ProtectValue(plain), type);
  }
};

TEST_F(Store, FirstLoadCreatesTheKeyAndEmptiesTheRecord) {
  Fill(u"Z:", u"old", u"old", true, true);
  ASSERT_FALSE(registry.HasKey(kSettingsKey));
  LoadSettings(record);
  EXPECT_TRUE(registry.HasKey(kSettingsKey));
  const auto& p = record;
  EXPECT_EQ(p.drive, u"");
  EXPECT_EQ(p.user, u"");
  EXPECT_EQ(p.password, u"");
  EXPECT_FALSE(p.auto_connect);
  EXPECT_FALSE(p.auto_run);
  for (const auto& op : registry.LogOf("create")) {
    EXPECT_EQ(op.path, kSettingsKey);
    EXPECT_EQ(op.access, 0xF003Fu);
  }
  EXPECT_EQ(registry.LogOf("create").size(), 5u);
}

TEST_F(Store, SaveWritesSixProtectedValuesInOrderAndLoadReadsThemBack) {
  program.path = u"C:\\Users\\Zo\u00eb\\QLXDrive.exe";
  Fill(u"Z:", u"zo\u00eb@example.it", u"p\u00e4ss w\u00f6rd \u20ac\U0001D11E", true, false);
  SaveSettings(record);

  std::vector<std::u16string> names;
  for (const auto& [name, value] : registry.Values(kSettingsKey)) {
    names.push_back(name);
    EXPECT_EQ(value.type, regtype::kSz);
    // The units and one zero unit.
    ASSERT_GE(value.data.size(), 2u);
    EXPECT_EQ(value.data.size() % 2, 0u);
    EXPECT_EQ(value.data[value.data.size() - 2], 0);
    EXPECT_EQ(value.data[value.data.size() - 1], 0);
  }
  EXPECT_EQ(names, (std::vector<std::u16string>{u"PATHDRIVE", u"ConfigIniFilesPath", u"USER", u"PASSWORD",
                                                u"AUTOCONNECT", u"AUTORUN"}));
  std::vector<std::u16string> writes;
  for (const auto& op : registry.LogOf("set")) writes.push_back(op.name);
  EXPECT_EQ(writes, (std::vector<std::u16string>{u"PATHDRIVE", u"ConfigIniFilesPath", u"USER", u"PASSWORD",
                                                 u"AUTOCONNECT", u"AUTORUN", u"ConfigIniFilesPath"}));

  EXPECT_EQ(registry.GetText(kSettingsKey, u"PATHDRIVE")->size(), 24u);
  EXPECT_EQ(registry.GetText(kSettingsKey, u"AUTOCONNECT")->size(), 16u);
  EXPECT_EQ(Revealed(u"AUTOCONNECT"), u"S");
  EXPECT_EQ(Revealed(u"AUTORUN"), u"N");
  EXPECT_EQ(Revealed(u"ConfigIniFilesPath"), program.path);

  const ConnectionSettings saved = record;
  record = {};
  LoadSettings(record);
  const auto& p = record;
  EXPECT_EQ(p.drive, saved.drive);
  EXPECT_EQ(p.user, saved.user);
  EXPECT_EQ(p.password, saved.password);
  EXPECT_TRUE(p.auto_connect);
  EXPECT_FALSE(p.auto_run);
  // One open and one close around every single value.
  EXPECT_EQ(registry.LogOf("create").size(), 7u + 5u);
  EXPECT_EQ(registry.LogOf("close").size(), registry.LogOf("create").size() + registry.LogOf("open").size());
  EXPECT_EQ(registry.OpenHandles(), 0u);
}

// A text pasted with half a surrogate pair must not stop the save after
// its first values: it is stored as Windows would store it, with U+FFFD.
TEST_F(Store, LoneSurrogatesAreSavedAsTheReplacementCharacterAndTheSaveCompletes) {
  const char16_t hi = 0xD83D, lo = 0xDE00;
  program.path = u"C:\\QLX" + std::u16string(1, lo) + u"\\QLXDrive.exe";
  Fill(u"Z:" + std::u16string(1, hi), u"mario" + std::u16string(1, lo), u"pw" + std::u16string{lo, hi} + u"!", true,
       true);
  EXPECT_EQ(ErrorOf([&] { SaveSettings(record); }), "");
  EXPECT_EQ(registry.Values(kSettingsKey).size(), 6u);
  EXPECT_EQ(Revealed(u"ConfigIniFilesPath"), u"C:\\QLX\uFFFD\\QLXDrive.exe");
  // The Run entry is in clear and takes the path as it is.
  EXPECT_EQ(registry.GetText(kRunKey, u"QLXDrive"), program.path);

  record = {};
  LoadSettings(record);
  const auto& p = record;
  EXPECT_EQ(p.drive, u"Z:\uFFFD");
  EXPECT_EQ(p.user, u"mario\uFFFD");
  EXPECT_EQ(p.password, u"pw\uFFFD\uFFFD!");
  EXPECT_TRUE(p.auto_connect);
  EXPECT_TRUE(p.auto_run);
}

TEST_F(Store, PasswordNeverReachesTheRegistryInClear) {
  const std::u16string password = u"Segreto-Molto-Lungo-\u00e8-1234567890";
  Fill(u"Z:", u"mario.rossi", password, true, true);
  SaveSettings(record);
  SaveSettings(record);
  const std::vector<std::uint8_t> utf16 = test::MemoryRegistry::Bytes(password, false);
  const std::string utf8 = Utf16ToUtf8(password);
  // Also the halves, in case a value carried a piece of it.
  const std::string half = utf8.substr(0, utf8.size() / 2);
  const auto values = registry.AllValues();
  ASSERT_EQ(values.size(), 7u);
  for (const auto& value : values) {
    const auto& d = value.data;
    EXPECT_EQ(std::search(d.begin(), d.end(), utf16.begin(), utf16.end()), d.end());
    EXPECT_EQ(std::search(d.begin(), d.end(), utf8.begin(), utf8.end()), d.end());
    EXPECT_EQ(std::search(d.begin(), d.end(), half.begin(), half.end()), d.end());
  }
}

TEST_F(Store, TwoSavesGiveTwoStoredTextsThatBothReadBack) {
  Fill(u"Y:", u"utente", u"parola", false, false);
  SaveSettings(record);
  const auto first = registry.Values(kSettingsKey);
  SaveSettings(record);
  const auto second = registry.Values(kSettingsKey);
  ASSERT_EQ(first.size(), second.size());
  for (std::size_t i = 0; i < first.size(); ++i) EXPECT_NE(first[i].second.data, second[i].second.data);

  for (const auto& snapshot : {first, second}) {
    for (const auto& [name, value] : snapshot) registry.SetRaw(kSettingsKey, name, value.type, value.data);
    record = {};
    LoadSettings(record);
    EXPECT_EQ(record.drive, u"Y:");
    EXPECT_EQ(record.user, u"utente");
    EXPECT_EQ(record.password, u"parola");
  }
}

TEST_F(Store, OnlyExactlySTurnsASwitchOn) {
  const std::vector<std::pair<std::u16string, bool>> cases = {
      {u"S", true}, {u"s", false}, {u"S ", false}, {u" S", false}, {u"N", false}, {u"", false}, {u"SS", false},
      {u"Si", false}};
  for (const auto& [text, on] : cases) {
    WriteProtectedValue(u"AUTOCONNECT", text);
    WriteProtectedValue(u"AUTORUN", text);
    LoadSettings(record);
    EXPECT_EQ(record.auto_connect, on) << Utf16ToUtf8(text);
    EXPECT_EQ(record.auto_run, on) << Utf16ToUtf8(text);
  }
}

TEST_F(Store, CompletenessTrimsControlsAndBlanksForTheTestOnly) {
  struct Case {
    std::u16string drive, user, password;
    bool complete;
  };
  const std::vector<Case> cases = {
      {u"Z:", u"u", u"p", true},
      {u"Z:\t", u"u", u"p", true},
      {u"Z:", u"u", u"   ", false},
      {u"", u"u", u"p", false},
      {u"Z:", u"\r\n\x01\x1f", u"p", false},
      {u"Z:", u"u", u"\u00a0", true},  // above U+0020: not trimmed
      {u" \x7f ", u"u", u"p", true},
  };
  for (const auto& c : cases) {
    Fill(c.drive, c.user, c.password, false, false);
    EXPECT_EQ(IsComplete(record), c.complete) << Utf16ToUtf8(c.drive + u"|" + c.user + u"|" + c.password);
    EXPECT_EQ(record.drive, c.drive);
  }
}

TEST_F(Store, NonTextTypesRaiseNamingTheValueAndStopTheLoad) {
  struct Case {
    std::u16string name;
    std::uint32_t type;
    std::vector<std::uint8_t> data;
    bool user_loaded, password_loaded, drive_loaded;
  };
  // Read order: USER, PASSWORD, PATHDRIVE, AUTOCONNECT, AUTORUN.
  const std::vector<Case> cases = {
      {u"USER", regtype::kDword, {1, 0, 0, 0}, false, false, false},
      {u"PASSWORD", regtype::kBinary, {0x53, 0x00}, true, false, false},
      {u"PATHDRIVE", regtype::kMultiSz, {'Z', 0, ':', 0, 0, 0, 0, 0}, true, true, false},
      {u"AUTORUN", regtype::kDword, {1, 0, 0, 0}, true, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(c.name));
    for (const auto& [name, plain] : std::vector<std::pair<std::u16string, std::u16string>>{
             {u"USER", u"nuovo"}, {u"PASSWORD", u"nuova"}, {u"PATHDRIVE", u"N:"}, {u"AUTOCONNECT", u"S"},
             {u"AUTORUN", u"S"}})
      StoreProtected(name, plain);
    registry.SetRaw(kSettingsKey, c.name, c.type, c.data);
    Fill(u"V:", u"vecchio", u"vecchia", false, false);

    EXPECT_EQ(ErrorOf([&] { LoadSettings(record); }), "Invalid data type for '" + Utf16ToUtf8(c.name) + "'");
    const auto& p = record;
    EXPECT_EQ(p.user, c.user_loaded ? u"nuovo" : u"vecchio");
    EXPECT_EQ(p.password, c.password_loaded ? u"nuova" : u"vecchia");
    EXPECT_EQ(p.drive, c.drive_loaded ? u"N:" : u"V:");
    EXPECT_EQ(p.auto_connect, c.drive_loaded);
    EXPECT_EQ(p.auto_run, false);
    EXPECT_EQ(registry.OpenHandles(), 0u);
  }
}

TEST_F(Store, EmptyDataOfAnyTypeAndExpandSzReadAsText) {
  registry.SetRaw(kSettingsKey, u"USER", regtype::kBinary, {});
  StoreProtected(u"PASSWORD", u"%USERPROFILE%\\x", regtype::kExpandSz);
  Fill(u"", u"vecchio", u"", false, false);
  LoadSettings(record);
  EXPECT_EQ(record.user, u"");
  EXPECT_EQ(record.password, u"%USERPROFILE%\\x");
}

TEST_F(Store, MalformedStringDataIsReadUpToItsFirstZeroOrItsEnd) {
  const std::vector<std::pair<std::vector<std::uint8_t>, std::u16string>> cases = {
      {{'A', 0, 'B', 0}, u"AB"},                    // no terminator
      {{'A', 0, 'B', 0, 'C'}, u"AB"},               // odd byte count
      {{'A', 0, 0, 0, 'B', 0, 0, 0}, u"A"},         // embedded zero
      {{'A'}, u""},                                 // a single byte
      {{0, 0, 'A', 0}, u""},
      {{0xAC, 0x20, 0x3D, 0xD8, 0x11, 0xDD}, u"\u20ac\U0001F511"},
  };
  for (const auto& [data, text] : cases) {
    registry.SetRaw(kSettingsKey, u"X", regtype::kSz, data);
    RegKey key(registry, registry.OpenKey(kSettingsKey, access::kRead));
    EXPECT_EQ(ReadRegistryString(registry, key.Get(), u"X"), text);
  }
  // A protected text without its terminator, and with a trailing odd byte.
  std::vector<std::uint8_t> data = test::MemoryRegistry::Bytes(ProtectValue(u"senza zero"), false);
  registry.SetRaw(kSettingsKey, u"USER", regtype::kSz, data);
  data.push_back('Q');
  registry.SetRaw(kSettingsKey, u"PASSWORD", regtype::kSz, data);
  LoadSettings(record);
  EXPECT_EQ(record.user, u"senza zero");
  EXPECT_EQ(record.password, u"senza zero");
}

TEST_F(Store, ValueChangingBetweenSizeQueryAndReadIsHandled) {
  StoreProtected(u"USER", u"breve");
  const std::u16string longer = ProtectValue(std::u16string(300, u'L'));
  const std::u16string shorter = ProtectValue(u"b");

  // Grew: queried again with the new size.
  registry.before_read = [&](const std::u16string&, const std::u16string& name) {
    if (name == u"USER") registry.SetText(kSettingsKey, u"USER", longer);
  };
  LoadSettings(record);
  EXPECT_EQ(record.user, std::u16string(300, u'L'));

  // Shrank: only the bytes returned count.
  StoreProtected(u"USER", u"breve");
  registry.before_read = [&](const std::u16string&, const std::u16string& name) {
    if (name == u"USER") registry.SetText(kSettingsKey, u"USER", shorter);
  };
  LoadSettings(record);
  EXPECT_EQ(record.user, u"b");

  // Keeps growing: given up on.
  std::u16string growing = u"QUFB";
  registry.SetText(kSettingsKey, u"USER", growing);
  registry.before_read = [&](const std::u16string&, const std::u16string& name) {
    if (name != u"USER") return;
    growing += u"QUFBQUFB";
    registry.SetText(kSettingsKey, u"USER", growing);
  };
  EXPECT_EQ(ErrorOf([&] { LoadSettings(record); }), "Failed to get data for 'USER'");

  // Vanished.
  StoreProtected(u"USER", u"breve");
  registry.before_read = [&](const std::u16string&, const std::u16string& name) {
    if (name == u"USER") registry.Remove(kSettingsKey, u"USER");
  };
  record.user = u"prima";
  EXPECT_EQ(ErrorOf([&] { LoadSettings(record); }), "Failed to get data for 'USER'");
  EXPECT_EQ(record.user, u"prima");
  EXPECT_EQ(registry.OpenHandles(), 0u);
}

TEST_F(Store, UndecodableStoredTextsRaiseAndKeepTheField) {
  const std::vector<std::uint8_t> not_utf8 = {0xC3, 0x28, 0x41};
  const std::vector<std::pair<std::u16string, std::u16string>> cases = {
      {u"outer bytes", OuterEncoder().Encode(not_utf8.data(), not_utf8.size())},
      {u"other password", EncodeOuter(EncryptText(u"altra", std::u16string(64, u'x')))},
  };
  for (const auto& [label, stored] : cases) {
    SCOPED_TRACE(Utf16ToUtf8(label));
    StoreProtected(u"USER", u"nuovo");
    registry.SetText(kSettingsKey, u"PASSWORD", stored);
    Fill(u"V:", u"vecchio", u"vecchia", false, false);
    EXPECT_EQ(ErrorOf([&] { LoadSettings(record); }), kNoMapping);
    EXPECT_EQ(record.user, u"nuovo");
    EXPECT_EQ(record.password, u"vecchia");
    EXPECT_EQ(record.drive, u"V:");
  }
}

TEST_F(Store, AlteredLineBreaksStillReadBack) {
  const std::u16string user = u"un.nome.utente.molto.lungo.con.accenti.\u00e8\u00e0\u00f9@esempio.example.it";
  const std::u16string stored = ProtectValue(user);
  ASSERT_NE(stored.find(u"\r\n"), std::u16string::npos);
  auto replaced = [&](const std::u16string& by) {
    std::u16string text;
    for (std::size_t i = 0; i < stored.size(); ++i) {
      if (stored.compare(i, 2, u"\r\n") == 0) {
        text += by;
        ++i;
      } else {
        text += stored[i];
      }
    }
    return text;
  };
  for (const std::u16string& text :
       {replaced(u""), replaced(u"\n"), replaced(u" "), replaced(u"  \t"), replaced(u"\r\n\r\n"), u" " + stored + u"\r\n"}) {
    registry.SetText(kSettingsKey, u"USER", text);
    LoadSettings(record);
    EXPECT_EQ(record.user, user);
  }
}

TEST_F(Store, MegabyteValues) {
  // A valid value that big, and one of junk: read back, and refused.
  const std::u16string big(589'000, u'm');
  const std::u16string stored = ProtectValue(big);
  EXPECT_GE(stored.size(), 1'000'000u);
  registry.SetText(kSettingsKey, u"USER", stored);
  LoadSettings(record);
  EXPECT_EQ(record.user, big);

  // Junk alphabet text: its decoded bytes are far from UTF-8.
  std::u16string junk;
  std::uint32_t state = 12345;
  const std::u16string alphabet = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  while (junk.size() < (1u << 20)) {
    state = state * 1664525u + 1013904223u;
    junk += alphabet[state >> 26];
  }
  registry.SetText(kSettingsKey, u"USER", junk);
  EXPECT_EQ(ErrorOf([&] { LoadSettings(record); }), kNoMapping);
}

TEST_F(Store, KeyThatCannotBeOpenedIsSilent) {
  registry.refuse_create = [](const std::u16string&) { return true; };
  Fill(u"Z:", u"u", u"p", true, true);
  EXPECT_EQ(ErrorOf([&] { SaveSettings(record); }), "");
  EXPECT_FALSE(registry.HasKey(kSettingsKey));
  EXPECT_TRUE(registry.LogOf("set").size() == 1 && registry.LogOf("set")[0].name == u"QLXDrive");

  std::u16string text = u"kept";
  ReadProtectedValue(u"USER", text);
  EXPECT_EQ(text, u"kept");
  LoadSettings(record);
  EXPECT_EQ(record.user, u"");
  EXPECT_EQ(record.password, u"");
  EXPECT_FALSE(record.auto_connect);
  EXPECT_FALSE(record.auto_run);
}

TEST_F(Store, FailedWriteStopsTheSaveAtThatValue) {
  const std::vector<std::u16string> order = {u"PATHDRIVE", u"ConfigIniFilesPath", u"USER",     u"PASSWORD",
                                             u"AUTOCONNECT", u"AUTORUN",          u"ConfigIniFilesPath", u"QLXDrive"};
  for (int k = 1; k <= static_cast<int>(order.size()); ++k) {
    SCOPED_TRACE(k);
    test::MemoryRegistry fresh;
    fresh.AddKey(kRunKey);
    fresh.SetText(kRunKey, u"QLXDrive", u"C:\\old.exe");
    fresh.fail_set_at = k;
    InstallPlatform(fresh, program);
    Fill(u"Z:", u"u", u"p", true, true);

    EXPECT_EQ(ErrorOf([&] { SaveSettings(record); }), "Failed to set data for '" + Utf16ToUtf8(order[k - 1]) + "'");
    const auto stored = fresh.Values(kSettingsKey);
    EXPECT_EQ(stored.size(), static_cast<std::size_t>(std::min(k - 1, 6)));
    for (std::size_t i = 0; i < stored.size(); ++i) EXPECT_EQ(stored[i].first, order[i]);
    EXPECT_EQ(fresh.GetText(kRunKey, u"QLXDrive"), u"C:\\old.exe");
    EXPECT_EQ(fresh.OpenHandles(), 0u);
  }
}

TEST(StorePaths, LeadingBackslashIsNotHandedToTheSystem) {
  EXPECT_EQ(FromRoot(kSettingsKey), u"Software\\PELMORA\\QLXDrive");
  EXPECT_EQ(FromRoot(u"Software\\X"), u"Software\\X");
  EXPECT_EQ(FromRoot(u""), u"");
  EXPECT_EQ(RegistryErrorText("Failed to set data for '%s'", u"Z\u00e8"), "Failed to set data for 'Z\xc3\xa8'");
}

}  // namespace
}  // namespace qlx::settings
