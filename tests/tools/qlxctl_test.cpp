#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include <qlx/build_info.h>

#include "base/utf.h"
#include "mapping/mapping.h"
#include "settings/autostart.h"
#include "settings/protected_value.h"
#include "settings/record.h"
#include "settings/store.h"
#include "tests/settings/fixture.h"

namespace qlx {
namespace {

using test::kNoMapping;

struct Result {
  int status = -1;
  std::string out;
  std::string err;
};

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs the binary with the input on its standard input, collecting both
// output streams through files so that neither can block the other.
Result Qlxctl(const std::vector<std::string>& args, const std::string& input = "") {
  char dir_template[] = "/tmp/qlxctl-test-XXXXXX";
  const std::string dir = mkdtemp(dir_template);
  const std::string in_path = dir + "/in", out_path = dir + "/out", err_path = dir + "/err";
  std::ofstream(in_path, std::ios::binary) << input;

  std::vector<std::string> argv_strings = {QLXCTL_PATH};
  argv_strings.insert(argv_strings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& s : argv_strings) argv.push_back(s.data());
  argv.push_back(nullptr);

  const pid_t pid = fork();
  if (pid == 0) {
    const int in = open(in_path.c_str(), O_RDONLY);
    const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0) _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    execv(argv[0], argv.data());
    _exit(127);
  }
  Result result;
  int wait_status = 0;
  waitpid(pid, &wait_status, 0);
  result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
  result.out = Slurp(out_path);
  result.err = Slurp(err_path);
  std::remove(in_path.c_str());
  std::remove(out_path.c_str());
  std::remove(err_path.c_str());
  rmdir(dir.c_str());
  return result;
}

bool OnlyStoredAlphabet(const std::string& text) {
  for (char c : text)
    if (!(isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '/' || c == '=' || c == '\r' || c == '\n'))
      return false;
  return true;
}

TEST(Qlxctl, ProtectAndRevealRoundTripThroughTheBinary) {
  struct Case {
    std::string text;
    std::size_t stored_length;
  };
  const std::vector<Case> cases = {
      {"", 0},
      {"S", 16},
      {"Z:", 24},
      {std::string(34, 'a'), 76},
      {std::string(35, 'a'), 82},
      {"C:\\" + std::string(158, 'p'), 312},
      {"Zo\xc3\xab \xe2\x82\xac \xf0\x9d\x84\x9e", 0},
      {"two\nlines\r\n", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const Result protect = Qlxctl({"protect"}, c.text);
    ASSERT_EQ(protect.status, 0) << protect.err;
    EXPECT_EQ(protect.err, "");
    if (c.stored_length || c.text.empty()) {
      EXPECT_EQ(protect.out.size(), c.stored_length);
    }
    EXPECT_TRUE(OnlyStoredAlphabet(protect.out));
    // The product's own reading agrees with the tool's.
    EXPECT_EQ(Utf16ToUtf8(settings::RevealValue(Utf8ToUtf16(protect.out))), c.text);

    const Result reveal = Qlxctl({"reveal"}, protect.out);
    ASSERT_EQ(reveal.status, 0) << reveal.err;
    EXPECT_EQ(reveal.out, c.text);
  }
  // 161 bytes: four full lines, the last CR LF included in the output.
  const Result long_value = Qlxctl({"protect"}, "C:\\" + std::string(158, 'p'));
  EXPECT_EQ(long_value.out.substr(long_value.out.size() - 2), "\r\n");
}

TEST(Qlxctl, RevealReadsWhatTheStoreWroteAndReportsBadInput) {
  const std::u16string value = u"\\\\server\\cartella \u00e8";
  const std::u16string stored = settings::ProtectValue(value);
  std::string altered;
  for (char c : Utf16ToUtf8(stored))
    if (c != '\r') altered += c;  // LF only
  for (const std::string& input : {Utf16ToUtf8(stored), altered}) {
    const Result r = Qlxctl({"reveal"}, input);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, Utf16ToUtf8(value));
  }
  const std::vector<std::uint8_t> not_utf8 = {0xC3, 0x28};
  const std::u16string bad = settings::OuterEncoder().Encode(not_utf8.data(), not_utf8.size());
  for (const std::string& input : {Utf16ToUtf8(bad), std::string("Z\xff\xfe")}) {
    const Result r = Qlxctl({"reveal"}, input);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, std::string(kNoMapping) + "\n");
  }
  const Result protect_bad = Qlxctl({"protect"}, "\xc0\xaf");
  EXPECT_EQ(protect_bad.status, 1);
  EXPECT_EQ(protect_bad.err, std::string(kNoMapping) + "\n");
}

