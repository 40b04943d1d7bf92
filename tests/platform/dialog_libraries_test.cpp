// The table of the dialog's libraries against Wine's real loader. This exe
// asks for version 6 of the common controls in its manifest, as the program
// does, and imports neither library: several tests look at what is loaded,
// and those run alone in a process of their own (CMakeLists.txt).
#include "platform/win32/dialog_libraries.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "base/errors.h"

namespace qlx::platform {
namespace {

template <class Function>
void* Address(Function f) {
  return reinterpret_cast<void*>(f);
}

void* Export(const wchar_t* library, const char* name) {
  HMODULE module = GetModuleHandleW(library);
  return module == nullptr ? nullptr : reinterpret_cast<void*>(GetProcAddress(module, name));
}

std::wstring LowerFileOf(HMODULE module) {
  wchar_t file[MAX_PATH] = {};
  GetModuleFileNameW(module, file, MAX_PATH);
  CharLowerW(file);
  return file;
}

// Version 6 lives in its side-by-side assembly's folder, on Windows as in
// Wine; the system directory's comctl32.dll is version 5. (Wine's
// DllGetVersion says 5 for both, so the file is what tells them apart.)
bool IsCommonControlsSix(HMODULE module) {
  return LowerFileOf(module).find(L"_microsoft.windows.common-controls_6595b64144ccf1df_6.") != std::wstring::npos;
}

std::wstring LowerSystemDirectory() {
  wchar_t folder[MAX_PATH] = {};
  GetSystemDirectoryW(folder, MAX_PATH);
  CharLowerW(folder);
  return std::wstring(folder) + L"\\";
}

template <class F>
std::string ErrorText(F&& f) {
  try {
    f();
  } catch (const Error& e) {
    return e.what();
  }
  return "no error";
}

// ------------------------------------------------- first use (own process)

TEST(DialogLibrariesFirstUse, NothingIsLoadedBeforeTheTableIsAskedFor) {
  ASSERT_EQ(GetModuleHandleW(L"comctl32.dll"), nullptr) << "loaded before the table was asked for";
  ASSERT_EQ(GetModuleHandleW(L"dwmapi.dll"), nullptr) << "loaded before the table was asked for";
  EXPECT_FALSE(DialogLibrariesLoaded());

  const DialogFunctions& table = DialogLibraries();
  EXPECT_TRUE(DialogLibrariesLoaded());
  EXPECT_NE(GetModuleHandleW(L"comctl32.dll"), nullptr);
  EXPECT_NE(GetModuleHandleW(L"dwmapi.dll"), nullptr);
  EXPECT_EQ(&DialogLibraries(), &table) << "a second call must return the table it made";
  // The manifest's request for version 6 is met, as the import table met it.
  EXPECT_TRUE(IsCommonControlsSix(GetModuleHandleW(L"comctl32.dll"))) << LowerFileOf(GetModuleHandleW(L"comctl32.dll"));
  EXPECT_EQ(LowerFileOf(GetModuleHandleW(L"dwmapi.dll")), LowerSystemDirectory() + L"dwmapi.dll");
}

// Where the loader lacks the search flag: the full path, but for a name the
// manifest redirects, which must still come from its assembly.
TEST(DialogLibrariesFallback, TheFullPathKeepsTheManifestsRedirection) {
  ASSERT_EQ(GetModuleHandleW(L"comctl32.dll"), nullptr);
  ASSERT_EQ(GetModuleHandleW(L"dwmapi.dll"), nullptr);
  unique_hmodule comctl = LoadSystemLibrary(L"comctl32.dll", SystemSearch::FullPath);
  EXPECT_TRUE(IsCommonControlsSix(comctl.get())) << LowerFileOf(comctl.get());
  unique_hmodule dwmapi = LoadSystemLibrary(L"dwmapi.dll", SystemSearch::FullPath);
  EXPECT_EQ(LowerFileOf(dwmapi.get()), LowerSystemDirectory() + L"dwmapi.dll");
}

// ------------------------------------------------------- the loaded table

TEST(DialogLibraries, EveryEntryIsTheLibrarysOwnFunctionOfThatName) {
  const DialogFunctions& f = DialogLibraries();
  const struct {
    void* entry;
    const wchar_t* library;
    const char* name;
  } expected[] = {
      {Address(f.InitCommonControlsEx), L"comctl32.dll", "InitCommonControlsEx"},
      {Address(f.SetWindowSubclass), L"comctl32.dll", "SetWindowSubclass"},
      {Address(f.RemoveWindowSubclass), L"comctl32.dll", "RemoveWindowSubclass"},
      {Address(f.DefSubclassProc), L"comctl32.dll", "DefSubclassProc"},
      {Address(f.TaskDialogIndirect), L"comctl32.dll", "TaskDialogIndirect"},
      {Address(f.DwmSetWindowAttribute), L"dwmapi.dll", "DwmSetWindowAttribute"},
  };
  static_assert(sizeof expected / sizeof expected[0] == sizeof(DialogFunctions) / sizeof(void*),
                "every entry of the table is checked");
  for (const auto& e : expected) {
    EXPECT_NE(e.entry, nullptr) << e.name;
    EXPECT_EQ(e.entry, Export(e.library, e.name)) << e.name;
  }
}

// A subclass procedure that counts one message and passes everything on.
UINT counted = 0;
constexpr UINT kCountedMessage = WM_APP + 7;
LRESULT CALLBACK Counting(HWND window, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR, DWORD_PTR data) {
  if (message == kCountedMessage) ++*reinterpret_cast<UINT*>(data);
  return DialogLibraries().DefSubclassProc(window, message, wparam, lparam);
}

TEST(DialogLibraries, ResolvedFunctionsWorkWhenCalled) {
  const DialogFunctions& f = DialogLibraries();
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  EXPECT_TRUE(f.InitCommonControlsEx(&controls));

  HWND edit = CreateWindowExW(0, WC_EDITW, L"", WS_POPUP, 0, 0, 100, 20, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(edit, nullptr);
  counted = 0;
  ASSERT_TRUE(f.SetWindowSubclass(edit, &Counting, 1, reinterpret_cast<DWORD_PTR>(&counted)));
  SendMessageW(edit, kCountedMessage, 0, 0);
  SendMessageW(edit, kCountedMessage, 0, 0);
  // Passed on through DefSubclassProc to the edit control itself.
  SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"through"));
  wchar_t text[16] = {};
  GetWindowTextW(edit, text, 16);
  EXPECT_STREQ(text, L"through");
  EXPECT_TRUE(f.RemoveWindowSubclass(edit, &Counting, 1));
  SendMessageW(edit, kCountedMessage, 0, 0);
  EXPECT_EQ(counted, 2u);

