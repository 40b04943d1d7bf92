// The single-instance guard inside one process, against Wine's real named
// objects; the program path and the pause are doubles, so that names can
// be chosen and the 2000 ms wait is counted, not slept.
#include "app/just_one.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/context.h"
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

class Guard : public ::testing::Test {
 protected:
  void SetUp() override { Use(u"C:\\Programmi\\QLX Drive\\" + Unique(u"QlxGuard")); }
  void Use(const std::u16string& path) {
    program.path = path;
    scope_.reset();
    scope_.emplace(platform::Context{.program = &program, .clock = &clock});
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

 private:
  std::optional<platform::ScopedContext> scope_;
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
  for (const auto& c : cases) EXPECT_EQ(NomeMutex(c.path), c.name) << c.name.size();
}

TEST_F(Guard, FirstCopyHoldsTheMutexUntilItsGuardGoes) {
  const std::u16string name = NomeMutex(program.path);
  EmptyQueue();
  {
    TJustOne32 guard;
    TPreviousInstance* state = IstanzaPrecedente();
    ASSERT_NE(state, nullptr);
    EXPECT_FALSE(state->hPrevInst());
    EXPECT_NE(state->MutexHandle(), 0u);
    EXPECT_EQ(state->AppName(), name);
    EXPECT_TRUE(MutexExists(name));
    EXPECT_FALSE(guard.ControlloSessione());
    EXPECT_TRUE(clock.pauses.empty());
    EXPECT_FALSE(QuitWaiting());
  }
  EXPECT_EQ(IstanzaPrecedente()->MutexHandle(), 0u);  // the state itself lives on
  EXPECT_FALSE(MutexExists(name));
}

TEST_F(Guard, ASecondCopyHoldsNothingProcessesItsMessagesWaitsAndQuits) {
  const std::u16string name = NomeMutex(program.path);
  // The other copy: the same name created by another owner.
  const HANDLE other = CreateMutexW(nullptr, TRUE, W(name));
  ASSERT_NE(other, nullptr);

  // A window with a message waiting, and a thread message.
  static int delivered = 0;
  delivered = 0;
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = [](HWND w, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
    if (m == WM_APP + 7) ++delivered;
    return DefWindowProcW(w, m, wp, lp);
  };
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
    TJustOne32 guard;
    const TPreviousInstance* state = IstanzaPrecedente();
    EXPECT_TRUE(state->hPrevInst());
    EXPECT_EQ(state->MutexHandle(), 0u);  // closed at once
    EXPECT_TRUE(guard.ControlloSessione());
    EXPECT_EQ(clock.pauses, std::vector<std::uint32_t>{2000});
    EXPECT_EQ(delivered, 1);
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
  TJustOne32 first;
  EXPECT_FALSE(IstanzaPrecedente()->hPrevInst());
  EXPECT_TRUE(MutexExists(stem.substr(0, 254)));

  Use(u"C:\\b\\" + stem.substr(0, 254) + u"B.exe");
  TPreviousInstance second;
  second.SethPrevInst();
  EXPECT_TRUE(second.hPrevInst());
  EXPECT_EQ(second.AppName(), stem.substr(0, 254));
}

TEST_F(Guard, OtherNamesAndOtherCaseRunBeside) {
  TJustOne32 first;
  ASSERT_FALSE(IstanzaPrecedente()->hPrevInst());
  const std::u16string path = program.path;
  for (const std::u16string& other : {u"C:\\Programmi\\QLX Drive\\" + Unique(u"QlxGuardCopy"),
                                      u"C:\\Programmi\\QLX Drive\\" + Unique(u"QLXGUARD")}) {
    Use(other);
    TPreviousInstance beside;
    beside.SethPrevInst();
    EXPECT_FALSE(beside.hPrevInst()) << platform::W(other);
    EXPECT_NE(beside.MutexHandle(), 0u);
  }
  // The same name from another folder is the same program.
  Use(u"D:\\altrove\\" + settings::NomeFile(path));
  TPreviousInstance same;
  same.SethPrevInst();
  EXPECT_TRUE(same.hPrevInst());
}

// A name held by an object of another kind: no mutex can be made, and the
// copy runs as the only one.
TEST_F(Guard, ANameTakenByAnotherKindOfObjectLetsTheCopyRun) {
  const std::u16string name = NomeMutex(program.path);
  const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, W(name));
  ASSERT_NE(event, nullptr);
  EmptyQueue();
  TJustOne32 guard;
  EXPECT_FALSE(IstanzaPrecedente()->hPrevInst());
  EXPECT_EQ(IstanzaPrecedente()->MutexHandle(), 0u);
  EXPECT_FALSE(guard.ControlloSessione());
  EXPECT_TRUE(clock.pauses.empty());
  EXPECT_FALSE(QuitWaiting());
  CloseHandle(event);
}

}  // namespace
}  // namespace qlx::app