TEST(Qlxctl, UsageErrorsExitTwoAndHelpExitsZero) {
  const std::vector<std::vector<std::string>> usage_errors = {
      {},
      {"frobnicate"},
      {"protect", "--drive", "Z:"},
      {"reg", "--drive", "Z:", "--user", "u"},
      {"reg", "--drive", "Z:", "--user", "u", "--program"},
      {"reg", "--drive", "Z:", "--drive", "Y:", "--user", "u", "--program", "p"},
      {"reg", "--drive", "Z:", "--user", "u", "--program", "p", "--autorun=yes"},
      {"reg", "--drive", "Z:", "--user", "u", "--program", "p", "extra"},
      {"load"},  // Windows only
      {"save", "--drive", "Z:", "--user", "u"},
      {"connect"},
      {"connect", "--no-explorer"},
      {"disconnect"},
      {"connect", "--drive", "Z:"},
      {"disconnect", "--no-explorer"},
      {"info", "--no-explorer"},
      {"--version", "extra"},
      {"reveal", "--user", "\xff"},
  };
  for (const auto& args : usage_errors) {
    SCOPED_TRACE(testing::PrintToString(args));
    const Result r = Qlxctl(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("usage: qlxctl"), std::string::npos);
  }
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"--help"}, {"-h"}, {"reg", "--help"}}) {
    const Result r = Qlxctl(args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("usage: qlxctl", 0), 0u);
    EXPECT_EQ(r.err, "");
  }
}

TEST(Qlxctl, InfoAndVersionPrintTheBuildSettings) {
  const std::string expected = std::string("qlxctl ") + QLX_VERSION_TEXT + "\nservice base URL: " +
                               Utf16ToUtf8(mapping::ServiceBaseUrl()) +
                               "\naccount domain: " + Utf16ToUtf8(mapping::AccountDomain()) + "\n";
  for (const char* command : {"info", "--version"}) {
    SCOPED_TRACE(command);
    const Result r = Qlxctl({command});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(r.err, "");
  }
  // The values are the build's: a URL ending in "/", a bare domain.
  EXPECT_EQ(mapping::ServiceBaseUrl().rfind(u"https://", 0), 0u);
  EXPECT_EQ(mapping::ServiceBaseUrl().back(), u'/');
  EXPECT_EQ(mapping::AccountDomain().find_first_of(u"@/ "), std::u16string::npos);
}

// --- .reg output -----------------------------------------------------------

struct RegValue {
  std::u16string name;
  std::u16string text;  // without its terminator
};
struct RegKeyBlock {
  std::u16string path;
  std::vector<RegValue> values;
};

