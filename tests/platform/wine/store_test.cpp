// The settings store end to end over Wine's registry: what reaches the
// registry, byte for byte, and what comes back.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/errors.h"
#include "base/utf.h"
#include "cipher/base64.h"
#include "cipher/stream.h"
#include "settings/protected_value.h"
#include "tests/platform/wine/settings_fixture.h"

namespace qlx::test {
namespace {

using settings::ConnectionSettings;

std::u16string Stored(const std::u16string& name) {
  const auto raw = ReadRaw(kSettingsKey, name);
  EXPECT_TRUE(raw.has_value()) << Utf16ToUtf8(name);
  if (!raw) return {};
  EXPECT_EQ(raw->type, static_cast<DWORD>(REG_SZ)) << Utf16ToUtf8(name);
  // One terminating zero unit after the text, nothing else.
  EXPECT_GE(raw->data.size(), 2u);
  EXPECT_EQ(raw->data.size() % 2, 0u);
  std::u16string text = Units(raw->data);
  if (text.empty() || text.back() != u'\0') {
    ADD_FAILURE() << Utf16ToUtf8(name) << ": no terminating zero";
    return text;
  }
  EXPECT_EQ(text.find(u'\0'), text.size() - 1) << Utf16ToUtf8(name);
  text.pop_back();
  return text;
}

bool Same(const ConnectionSettings& a, const ConnectionSettings& b) {
  return a.drive == b.drive && a.user == b.user && a.password == b.password &&
         a.auto_connect == b.auto_connect && a.auto_run == b.auto_run;
}

bool Contains(const std::vector<std::uint8_t>& haystack, const std::vector<std::uint8_t>& needle) {
  return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

std::vector<std::uint8_t> Utf8(const std::u16string& text) {
  const std::string bytes = Utf16ToUtf8(text);
  return {bytes.begin(), bytes.end()};
}

struct RecordCase {
  const char* label;
  ConnectionSettings record;
};
void PrintTo(const RecordCase& c, std::ostream* out) { *out << c.label; }

class SaveLoad : public SettingsOnWine, public ::testing::WithParamInterface<RecordCase> {};

TEST_P(SaveLoad, RoundTripsThroughTheRegistry) {
  const ConnectionSettings saved = GetParam().record;
  record = saved;
  SaveSettings(record);

  // Each value holds its own setting, protected.
  EXPECT_EQ(settings::RevealValue(Stored(u"PATHDRIVE")), saved.drive);
  EXPECT_EQ(settings::RevealValue(Stored(u"USER")), saved.user);
  EXPECT_EQ(settings::RevealValue(Stored(u"PASSWORD")), saved.password);
  EXPECT_EQ(settings::RevealValue(Stored(u"ConfigIniFilesPath")), program_.path);
  const std::u16string autoconnect = Stored(u"AUTOCONNECT"), autorun = Stored(u"AUTORUN");
  EXPECT_EQ(autoconnect.size(), 16u);
  EXPECT_EQ(autorun.size(), 16u);
  EXPECT_EQ(settings::RevealValue(autoconnect), saved.auto_connect ? u"S" : u"N");
  EXPECT_EQ(settings::RevealValue(autorun), saved.auto_run ? u"S" : u"N");
  EXPECT_EQ(EnumValues(kSettingsKey).size(), 6u);

  record = {u"junk", u"junk", u"junk", !saved.auto_connect, !saved.auto_run};
  LoadSettings(record);
  EXPECT_TRUE(Same(record, saved));

  // A second save protects every value afresh; both read back the same.
  const std::u16string first_password = Stored(u"PASSWORD");
  SaveSettings(record);
  if (!saved.password.empty()) {
    EXPECT_NE(Stored(u"PASSWORD"), first_password);
  }
  LoadSettings(record);
  EXPECT_TRUE(Same(record, saved));
}

INSTANTIATE_TEST_SUITE_P(
    Records, SaveLoad,
    ::testing::Values(RecordCase{"Typical", {u"Z:", u"mario.rossi", u"s3gr3t0!", true, false}},
                      RecordCase{"Empty", {u"", u"", u"", false, false}},
                      RecordCase{"NonAscii", {u"Y:", u"Zo\u00eb M\u00fcller \u65e5\u672c \U0001F600",
                                              u"p\u00e4ssw\u00f6rd \u20ac", false, true}},
                      RecordCase{"Untrimmed", {u" Z:\t", u"  user  ", u"\t", true, true}},
                      RecordCase{"Long", {u"Z:", std::u16string(300, u'u'), std::u16string(1000, u'\u00e8'),
                                          false, false}}),
    [](const auto& info) { return std::string(info.param.label); });

// A lone surrogate, as a paste can leave one, does not stop the save: every
// value is written, with U+FFFD in its place, and reads back so.
TEST_F(SettingsOnWine, LoneSurrogatesAreStoredAsTheReplacementCharacter) {
  const char16_t hi = 0xD83D, lo = 0xDE00;
  record = {u"Z:", u"mario" + std::u16string(1, hi), u"pw" + std::u16string{lo, hi, lo} + u"!", true,
                            true};
  SaveSettings(record);
  EXPECT_EQ(EnumValues(kSettingsKey).size(), 6u);
  EXPECT_TRUE(ReadRaw(kRunKey, kRunEntry).has_value());
  EXPECT_EQ(settings::RevealValue(Stored(u"USER")), u"mario\uFFFD");

  record = {};
  LoadSettings(record);
  EXPECT_EQ(record.user, u"mario\uFFFD");
  EXPECT_EQ(record.password, u"pw\uFFFD\U0001F600!");
  EXPECT_TRUE(record.auto_run);
}

TEST_F(SettingsOnWine, StoredLengthsFollowTheTwoLayers) {
  // n UTF-8 bytes -> stored characters, CR LF included.
  const struct {
    std::u16string value;
    std::size_t stored;
  } cases[] = {{u"", 0}, {u"Z:", 24}, {std::u16string(34, u'a'), 76}, {std::u16string(35, u'a'), 82},
               {std::u16string(161, u'a'), 312}, {std::u16string(81, u'\u00e8'), 312}};
  for (const auto& c : cases) {
    WriteProtectedValue(u"PATHDRIVE", c.value);
    const std::u16string stored = Stored(u"PATHDRIVE");
    EXPECT_EQ(stored.size(), c.stored) << c.value.size();
    if (c.stored == 312) {
      EXPECT_EQ(stored.substr(310), u"\r\n");
    }
    std::u16string back = u"keep";
    ReadProtectedValue(u"PATHDRIVE", back);
    EXPECT_EQ(back, c.value);
  }
}

TEST_F(SettingsOnWine, FirstLoadCreatesTheEmptyKeyAndClearsTheRecord) {
  ASSERT_FALSE(KeyExists(kSettingsKey));
  record = {u"Z:", u"u", u"p", true, true};
  LoadSettings(record);
  EXPECT_TRUE(Same(record, ConnectionSettings{}));
  EXPECT_TRUE(KeyExists(kSettingsKey));
  EXPECT_TRUE(EnumValues(kSettingsKey).empty());
  EXPECT_FALSE(ReadRaw(kRunKey, kRunEntry).has_value());
}

TEST_F(SettingsOnWine, NoValueHoldsThePasswordOrUserInClear) {
  program_.path = u"C:\\Program Files\\QLX\\QLXDrive.exe";
  const std::u16string password = u"Pw-Chiaro-\u00e8\u00fc-123", user = u"utente.segreto";
  record = {u"Z:", user, password, true, true};
  SaveSettings(record);

  auto values = EnumValues(kSettingsKey);
  ASSERT_EQ(values.size(), 6u);
  for (const auto& run : EnumValues(kRunKey)) values.push_back(run);
  const settings::Base64LineEncoder& outer = settings::OuterEncoder();
  for (const auto& value : values) {
    for (const auto& secret : {password, user}) {
      const auto utf16 = Bytes(secret, false), utf8 = Utf8(secret);
      EXPECT_FALSE(Contains(value.data, utf16)) << Utf16ToUtf8(value.name);
      EXPECT_FALSE(Contains(value.data, utf8)) << Utf16ToUtf8(value.name);
      if (value.name == kRunEntry) continue;
      // Not merely encoded: neither Base64 layer hides the plaintext alone.
      const std::vector<std::uint8_t> inner = outer.Decode(Units(value.data));
      EXPECT_FALSE(Contains(inner, utf8)) << Utf16ToUtf8(value.name);
      cipher::MemoryStream ciphertext;
      cipher::DecodeBase64Text(std::u16string(inner.begin(), inner.end()), ciphertext);
      EXPECT_FALSE(Contains(ciphertext.Bytes(), utf8)) << Utf16ToUtf8(value.name);
    }
  }
}

// A value of a non-text type stops the load at that value: the fields read
// before it are loaded, it and the later ones keep what they held.
struct BadType {
  const char* label;
  DWORD type;
  std::vector<std::uint8_t> data;
};
void PrintTo(const BadType& bad, std::ostream* out) { *out << bad.label; }

class InvalidType : public SettingsOnWine, public ::testing::WithParamInterface<std::tuple<const char16_t*, BadType>> {};

TEST_P(InvalidType, StopsTheLoadAtThatValue) {
  const ConnectionSettings stored{u"Z:", u"stored-user", u"stored-pw", true, true};
  const ConnectionSettings before{u"Q:", u"old-user", u"old-pw", false, false};
  record = stored;
  SaveSettings(record);

  const std::u16string name = std::get<0>(GetParam());
  const BadType& bad = std::get<1>(GetParam());
  ASSERT_TRUE(WriteRaw(kSettingsKey, name, bad.type, bad.data));
  record = before;
  try {
    LoadSettings(record);
    ADD_FAILURE() << "no error";
  } catch (const Error& error) {
    EXPECT_EQ(std::string(error.what()), "Invalid data type for '" + Utf16ToUtf8(name) + "'");
  }
  // The load order: USER, PASSWORD, PATHDRIVE, AUTOCONNECT, AUTORUN.
  const std::vector<std::u16string> order = {u"USER", u"PASSWORD", u"PATHDRIVE", u"AUTOCONNECT", u"AUTORUN"};
  const auto failed = std::find(order.begin(), order.end(), name) - order.begin();

  EXPECT_EQ(record.user, failed > 0 ? stored.user : before.user);
  EXPECT_EQ(record.password, failed > 1 ? stored.password : before.password);
  EXPECT_EQ(record.drive, failed > 2 ? stored.drive : before.drive);
  EXPECT_EQ(record.auto_connect, failed > 3 ? stored.auto_connect : before.auto_connect);
  EXPECT_EQ(record.auto_run, before.auto_run);
}

INSTANTIATE_TEST_SUITE_P(
    Values, InvalidType,
    ::testing::Combine(::testing::Values(u"USER", u"PASSWORD", u"PATHDRIVE", u"AUTOCONNECT", u"AUTORUN"),
                       ::testing::Values(BadType{"Dword", REG_DWORD, {1, 0, 0, 0}},
                                         BadType{"Binary", REG_BINARY, Bytes(u"QUJD")},
                                         BadType{"MultiSz", REG_MULTI_SZ, Bytes(std::u16string(u"QUJD\0", 5))},
                                         BadType{"Qword", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}})),
    [](const auto& info) {
      return Utf16ToUtf8(std::get<0>(info.param)) + "_" + std::get<1>(info.param).label;
    });

// Text data as other writers may leave it: read up to the first zero unit
// or the last whole unit, never past the data.
TEST_F(SettingsOnWine, OddTextDataIsReadSafely) {
  WriteProtectedValue(u"PATHDRIVE", u"Z:");
  const std::u16string stored = Stored(u"PATHDRIVE");
  ASSERT_EQ(stored.size(), 24u);
  const auto plain = Bytes(stored, false);
  auto with = [&](std::vector<std::uint8_t> tail) {
    std::vector<std::uint8_t> data = plain;
    data.insert(data.end(), tail.begin(), tail.end());
    return data;
  };
  const struct {
    const char* label;
    std::vector<std::uint8_t> data;
    std::u16string expected;
  } cases[] = {
      {"no terminator", plain, u"Z:"},
      {"embedded zero", with({0, 0, 'Q', 0, 'U', 0, 'J', 0, 'D', 0, 0, 0}), u"Z:"},
      {"odd byte count", with({'Q'}), u"Z:"},
      {"terminator and odd byte", with({0, 0, 'Q'}), u"Z:"},
      {"zero bytes", {}, u""},
      {"one byte", {'Q'}, u""},
      {"only a terminator", {0, 0}, u""},
      {"only line breaks", Bytes(u"\r\n\r\n"), u""},
      {"zero first", {0, 0, 'Q', 0, 'U', 0}, u""},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(WriteRaw(kSettingsKey, u"PATHDRIVE", REG_SZ, c.data)) << c.label;
    std::u16string value = u"keep";
    ReadProtectedValue(u"PATHDRIVE", value);
    EXPECT_EQ(value, c.expected) << c.label;
  }
}

TEST_F(SettingsOnWine, ExpandSzIsReadAsItIs) {
  WriteProtectedValue(u"PATHDRIVE", u"Z:");
  const std::u16string stored = Stored(u"PATHDRIVE");
  // Four of the stored characters become a variable reference. Unexpanded,
  // the decoder skips the '%' and sees the same characters; expanded, it
  // would see the variable's value instead.
  const std::u16string name = stored.substr(4, 4);
  ASSERT_TRUE(SetEnvironmentVariableW(Wide(name), L"AAAA"));
  const std::u16string expandable = stored.substr(0, 4) + u"%" + name + u"%" + stored.substr(8);
  ASSERT_TRUE(WriteRaw(kSettingsKey, u"PATHDRIVE", REG_EXPAND_SZ, Bytes(expandable)));
  ASSERT_TRUE(WriteRaw(kSettingsKey, u"USER", REG_EXPAND_SZ, Bytes(stored)));

  LoadSettings(record);
  SetEnvironmentVariableW(Wide(name), nullptr);
  EXPECT_EQ(record.drive, u"Z:");
  EXPECT_EQ(record.user, u"Z:");
  // Reading changed nothing in the registry.
  const auto raw = ReadRaw(kSettingsKey, u"PATHDRIVE");
  ASSERT_TRUE(raw.has_value());
  EXPECT_EQ(raw->type, static_cast<DWORD>(REG_EXPAND_SZ));
  EXPECT_EQ(raw->data, Bytes(expandable));
}

TEST_F(SettingsOnWine, SaveAndLoadLeaveOtherValuesAlone) {
  // Another program's value beside ours stays; the load neither needs nor
  // touches it.
  ASSERT_TRUE(WriteRaw(kSettingsKey, u"Altro", REG_DWORD, {7, 0, 0, 0}));
  record = {u"Z:", u"u", u"p", false, false};
  SaveSettings(record);
  LoadSettings(record);
  EXPECT_EQ(record.user, u"u");
  EXPECT_EQ(EnumValues(kSettingsKey).size(), 7u);
  EXPECT_EQ(ReadRaw(kSettingsKey, u"Altro")->data, (std::vector<std::uint8_t>{7, 0, 0, 0}));
}

}  // namespace
}  // namespace qlx::test
