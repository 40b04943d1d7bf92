#include "platform/win32/dialog_libraries.h"

#include <string>

#include "base/errors.h"

namespace qlx::platform {

namespace {

// Library and function names are ASCII.
std::string Narrow(const wchar_t* text) {
  std::string narrow;
  for (; *text != L'\0'; ++text) narrow += static_cast<char>(*text < 0x80 ? *text : L'?');
  return narrow;
}

template <class Function>
Function As(FARPROC address) noexcept {
  // Through void*: a cast between unrelated function pointer types draws a
  // warning, and the type is the one the header declares for this name.
  return reinterpret_cast<Function>(reinterpret_cast<void*>(address));
}

template <class Function>
void Resolve(Function& slot, HMODULE module, const wchar_t* library, const char* name) {
  slot = As<Function>(RequiredFunction(module, library, name));
}

bool RedirectedByActivationContext(const wchar_t* name) noexcept {
  ACTCTX_SECTION_KEYED_DATA data{};
  data.cbSize = sizeof data;
  return FindActCtxSectionStringW(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, name, &data) != FALSE;
}

struct Table {
  DialogFunctions functions{};
  bool loaded = false;
};

// The UI thread's alone, like the windows that use it.
Table the_table;

}  // namespace

SystemSearch SystemSearchAvailable() noexcept {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  return kernel != nullptr && GetProcAddress(kernel, "AddDllDirectory") != nullptr ? SystemSearch::Flag
                                                                                  : SystemSearch::FullPath;
}

unique_hmodule LoadSystemLibrary(const wchar_t* name, SystemSearch how) {
  unique_hmodule module;
  if (how == SystemSearch::Flag) {
    module.reset(LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
  } else if (RedirectedByActivationContext(name)) {
    // A name the manifest redirects to a side-by-side assembly (Common
    // Controls 6) is loaded by that name: the loader takes the assembly's
    // own file and searches nowhere. A full path would step round the
    // redirection and give the system directory's version 5, without themes
    // or the task dialog.
    module.reset(LoadLibraryW(name));
  } else {
    std::wstring path(MAX_PATH, L'\0');
    UINT length = GetSystemDirectoryW(path.data(), static_cast<UINT>(path.size()));
    if (length >= path.size()) {
      path.resize(length);
      length = GetSystemDirectoryW(path.data(), static_cast<UINT>(path.size()));
    }
    // Nothing but a full path: a bare name would be looked for beside the
    // program and in the current directory first.
    if (length != 0 && length < path.size()) {
      path.resize(length);
      path += L'\\';
      path += name;
      module.reset(LoadLibraryW(path.c_str()));
    } else {
      SetLastError(ERROR_PATH_NOT_FOUND);
    }
  }
  if (!module) {
    const DWORD error = GetLastError();
    throw Error("Cannot load the system library " + Narrow(name) + " (error " + std::to_string(error) + ")");
  }
  return module;
}

FARPROC RequiredFunction(HMODULE module, const wchar_t* library, const char* function) {
  FARPROC address = GetProcAddress(module, function);
  if (address == nullptr) {
    throw Error("The system library " + Narrow(library) + " has no function " + function);
  }
  return address;
}

const DialogFunctions& DialogLibraries() {
  if (the_table.loaded) return the_table.functions;

  constexpr const wchar_t* kComctl = L"comctl32.dll";
  constexpr const wchar_t* kDwmapi = L"dwmapi.dll";
  // Freed again if anything below fails, so that a later call starts over.
  unique_hmodule comctl = LoadSystemLibrary(kComctl);
  unique_hmodule dwmapi = LoadSystemLibrary(kDwmapi);

  DialogFunctions f{};
  Resolve(f.InitCommonControlsEx, comctl.get(), kComctl, "InitCommonControlsEx");
  Resolve(f.SetWindowSubclass, comctl.get(), kComctl, "SetWindowSubclass");
  Resolve(f.RemoveWindowSubclass, comctl.get(), kComctl, "RemoveWindowSubclass");
  Resolve(f.DefSubclassProc, comctl.get(), kComctl, "DefSubclassProc");
  f.TaskDialogIndirect = As<decltype(f.TaskDialogIndirect)>(GetProcAddress(comctl.get(), "TaskDialogIndirect"));
  Resolve(f.DwmSetWindowAttribute, dwmapi.get(), kDwmapi, "DwmSetWindowAttribute");

  // Loaded for the rest of the process, as an import would be: windows of
  // its classes and subclassed windows may outlive any owner here.
  comctl.release();
  dwmapi.release();
  the_table.functions = f;
  the_table.loaded = true;
  return the_table.functions;
}

bool DialogLibrariesLoaded() noexcept { return the_table.loaded; }

}  // namespace qlx::platform