// Reads the file as regedit would, checking its form on the way.
std::vector<RegKeyBlock> ParseRegFile(const std::string& bytes) {
  std::vector<RegKeyBlock> keys;
  EXPECT_GE(bytes.size(), 2u);
  EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xFF);
  EXPECT_EQ(static_cast<unsigned char>(bytes[1]), 0xFE);
  EXPECT_EQ(bytes.size() % 2, 0u);
  std::u16string text;
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2)
    text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                         (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  std::vector<std::u16string> lines;
  for (std::size_t start = 0; start < text.size();) {
    const std::size_t end = text.find(u"\r\n", start);
    EXPECT_NE(end, std::u16string::npos) << "text after the last CR LF";
    if (end == std::u16string::npos) break;
    lines.push_back(text.substr(start, end - start));
    EXPECT_EQ(lines.back().find_first_of(u"\r\n"), std::u16string::npos) << "a lone CR or LF";
    EXPECT_LE(lines.back().size(), 80u);
    start = end + 2;
  }
  EXPECT_GE(lines.size(), 2u);
  if (lines.size() < 2) return keys;
  EXPECT_EQ(lines[0], u"Windows Registry Editor Version 5.00");
  EXPECT_EQ(lines[1], u"");
  EXPECT_EQ(lines.back(), u"");
  for (std::size_t i = 2; i < lines.size(); ++i) {
    std::u16string line = lines[i];
    if (line.empty()) continue;
    if (line.front() == u'[') {
      EXPECT_EQ(line.back(), u']');
      keys.push_back({line.substr(1, line.size() - 2), {}});
      continue;
    }
    while (!line.empty() && line.back() == u'\\' && i + 1 < lines.size()) {
      line.pop_back();
      EXPECT_EQ(lines[i + 1].substr(0, 2), u"  ");
      line += lines[++i].substr(2);
    }
    EXPECT_FALSE(keys.empty());
    EXPECT_EQ(line.front(), u'"');
    std::u16string name;
    std::size_t pos = 1;
    for (; pos < line.size() && line[pos] != u'"'; ++pos) {
      if (line[pos] == u'\\') ++pos;
      name += line[pos];
    }
    const std::u16string prefix = u"=hex(1):";
    EXPECT_EQ(line.substr(pos + 1, prefix.size()), prefix);
    std::vector<std::uint8_t> data;
    const std::string hex = Utf16ToUtf8(line.substr(pos + 1 + prefix.size()));
    std::stringstream items(hex);
    for (std::string item; std::getline(items, item, ',');) {
      EXPECT_EQ(item.size(), 2u) << item;
      data.push_back(static_cast<std::uint8_t>(std::stoul(item, nullptr, 16)));
    }
    EXPECT_EQ(data.size() % 2, 0u);
    EXPECT_GE(data.size(), 2u);
    std::u16string value;
    for (std::size_t b = 0; b + 1 < data.size(); b += 2) value.push_back(static_cast<char16_t>(data[b] | (data[b + 1] << 8)));
    EXPECT_EQ(value.back(), 0) << "terminator";
    value.pop_back();
    EXPECT_EQ(value.find(char16_t{0}), std::u16string::npos);
    if (!keys.empty()) keys.back().values.push_back({name, value});
  }
  return keys;
}

class QlxctlReg : public test::SettingsTest {
 protected:
  // What SaveSettings stores for the same settings, in the memory registry.
  std::vector<RegKeyBlock> StoreWrites(const std::u16string& drive, const std::u16string& user,
                                       const std::u16string& password, const std::u16string& path, bool autoconnect,
                                       bool autorun) {
    program.path = path;
    auto& p = record;
    p = {drive, user, password, autoconnect, autorun};
    SaveSettings(record);
    std::vector<RegKeyBlock> keys;
    for (const std::u16string path_of_key : {test::kSettingsKey, test::kRunKey}) {
      RegKeyBlock block{u"HKEY_CURRENT_USER\\" + path_of_key, {}};
      for (const auto& [name, value] : registry.Values(path_of_key))
        block.values.push_back({name, *registry.GetText(path_of_key, name)});
      if (!block.values.empty()) keys.push_back(block);
    }
    return keys;
  }
};

// Settings values compare by what they reveal (each save draws a new
// nonce); the Run entry is in clear and compares as it is.
void ExpectSameSettings(const std::vector<RegKeyBlock>& file, const std::vector<RegKeyBlock>& store) {
  ASSERT_EQ(file.size(), store.size());
  for (std::size_t k = 0; k < file.size(); ++k) {
    EXPECT_EQ(file[k].path, store[k].path);
    ASSERT_EQ(file[k].values.size(), store[k].values.size());
    const bool protected_values = k == 0;
    for (std::size_t v = 0; v < file[k].values.size(); ++v) {
      EXPECT_EQ(file[k].values[v].name, store[k].values[v].name);
      if (protected_values) {
        EXPECT_NE(file[k].values[v].text, store[k].values[v].text);
        EXPECT_EQ(settings::RevealValue(file[k].values[v].text), settings::RevealValue(store[k].values[v].text));
      } else {
        EXPECT_EQ(file[k].values[v].text, store[k].values[v].text);
      }
    }
  }
}

