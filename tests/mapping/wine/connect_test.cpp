// The mapping's Connect and Disconnect and OpenExplorer with the real Win32 API
// under Wine, run by mapping_wine.sh in a prefix of its own whose
// C:\windows\system32\net.exe and C:\windows\explorer.exe are the tests'
// stand-ins. The settings live in an in-memory registry (the tests of this
// file run in two processes at once); message boxes are recorded instead of
// shown, and pauses are counted while they really sleep.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "base/utf.h"
#include "mapping/mapping.h"
#include "platform/context.h"
#include "platform/win32/text.h"
#include "platform/win32/win32_platform.h"
#include "settings/record.h"
#include "settings/store.h"
#include "tests/mapping/doubles.h"
#include "tests/settings/memory_registry.h"
#include "tests/standins/folder.h"

namespace qlx::mapping {
namespace {

using Clock = std::chrono::steady_clock;
using platform::U16;
using platform::W;
using test::SplitNetLine;

long long MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

bool Defined(wchar_t letter) { return (GetLogicalDrives() >> (letter - L'A')) & 1u; }

std::wstring Drive(wchar_t letter) { return std::wstring(1, letter) + L":"; }

// An explorer.log line without its time.
std::string Opened(const std::string& line) { return line.substr(line.find(' ') + 1); }

// Real pauses, counted.
class CountedSleep final : public platform::Clock {
 public:
  std::vector<std::uint32_t> pauses;
  void Pause(std::uint32_t milliseconds) override {
    pauses.push_back(milliseconds);
    Sleep(milliseconds);
  }
  std::size_t Of(std::uint32_t milliseconds) const {
    std::size_t n = 0;
    for (auto p : pauses) n += p == milliseconds;
    return n;
  }
};

// The system's texts and last error, but boxes recorded: a box on screen
// would hold the test until someone answered it, and mapping must show none.
class RecordedBoxes final : public platform::Messages {
 public:
  struct Box {
    std::u16string caption, text;
  };
  std::vector<Box> boxes;
  void Show(const std::u16string& caption, const std::u16string& text, Kind) override {
    boxes.push_back({caption, text});
  }
  std::uint32_t LastError() override { return real_.LastError(); }
  std::u16string SystemText(std::uint32_t code) override { return real_.SystemText(code); }

 private:
  platform::Win32Messages real_;
};

class WineConnect : public ::testing::Test {
 protected:
  void SetUp() override { registry.AddKey(u"Software\\Microsoft\\Windows\\CurrentVersion\\Run"); }
  void TearDown() override {
    for (wchar_t letter : letters_)
      for (int i = 0; i < 8 && Defined(letter); ++i) DefineDosDeviceW(DDD_REMOVE_DEFINITION, Drive(letter).c_str(), nullptr);
  }

  // The letter this test uses; left undefined at the end whatever happens.
  wchar_t Use(wchar_t letter) {
    letters_.push_back(letter);
    EXPECT_FALSE(Defined(letter)) << "drive " << static_cast<char>(letter) << " is taken before the test";
    return letter;
  }
  void Store(const std::u16string& drive, const std::u16string& user, const std::u16string& password) {
    settings::SaveSettings(registry, program, settings::ConnectionSettings{drive, user, password, false, false});
  }
  std::string ExpectedConnect(const std::string& drive, const std::string& user, const std::string& password) {
    return "NET USE " + drive + " " + Utf16ToUtf8(ServiceBaseUrl()) + user + " " + password + " /user:" + user + "@" +
           Utf16ToUtf8(AccountDomain()) + " ";
  }

  // The real processes, drives, environment and shell; the test's own
  // registry, program path, clock and boxes.
  mapping::Platform Parts(platform::Environment& environment) {
    const platform::Context& os = os_.context();
    return {os.processes, clock, os.drives, environment, os.shell, messages, program};
  }

  test::StandinFolder folder{L"connect"};
  test::MemoryRegistry registry;
  test::FixedProgramFile program{u"C:\\Programmi\\QLX Drive\\QLXDrive.exe"};
  CountedSleep clock;
  RecordedBoxes messages;

 private:
  platform::Win32Platform os_;
  std::vector<wchar_t> letters_;

