#pragma once
// The functions of Common Controls (comctl32.dll) and of the desktop window
// manager (dwmapi.dll) that the shell calls. Only the settings dialog needs
// them, and the tray runs all day without ever opening it: so the exe does
// not import these libraries, and they are loaded, from the system directory
// only, the first time the table is asked for.
#include <windows.h>
#include <commctrl.h>
#include <dwmapi.h>

#include "platform/win32/unique_handle.h"

namespace qlx::platform {

struct DialogFunctions {
  // comctl32.dll
  decltype(&::InitCommonControlsEx) InitCommonControlsEx;
  decltype(&::SetWindowSubclass) SetWindowSubclass;
  decltype(&::RemoveWindowSubclass) RemoveWindowSubclass;
  decltype(&::DefSubclassProc) DefSubclassProc;
  // Only in version 6 of the library, which the manifest asks for: null
  // where that request was not met, and the caller shows a plain box.
  decltype(&::TaskDialogIndirect) TaskDialogIndirect;
  // dwmapi.dll
  decltype(&::DwmSetWindowAttribute) DwmSetWindowAttribute;
};

// The process's table: on the first call both libraries are loaded and
// every function resolved; later calls return the same table at once, and
// the libraries stay loaded for the rest of the process. A library that
// cannot be loaded, or a function other than TaskDialogIndirect that it
// lacks, raises qlx::Error naming it, for the caller to show in an error
// box; nothing is kept then, and the next call tries again.
const DialogFunctions& DialogLibraries();
// DialogLibraries, or a stand-in that callers take instead of it.
using DialogLibrariesLoader = const DialogFunctions& (*)();

// Whether DialogLibraries() has succeeded in this process.
bool DialogLibrariesLoaded() noexcept;

// The building blocks, for the table and its tests.

// How a library is looked for in the system directory: by the loader's own
// flag (LOAD_LIBRARY_SEARCH_SYSTEM32) where it understands it, otherwise by
// the directory's full path. Either way a name that the process's manifest
// redirects to a side-by-side assembly is loaded from that assembly.
enum class SystemSearch { Flag, FullPath };
// Flag where kernel32 has AddDllDirectory (the loader update that brought
// the flag to Windows 7 added both), FullPath elsewhere.
SystemSearch SystemSearchAvailable() noexcept;

// Loads NAME (a file name, no directory) from the system directory, or from
// the assembly the manifest redirects it to, and never from anywhere else;
// raises qlx::Error when it cannot.
unique_hmodule LoadSystemLibrary(const wchar_t* name, SystemSearch how = SystemSearchAvailable());

// The address of FUNCTION in MODULE, loaded as LIBRARY (named in the error);
// raises qlx::Error when the module has no such export.
FARPROC RequiredFunction(HMODULE module, const wchar_t* library, const char* function);

}  // namespace qlx::platform