TEST_F(QlxctlReg, FileStoresWhatSaveSettingsStores) {
  const std::string program_path =
      "C:\\Program Files (x86)\\PELMORA\\una cartella dal nome piuttosto lungo per andare a capo\\QLXDrive.exe";
  const std::string password = "p\xc3\xa4ss w\xc3\xb6rd \xe2\x82\xac";
  const Result r = Qlxctl({"reg", "--drive", "Z:", "--user", "Zo\xc3\xab Rossi", "--program", program_path,
                           "--autoconnect", "--autorun"},
                          password + "\n");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const auto file = ParseRegFile(r.out);
  const auto store = StoreWrites(u"Z:", u"Zo\u00eb Rossi", Utf8ToUtf16(password), Utf8ToUtf16(program_path), true, true);
  ExpectSameSettings(file, store);

  ASSERT_EQ(file.size(), 2u);
  EXPECT_EQ(file[0].path, u"HKEY_CURRENT_USER\\Software\\PELMORA\\QLXDrive");
  const std::vector<std::pair<std::u16string, std::u16string>> expected = {
      {u"PATHDRIVE", u"Z:"},     {u"ConfigIniFilesPath", Utf8ToUtf16(program_path)},
      {u"USER", u"Zo\u00eb Rossi"}, {u"PASSWORD", Utf8ToUtf16(password)},
      {u"AUTOCONNECT", u"S"},     {u"AUTORUN", u"S"}};
  ASSERT_EQ(file[0].values.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(file[0].values[i].name, expected[i].first);
    EXPECT_EQ(settings::RevealValue(file[0].values[i].text), expected[i].second);
    EXPECT_EQ(file[0].values[i].text.find(Utf8ToUtf16(password)), std::u16string::npos);
  }
  // The long path's protected text spans lines: CR LF survive inside hex(1).
  EXPECT_NE(file[0].values[1].text.find(u"\r\n"), std::u16string::npos);
  EXPECT_EQ(file[1].path, u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run");
  ASSERT_EQ(file[1].values.size(), 1u);
  EXPECT_EQ(file[1].values[0].name, u"QLXDrive");
  // Quoted: the path has blanks.
  const std::u16string quoted = settings::AutostartCommand(Utf8ToUtf16(program_path));
  EXPECT_EQ(quoted.front(), u'"');
  EXPECT_EQ(quoted.substr(1, quoted.size() - 2), Utf8ToUtf16(program_path));
  EXPECT_EQ(file[1].values[0].text, quoted);
}

TEST_F(QlxctlReg, WithoutAutorunTheRunKeyIsLeftAlone) {
  const Result r = Qlxctl({"reg", "--drive=Y:", "--user=mario", "--program=C:\\QLX\\QLXDrive.exe"}, "segreta\r\n");
  ASSERT_EQ(r.status, 0) << r.err;
  const auto file = ParseRegFile(r.out);
  ExpectSameSettings(file, StoreWrites(u"Y:", u"mario", u"segreta", u"C:\\QLX\\QLXDrive.exe", false, false));
  ASSERT_EQ(file.size(), 1u);
  EXPECT_EQ(settings::RevealValue(file[0].values[3].text), u"segreta");  // one line end is not the password's
  EXPECT_EQ(settings::RevealValue(file[0].values[4].text), u"N");
  EXPECT_EQ(settings::RevealValue(file[0].values[5].text), u"N");

  // A program path without blanks goes into the Run entry as it is.
  const Result with_run = Qlxctl({"reg", "--drive", "Y:", "--user", "m", "--program", "C:\\QLX\\QLXDrive.exe", "--autorun"}, "");
  const auto run_file = ParseRegFile(with_run.out);
  ASSERT_EQ(run_file.size(), 2u);
  EXPECT_EQ(run_file[1].values[0].text, u"C:\\QLX\\QLXDrive.exe");
  EXPECT_EQ(settings::RevealValue(run_file[0].values[3].text), u"");
}

}  // namespace
}  // namespace qlx