 protected:
  const mapping::Platform parts = Parts(os_.context().environment);
  settings::ConnectionSettings record;
  DriveMapping mapping{record, registry, parts};
};

TEST_F(WineConnect, SuccessMapsTheDriveAndOpensExplorerOnItOnce) {
  const wchar_t q = Use(L'Q');
  Store(u"Q:", u"mario", u"segreta");
  EXPECT_EQ(mapping.Connect(), 0);
  EXPECT_TRUE(mapping.connected());
  EXPECT_TRUE(Defined(q));
  const auto net = folder.Lines(L"net.log");
  ASSERT_EQ(net.size(), 1u);
  EXPECT_EQ(SplitNetLine(net[0]).status, "0");
  EXPECT_EQ(SplitNetLine(net[0]).command_line, ExpectedConnect("Q:", "mario", "segreta"));
  std::printf("typical line seen by net.exe: [%s]\n", SplitNetLine(net[0]).command_line.c_str());
  // The stand-in defines the drive before it ends: no pause was needed.
  EXPECT_EQ(clock.Of(100), 0u);

  const auto explorer = folder.WaitForLines(L"explorer.log", 1);
  ASSERT_EQ(explorer.size(), 1u);
  const std::string opened = Opened(explorer[0]);
  EXPECT_NE(opened.find("explorer.exe"), std::string::npos) << opened;
  EXPECT_EQ(opened.substr(opened.size() - 3), " Q:") << opened;
  EXPECT_TRUE(messages.boxes.empty());

  EXPECT_EQ(mapping.Disconnect(), 0);
  EXPECT_FALSE(mapping.connected());
  EXPECT_FALSE(Defined(q));
  const auto after = folder.Lines(L"net.log");
  ASSERT_EQ(after.size(), 2u);
  EXPECT_EQ(SplitNetLine(after[1]).command_line, "NET USE Q: /DELETE");
  EXPECT_EQ(folder.Lines(L"explorer.log").size(), 1u);
}

TEST_F(WineConnect, AFailedConnectNeitherWaitsNorOpensExplorer) {
  struct Case {
    wchar_t letter;
    const char* exit_file;
    std::int32_t result;
  };
  for (const Case& c : {Case{L'R', "2", 2}, Case{L'S', "4294967295", -1}, Case{L'S', "-2147483648", INT32_MIN}}) {
    SCOPED_TRACE(c.exit_file);
    Use(c.letter);
    folder.ExitWith(c.exit_file);
    Store(U16(Drive(c.letter)), u"mario", u"pw");
    const std::size_t before = folder.Lines(L"net.log").size();
    EXPECT_EQ(mapping.Connect(), c.result);
    EXPECT_FALSE(mapping.connected());
    EXPECT_FALSE(Defined(c.letter));
    EXPECT_EQ(folder.Lines(L"net.log").size(), before + 1);
    EXPECT_EQ(clock.Of(100), 0u);
    EXPECT_TRUE(folder.Lines(L"explorer.log").empty());
  }
  EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(WineConnect, ADrivePresentAtTheFirstTestIsOpenedWithoutAPause) {
  const wchar_t t = Use(L'T');
  ASSERT_TRUE(DefineDosDeviceW(0, Drive(t).c_str(), folder.Path().c_str()));
  folder.Write(L"net-nodrive.txt", "");
  Store(u"t:", u"mario", u"pw");
  EXPECT_EQ(mapping.Connect(), 0);
  EXPECT_EQ(clock.Of(100), 0u);
  const auto explorer = folder.WaitForLines(L"explorer.log", 1);
  ASSERT_EQ(explorer.size(), 1u);
  const std::string opened = Opened(explorer[0]);
  EXPECT_EQ(opened.substr(opened.size() - 3), " t:") << opened;
}

// Slow (about 20 s): run by the script beside the others.
TEST_F(WineConnect, SlowADriveThatNeverAppearsIsGivenUpSilently) {
  const wchar_t v = Use(L'V');
  folder.Write(L"net-nodrive.txt", "");
  Store(u"V:", u"mario", u"pw");
  const auto start = Clock::now();
  EXPECT_EQ(mapping.Connect(), 0);
  const long long took = MillisecondsSince(start);
  std::printf("a drive that never appears: given up after %lld ms\n", took);
  EXPECT_TRUE(mapping.connected());  // the mapping command succeeded
  EXPECT_FALSE(Defined(v));
  EXPECT_EQ(clock.Of(100), 200u);
  EXPECT_GE(took, 20000);
  EXPECT_LT(took, 40000);
  EXPECT_TRUE(folder.Lines(L"explorer.log").empty());
  EXPECT_TRUE(messages.boxes.empty());
}

TEST_F(WineConnect, AnExplorerThatCannotStartIsReportedWithTheSystemText) {
  Use(L'Q');
  test::FakeEnvironment environment;
  environment.variables[u"SYSTEMROOT"] = u"C:\\qlx-no-windows";
  DriveMapping mapping(record, registry, Parts(environment));
  Store(u"Q:", u"mario", u"pw");
  EXPECT_EQ(mapping.Connect(), 0);
  EXPECT_TRUE(mapping.connected());
  // Told back to the shell, which shows it; mapping shows no box itself.
  EXPECT_TRUE(messages.boxes.empty());
  ASSERT_TRUE(mapping.explorer_failure().has_value());
  EXPECT_EQ(mapping.explorer_failure()->caption, u"Qlxdrive");
  const std::u16string text = mapping.explorer_failure()->text;
  EXPECT_TRUE(text == SystemErrorText(messages, ERROR_PATH_NOT_FOUND) || text == SystemErrorText(messages, ERROR_FILE_NOT_FOUND))
      << Utf16ToUtf8(text);
  EXPECT_FALSE(text.empty());
  std::printf("Explorer that cannot start: notice [%s] [%s]\n",
              Utf16ToUtf8(mapping.explorer_failure()->caption).c_str(), Utf16ToUtf8(text).c_str());
  EXPECT_EQ(mapping.Disconnect(), 0);
}

TEST_F(WineConnect, AwkwardFieldsArriveAsOneArgumentEach) {
  const wchar_t w = Use(L'W');
  struct Case {
    std::u16string user, password;
  };
  const std::vector<Case> cases = {
      {u"mario", u"due parole"},
      {u"mario", u"pa\"ss"},
      {u"mario", u"pa\\\"ss"},
      {u"mario", u"pa\tss"},
      {u"mario", u"fine \\"},
      {u"mario rossi", u"p\u00e4ss w\u00f6rd \u20ac"},
      {u"mario", std::u16string(600, u'k') + u" x"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf16ToUtf8(c.password).substr(0, 40));
    Store(u"W:", c.user, c.password);
    ASSERT_EQ(mapping.Connect(false), 0);
    EXPECT_TRUE(Defined(w));
    const auto net = folder.Lines(L"net.log");
    ASSERT_FALSE(net.empty());
    const std::string seen = SplitNetLine(net.back()).command_line;
    EXPECT_EQ(seen, Utf16ToUtf8(ConnectCommand(record)));
    if (c.password.size() < 100) std::printf("awkward line seen by net.exe: [%s]\n", seen.c_str());

    int count = 0;
    const std::u16string received = Utf8ToUtf16(seen);
    wchar_t** argv = CommandLineToArgvW(W(received), &count);
    ASSERT_NE(argv, nullptr);
    std::vector<std::u16string> arguments;
    for (int i = 0; i < count; ++i) arguments.push_back(U16(argv[i], lstrlenW(argv[i])));
    LocalFree(argv);
    const std::vector<std::u16string> expected = {
        u"NET", u"USE", u"W:", ServiceBaseUrl() + c.user, c.password, u"/user:" + c.user + u"@" + AccountDomain()};
    EXPECT_EQ(arguments, expected);

    EXPECT_EQ(mapping.Disconnect(), 0);
    EXPECT_FALSE(Defined(w));
  }
}

// A net.exe beside the program, in the current directory and on PATH is
// never run: the command is the system directory's net.exe by its full path.
TEST_F(WineConnect, APlantedNetIsNeverRun) {
  const wchar_t u = Use(L'U');
  wchar_t own[MAX_PATH];
  const std::wstring own_path(own, GetModuleFileNameW(nullptr, own, MAX_PATH));
  const std::wstring beside = own_path.substr(0, own_path.rfind(L'\\')) + L"\\net.exe";
  const std::wstring current = folder.Path() + L"\\cwd";
  const std::wstring on_path = folder.Path() + L"\\bin";
  wchar_t planted[MAX_PATH];
  ASSERT_GT(GetEnvironmentVariableW(L"QLX_TEST_PLANTED", planted, MAX_PATH), 0u) << "the script names planted.exe";
  CreateDirectoryW(current.c_str(), nullptr);
  CreateDirectoryW(on_path.c_str(), nullptr);
  for (const auto& target : {beside, current + L"\\net.exe", on_path + L"\\net.exe"})
    ASSERT_TRUE(CopyFileW(planted, target.c_str(), FALSE)) << GetLastError();
  wchar_t old_path[32768];
  const DWORD old_length = GetEnvironmentVariableW(L"PATH", old_path, 32768);
  SetEnvironmentVariableW(L"PATH", (on_path + L";" + std::wstring(old_path, old_length)).c_str());
  wchar_t old_directory[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, old_directory);
  SetCurrentDirectoryW(current.c_str());

  Store(u"U:", u"mario", u"pw");
  EXPECT_EQ(mapping.Connect(false), 0);
  EXPECT_TRUE(Defined(u));
  EXPECT_EQ(mapping.Disconnect(), 0);
  EXPECT_EQ(folder.Lines(L"net.log").size(), 2u);
  EXPECT_TRUE(folder.Lines(L"planted.log").empty());

  // The plant is live: a search by name, as an application-less start does,
  // finds it.
  EXPECT_EQ(RunAndWait(parts.processes, parts.clock, DisconnectCommand(record), 0), 0);
  EXPECT_EQ(folder.Lines(L"planted.log").size(), 1u);

  SetCurrentDirectoryW(old_directory);
  SetEnvironmentVariableW(L"PATH", std::wstring(old_path, old_length).c_str());
  for (const auto& target : {beside, current + L"\\net.exe", on_path + L"\\net.exe"}) DeleteFileW(target.c_str());
  RemoveDirectoryW(current.c_str());
  RemoveDirectoryW(on_path.c_str());
}

}  // namespace
}  // namespace qlx::mapping
