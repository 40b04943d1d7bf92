// The single-instance guard inside one process, against Wine's real named
// objects; the program path and the pause are doubles, so that names can
// be chosen and the 2000 ms wait is counted, not slept.
#include "app/single_instance.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/win32/text.h"
#include "settings/program.h"
#include "tests/mapping/doubles.h"
#include "tests/settings/memory_registry.h"

namespace qlx::app {
namespace {

using platform::W;

// Names no other process of the test run uses.
std::u16string Unique(const std::u16string& stem) {
  return stem + u"-" + platform::U16(std::to_wstring(GetCurrentProcessId())) + u".exe";
}

bool MutexExists(const std::u16string& name) {
  const HANDLE found = OpenMutexW(SYNCHRONIZE, FALSE, W(name));
  if (found == nullptr) return false;
  CloseHandle(found);
  return true;
}

int g_delivered = 0;
LRESULT CALLBACK CountingWindow(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_APP + 7) ++g_delivered;
  return DefWindowProcW(window, message, w, l);
}

class Guard : public ::testing::Test {
 protected:
  void SetUp() override { Use(u"C:\\Programmi\\QLX Drive\\" + Unique(u"QlxGuard")); }
  void Use(const std::u16string& path) {
    program.path = path;
  }
  // Drops whatever this thread's queue holds.
  static void EmptyQueue() {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    }
  }
  static bool QuitWaiting(WPARAM* code = nullptr) {
    MSG m;
    if (!PeekMessageW(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) return false;
    if (code) *code = m.wParam;
    return true;
  }

  test::FixedProgramFile program;
  test::CountingClock clock;
};

TEST(GuardName, IsTheFileNameAsSpelledCutAt254Units) {
  const std::u16string n254(254, u'n');
  struct Case {
    std::u16string path, name;
  };
  const std::vector<Case> cases = {
      {u"C:\\Programmi\\QLX Drive\\QLXDrive.exe", u"QLXDrive.exe"},
      {u"c:\\programmi\\qlxdrive.EXE", u"qlxdrive.EXE"},
      {u"QLXDrive.exe", u"QLXDrive.exe"},
      {u"\\\\server\\share\\Qlx Drive (2).exe", u"Qlx Drive (2).exe"},
      {u"C:\\a/b\u00e8.exe", u"b\u00e8.exe"},
      {u"C:QLXDrive.exe", u"QLXDrive.exe"},
      {u"C:\\x\\" + n254, n254},
      {u"C:\\x\\" + n254 + u"X", n254},
      {u"C:\\x\\" + n254 + u"XYZ.exe", n254},
  };
  for (const auto& c : cases) EXPECT_EQ(MutexName(c.path), c.name) << c.name.size();
}

TEST_F(Guard, FirstCopyHoldsTheMutexUntilItsGuardGoes) {
  const std::u16string name = MutexName(program.path);
  EmptyQueue();
  {
    const SingleInstanceGuard guard(program);
    EXPECT_FALSE(guard.AnotherCopyRuns());
    EXPECT_NE(guard.MutexHandle(), 0u);
    EXPECT_EQ(guard.Name(), name);
    EXPECT_TRUE(MutexExists(name));
    EXPECT_TRUE(clock.pauses.empty());
    EXPECT_FALSE(QuitWaiting());
  }
  EXPECT_FALSE(MutexExists(name));
}

TEST_F(Guard, ASecondCopyHoldsNothingProcessesItsMessagesWaitsAndQuits) {
  const std::u16string name = MutexName(program.path);
  // The other copy: the same name created by another owner.
  const HANDLE other = CreateMutexW(nullptr, TRUE, W(name));
  ASSERT_NE(other, nullptr);

  // A window with a message waiting, and a thread message.
  g_delivered = 0;
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = CountingWindow;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = L"QlxGuardTestWindow";
  RegisterClassW(&window_class);
  const HWND window = CreateWindowExW(0, L"QlxGuardTestWindow", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                      GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(window, nullptr);
  EmptyQueue();
  PostMessageW(window, WM_APP + 7, 0, 0);
  PostThreadMessageW(GetCurrentThreadId(), WM_APP + 8, 0, 0);

  {
    const SingleInstanceGuard guard(program);
    EXPECT_TRUE(guard.AnotherCopyRuns());
    EXPECT_EQ(guard.MutexHandle(), 0u);  // closed at once
    EndAsSecondCopy(clock);
    EXPECT_EQ(clock.pauses, std::vector<std::uint32_t>{2000});
    EXPECT_EQ(g_delivered, 1);
    // (A pending quit is returned whatever the filter: look at what came.)
    MSG m{};
    EXPECT_FALSE(PeekMessageW(&m, nullptr, WM_APP + 8, WM_APP + 8, PM_NOREMOVE) && m.message == WM_APP + 8);
    WPARAM code = 99;
    EXPECT_TRUE(QuitWaiting(&code));
    EXPECT_EQ(code, 0u);
  }
  // The other copy's mutex is untouched by the second copy's end.
  EXPECT_TRUE(MutexExists(name));
  CloseHandle(other);
  EXPECT_FALSE(MutexExists(name));
  DestroyWindow(window);
}

TEST_F(Guard, NamesDifferingAfterUnit254AreOneProgram) {
  const std::u16string stem = Unique(u"G") + std::u16string(254, u'g');
  ASSERT_GT(stem.size(), 254u);
  Use(u"C:\\a\\" + stem.substr(0, 254) + u"A.exe");
  const SingleInstanceGuard first(program);
  EXPECT_FALSE(first.AnotherCopyRuns());
  EXPECT_TRUE(MutexExists(stem.substr(0, 254)));

  Use(u"C:\\b\\" + stem.substr(0, 254) + u"B.exe");
  const SingleInstanceGuard second(program);
  EXPECT_TRUE(second.AnotherCopyRuns());
  EXPECT_EQ(second.Name(), stem.substr(0, 254));
}

TEST_F(Guard, OtherNamesAndOtherCaseRunBeside) {
  const SingleInstanceGuard first(program);
  ASSERT_FALSE(first.AnotherCopyRuns());
  const std::u16string path = program.path;
  for (const std::u16string& other : {u"C:\\Programmi\\QLX Drive\\" + Unique(u"QlxGuardCopy"),
                                      u"C:\\Programmi\\QLX Drive\\" + Unique(u"QLXGUARD")}) {
    Use(other);
    const SingleInstanceGuard beside(program);
    EXPECT_FALSE(beside.AnotherCopyRuns()) << platform::W(other);
    EXPECT_NE(beside.MutexHandle(), 0u);
  }
  // The same name from another folder is the same program.
  Use(u"D:\\altrove\\" + settings::FileName(path));
  const SingleInstanceGuard same(program);
  EXPECT_TRUE(same.AnotherCopyRuns());
}

// A name held by an object of another kind: no mutex can be made, and the
// copy runs as the only one.
TEST_F(Guard, ANameTakenByAnotherKindOfObjectLetsTheCopyRun) {
  const std::u16string name = MutexName(program.path);
  const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, W(name));
  ASSERT_NE(event, nullptr);
  EmptyQueue();
  const SingleInstanceGuard guard(program);
  EXPECT_FALSE(guard.AnotherCopyRuns());
  EXPECT_EQ(guard.MutexHandle(), 0u);
  EXPECT_TRUE(clock.pauses.empty());
  EXPECT_FALSE(QuitWaiting());
  CloseHandle(event);
}

// The program's own path cannot be read: the copy cannot name the mutex,
// and runs as the only one rather than ending the start.
TEST_F(Guard, AProgramPathThatCannotBeReadLetsTheCopyRun) {
  test::FailingProgramFile failing;
  EmptyQueue();
  std::optional<SingleInstanceGuard> guard;
  ASSERT_NO_THROW(guard.emplace(failing));
  EXPECT_FALSE(guard->AnotherCopyRuns());
  EXPECT_EQ(guard->MutexHandle(), 0u);
  EXPECT_EQ(guard->Name(), u"");
  EXPECT_FALSE(QuitWaiting());
}

}  // namespace
}  // namespace qlx::app