  // (DwmSetWindowAttribute is left out: Wine's says S_OK to anything, even
  // a null window, so a call would show nothing the entry check does not.)
  DestroyWindow(edit);
}

// ------------------------------------------------------------- failures

TEST(DialogLibraries, AMissingLibraryIsAnErrorThatNamesIt) {
  for (SystemSearch how : {SystemSearch::Flag, SystemSearch::FullPath}) {
    EXPECT_EQ(ErrorText([&] { LoadSystemLibrary(L"qlx_no_such_library.dll", how); }),
              "Cannot load the system library qlx_no_such_library.dll (error 126)");
  }
}

TEST(DialogLibraries, AMissingFunctionIsAnErrorThatNamesIt) {
  unique_hmodule dwmapi = LoadSystemLibrary(L"dwmapi.dll");
  EXPECT_EQ(ErrorText([&] { RequiredFunction(dwmapi.get(), L"dwmapi.dll", "QlxNoSuchFunction"); }),
            "The system library dwmapi.dll has no function QlxNoSuchFunction");
  EXPECT_NE(RequiredFunction(dwmapi.get(), L"dwmapi.dll", "DwmSetWindowAttribute"), nullptr);
}

TEST(DialogLibraries, BothWaysOfSearchingFindTheSameSystemLibrary) {
  unique_hmodule by_flag = LoadSystemLibrary(L"dwmapi.dll", SystemSearch::Flag);
  unique_hmodule by_path = LoadSystemLibrary(L"dwmapi.dll", SystemSearch::FullPath);
  EXPECT_EQ(by_flag.get(), by_path.get());
  EXPECT_EQ(SystemSearchAvailable(), SystemSearch::Flag) << "Wine's kernel32 has AddDllDirectory";
}

// ------------------------------------------------------ planted (own process)

// Where the DLL search by name looks before the system directory, a copy of
// the planted library is put under dwmapi.dll. The table must not take it;
// the plain search, asked last, must (or the test proves nothing).
TEST(DialogLibrariesPlanted, ALibraryPlantedOnTheSearchPathIsNeverTaken) {
  ASSERT_EQ(GetModuleHandleW(L"dwmapi.dll"), nullptr);
  wchar_t exe[MAX_PATH];
  ASSERT_NE(GetModuleFileNameW(nullptr, exe, MAX_PATH), 0u);
  const std::filesystem::path planted = std::filesystem::path(exe).parent_path() / L"planted_library.dll";
  ASSERT_TRUE(std::filesystem::exists(planted)) << planted;

  wchar_t temp[MAX_PATH];
  ASSERT_NE(GetTempPathW(MAX_PATH, temp), 0u);
  const std::filesystem::path folder =
      std::filesystem::path(temp) / (L"qlx_planted_" + std::to_wstring(GetCurrentProcessId()));
  std::filesystem::create_directories(folder);
  std::filesystem::copy_file(planted, folder / L"dwmapi.dll", std::filesystem::copy_options::overwrite_existing);
  ASSERT_TRUE(SetDllDirectoryW(folder.c_str()));

  for (SystemSearch how : {SystemSearch::Flag, SystemSearch::FullPath}) {
    unique_hmodule module = LoadSystemLibrary(L"dwmapi.dll", how);
    EXPECT_EQ(GetProcAddress(module.get(), "QlxPlantedLibrary"), nullptr)
        << (how == SystemSearch::Flag ? "by the flag" : "by the full path");
  }
  EXPECT_EQ(GetModuleHandleW(L"dwmapi.dll"), nullptr) << "the loads above must have been undone";

  {
    unique_hmodule by_name(LoadLibraryW(L"dwmapi.dll"));
    ASSERT_TRUE(by_name);
    EXPECT_NE(GetProcAddress(by_name.get(), "QlxPlantedLibrary"), nullptr)
        << "the plain search did not take the planted copy: the setup plants nothing";
  }
  SetDllDirectoryW(nullptr);
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

}  // namespace
}  // namespace qlx::platform
