// The Win32 pieces of the platform interfaces against Wine's real API: the
// environment, the system directory, drives, pauses, system texts, message
// boxes, and the process runner with the net.exe stand-in run by its path.
#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "base/utf.h"
#include "mapping/mapping.h"
#include "platform/win32/text.h"
#include "platform/win32/unique_handle.h"
#include "platform/win32/win32_platform.h"
#include "tests/standins/folder.h"

namespace qlx::platform {
namespace {

using Clock = std::chrono::steady_clock;
using test::SplitNetLine;
using test::StandinFolder;

std::u16string Standin() { return U16(QLX_STANDIN_NET); }

long long MillisecondsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

bool SameFolding(const std::u16string& a, const std::u16string& b) {
  return CompareStringOrdinal(W(a), static_cast<int>(a.size()), W(b), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

int RunningCopiesOf(const wchar_t* exe_name) {
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  int count = 0;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
    count += lstrcmpiW(entry.szExeFile, exe_name) == 0;
  CloseHandle(snapshot);
  return count;
}

struct BoxContents {
  int icons = 0;  // static controls showing an icon
  bool text = false;
};
BOOL CALLBACK SeeBoxChild(HWND child, LPARAM data) {
  auto* seen = reinterpret_cast<BoxContents*>(data);
  wchar_t name[32];
  GetClassNameW(child, name, 32);
  if (lstrcmpiW(name, L"Static") == 0) {
    if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON && IsWindowVisible(child) &&
        SendMessageW(child, STM_GETICON, 0, 0) != 0)
      ++seen->icons;
    wchar_t text[64];
    GetWindowTextW(child, text, 64);
    if (lstrcmpW(text, L"Testo della prova \u00e8") == 0) seen->text = true;
  }
  return TRUE;
}

class Win32Context : public ::testing::Test {
 protected:
  Win32Platform os;
  const Context& parts = os.context();
};

TEST_F(Win32Context, EnvironmentTellsUnsetFromEmptyAndReadsLongValues) {
  auto& environment = parts.environment;
  // Wine sets it for every process, as Windows does.
  const auto root = environment.Variable(u"SYSTEMROOT");
  ASSERT_TRUE(root.has_value());
  EXPECT_TRUE(SameFolding(*root, u"C:\\windows")) << Utf16ToUtf8(*root);

  SetEnvironmentVariableW(L"QLX_TEST_UNSET", nullptr);
  EXPECT_EQ(environment.Variable(u"QLX_TEST_UNSET"), std::nullopt);
  SetEnvironmentVariableW(L"QLX_TEST_EMPTY", L"");
  EXPECT_EQ(environment.Variable(u"QLX_TEST_EMPTY"), std::u16string());
  const std::u16string long_value = std::u16string(5000, u'v') + u"\u00e8";
  SetEnvironmentVariableW(L"QLX_TEST_LONG", W(long_value));
  EXPECT_EQ(environment.Variable(u"QLX_TEST_LONG"), long_value);
  SetEnvironmentVariableW(L"QLX_TEST_EMPTY", nullptr);
  SetEnvironmentVariableW(L"QLX_TEST_LONG", nullptr);
}

TEST_F(Win32Context, SystemDirectoryDrivesAndPauses) {
  const std::u16string system = parts.processes.SystemDirectory();
  EXPECT_TRUE(SameFolding(system, u"C:\\windows\\system32")) << Utf16ToUtf8(system);
  EXPECT_NE(parts.drives.LogicalDriveMask() & (1u << 2), 0u);  // C:
  const auto start = Clock::now();
  parts.clock.Pause(200);
  EXPECT_GE(MillisecondsSince(start), 190);
}

TEST_F(Win32Context, SystemTextsAreTheSystemsAndTrimmedForShowing) {
  auto& messages = parts.messages;
  for (const std::uint32_t code : {2u, 5u, 87u}) {
    SCOPED_TRACE(code);
    const std::u16string raw = messages.SystemText(code);
    ASSERT_FALSE(raw.empty());
    const std::u16string shown = mapping::SystemErrorText(parts.messages, code);
    ASSERT_FALSE(shown.empty());
    EXPECT_EQ(raw.rfind(shown, 0), 0u);  // a prefix of the system's text
    EXPECT_GT(shown.back(), u' ');
    EXPECT_NE(shown.back(), u'.');
  }
  EXPECT_EQ(messages.SystemText(0x20001234u), u"");
  SetLastError(1234);
  EXPECT_EQ(messages.LastError(), 1234u);
}

// The box itself, found on screen and answered from this thread.
TEST_F(Win32Context, MessageBoxHasOneOkButtonAndAnIconOnlyForErrors) {
  for (const auto kind : {Messages::Kind::Plain, Messages::Kind::Error}) {
    SCOPED_TRACE(kind == Messages::Kind::Plain ? "plain" : "error");
    const std::u16string caption = kind == Messages::Kind::Plain ? u"Qlxprova" : u"Qlxerrore";
    std::atomic<bool> returned{false};
    std::thread shower([&] {
      parts.messages.Show(caption, u"Testo della prova \u00e8", kind);
      returned = true;
    });
    HWND box = nullptr;
    for (const auto start = Clock::now(); !box && MillisecondsSince(start) < 15000;) {
      // Shown once it is set up (the unused buttons gone).
      box = FindWindowW(L"#32770", W(caption));
      if (box && !IsWindowVisible(box)) box = nullptr;
      if (!box) Sleep(50);
    }
    ASSERT_NE(box, nullptr) << "no box appeared";
    EXPECT_FALSE(returned);  // modal: the call waits for the answer
    EXPECT_NE(GetDlgItem(box, IDOK), nullptr);
    for (const int other : {IDCANCEL, IDYES, IDNO, IDABORT, IDRETRY, IDIGNORE})
      EXPECT_EQ(GetDlgItem(box, other), nullptr) << other;
    BoxContents seen;
    EnumChildWindows(box, SeeBoxChild, reinterpret_cast<LPARAM>(&seen));
    EXPECT_TRUE(seen.text);
    EXPECT_EQ(seen.icons, kind == Messages::Kind::Plain ? 0 : 1);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    shower.join();
    EXPECT_TRUE(returned);
  }
}

class Win32Runner : public Win32Context {
 protected:
  StandinFolder folder{L"runner"};
  std::int32_t Run(const std::u16string& line, std::uint32_t timeout_ms = mapping::kMaxWaitMs) {
    return mapping::RunAndWait(parts.processes, parts.clock, line, 0, Standin(), timeout_ms);
  }
};

TEST_F(Win32Runner, ExitCodesReadAsSigned32BitValues) {
  struct Case {
    const char* file;
    std::int32_t result;
  };
  const std::vector<Case> cases = {
      {nullptr, 0}, {"2", 2}, {"259", 259}, {"2147483648", INT32_MIN}, {"4294967295", -1}, {"-2", -2},
  };
  std::size_t runs = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file ? c.file : "no file");
    if (c.file)
      folder.ExitWith(c.file);
    else
      folder.Remove(L"net-exit.txt");
    EXPECT_EQ(Run(u"NET HELP"), c.result);
    const auto lines = folder.Lines(L"net.log");
    ASSERT_EQ(lines.size(), ++runs);
    EXPECT_EQ(SplitNetLine(lines.back()).status, std::to_string(c.result));
  }
}

TEST_F(Win32Runner, TheChildStartsWithTheCallersShowWindowValue) {
  for (const std::uint16_t show : {std::uint16_t{0}, std::uint16_t{7}}) {
    folder.Remove(L"net-startup.log");
    ASSERT_EQ(mapping::RunAndWait(parts.processes, parts.clock, u"NET HELP", show, Standin()), 0);
    const auto lines = folder.Lines(L"net-startup.log");
    ASSERT_EQ(lines.size(), 1u);
    // STARTF_USESHOWWINDOW, with STARTF_USESTDHANDLES for the null device.
    EXPECT_EQ(lines[0], "101 " + std::to_string(show));
  }
}

TEST_F(Win32Runner, TheChildGetsTheLineExactlyAndParsesTheQuotedArgumentsBack) {
  const std::vector<std::u16string> awkward = {
      u"due parole", u"pa\"ss", u"pa\\\"ss", u"pa\tss", u"fine\\ b\\", u"\\\\server\\share",
      u"\u00e8\u20ac\U0001F600 x", u"&|<>^%!",
  };
  std::u16string line = u"NET USE";
  for (const auto& argument : awkward) {
    line += u" ";
    mapping::AppendArgument(line, argument);
  }
  line += u" ";  // the connect line ends with a blank: it must arrive too
  ASSERT_EQ(Run(line), 0);
  const auto lines = folder.Lines(L"net.log");
  ASSERT_EQ(lines.size(), 1u);
  const std::string seen = SplitNetLine(lines[0]).command_line;
  EXPECT_EQ(seen, Utf16ToUtf8(line));

  int count = 0;
  const std::u16string received = Utf8ToUtf16(seen);
  wchar_t** argv = CommandLineToArgvW(W(received), &count);
  ASSERT_NE(argv, nullptr);
  ASSERT_EQ(count, static_cast<int>(awkward.size()) + 2);
  for (std::size_t i = 0; i < awkward.size(); ++i)
    EXPECT_EQ(U16(argv[i + 2], lstrlenW(argv[i + 2])), awkward[i]) << i;
  LocalFree(argv);
}

TEST_F(Win32Runner, LongLinesRunWholeUpToTheSystemsLimit) {
  for (const std::size_t length : {std::size_t{513}, std::size_t{32766}}) {
    SCOPED_TRACE(length);
    folder.Remove(L"net.log");
    const std::u16string line = u"NET HELP " + std::u16string(length - 9, u'k');
    ASSERT_EQ(Run(line), 0);
    const auto lines = folder.Lines(L"net.log");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(SplitNetLine(lines[0]).command_line, Utf16ToUtf8(line));
  }
  // One unit more is not handed to the system at all.
  folder.Remove(L"net.log");
  const ProcessOutcome refused =
      parts.processes.RunAndWait({Standin(), u"NET " + std::u16string(32763, u'k'), 0, 48, 10000});
  EXPECT_EQ(refused.kind, ProcessOutcome::Kind::NotStarted);
  EXPECT_TRUE(folder.Lines(L"net.log").empty());
}

TEST_F(Win32Runner, AProgramThatCannotStartGivesMinusOne) {
  EXPECT_EQ(mapping::RunAndWait(parts.processes, parts.clock, u"NET HELP", 0, u"C:\\qlx-nowhere\\net.exe"), -1);
  EXPECT_EQ(mapping::RunAndWait(parts.processes, parts.clock, u"qlx-no-such-program-anywhere", 0), -1);
}

TEST_F(Win32Runner, AHungChildIsTerminatedAtTheBound) {
  folder.Write(L"net-hang.txt", "");
  const int before = RunningCopiesOf(L"net.exe");
  const auto start = Clock::now();
  EXPECT_EQ(Run(u"NET USE Q: x y /user:z", 1500), -1);
  const long long took = MillisecondsSince(start);
  EXPECT_GE(took, 1500);
  EXPECT_LT(took, 8000);
  const auto lines = folder.Lines(L"net.log");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(SplitNetLine(lines[0]).status, "hang");
  EXPECT_EQ(RunningCopiesOf(L"net.exe"), before);
  std::printf("hung child ended after %lld ms with a 1500 ms bound\n", took);
}

// A letter that no drive uses now, from Q on; 0 when all are taken.
wchar_t FreeDriveLetter() {
  const DWORD mask = GetLogicalDrives();
  for (wchar_t letter = L'Q'; letter <= L'Y'; ++letter)
    if ((mask & (1u << (letter - L'A'))) == 0) return letter;
  return 0;
}

// The disconnect that asks: its question meets end of input at once, so it
// ends with its own "no" long before the bound, and the drive stays.
TEST_F(Win32Runner, AChildReadingItsInputGetsEndOfInputAtOnce) {
  const wchar_t letter = FreeDriveLetter();
  ASSERT_NE(letter, 0);
  const std::wstring drive{letter, L':'};
  ASSERT_TRUE(DefineDosDeviceW(0, drive.c_str(), folder.Path().c_str()));
  folder.Write(L"net-ask.txt", "");
  const auto start = Clock::now();
  const std::int32_t result = Run(u"NET USE " + U16(drive.c_str(), 2) + u" /DELETE", 60000);
  const long long took = MillisecondsSince(start);
  const bool still_there = (GetLogicalDrives() & (1u << (letter - L'A'))) != 0;
  DefineDosDeviceW(DDD_REMOVE_DEFINITION, drive.c_str(), nullptr);

  EXPECT_EQ(result, 2);
  EXPECT_LT(took, 15000) << "the child waited for an answer";
  EXPECT_EQ(folder.Lines(L"net-answers.log"), std::vector<std::string>{"<eof>"});
  EXPECT_TRUE(still_there);
  std::printf("the asking child ended after %lld ms\n", took);
}

// The null device is the one handle the child gets: an inheritable event
// of the caller's stays unsignalled by the child that would signal it. The
// same child started with every inheritable handle does signal it.
TEST_F(Win32Runner, TheChildInheritsNoHandleOfTheCallers) {
  SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
  const unique_handle event(CreateEventW(&inheritable, TRUE, FALSE, nullptr));
  ASSERT_TRUE(event);
  folder.Write(L"net-handle.txt", std::to_string(reinterpret_cast<ULONG_PTR>(event.get())));
  ASSERT_EQ(Run(u"NET HELP"), 0);
  EXPECT_EQ(WaitForSingleObject(event.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));

  std::u16string line = u"NET HELP";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  unique_process_information child;
  ASSERT_TRUE(CreateProcessW(W(Standin()), W(line), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                             &startup, child.put()));
  ASSERT_EQ(WaitForSingleObject(child->hProcess, 30000), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_EQ(WaitForSingleObject(event.get(), 0), static_cast<DWORD>(WAIT_OBJECT_0));
}

}  // namespace
}  // namespace qlx::platform
