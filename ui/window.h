#pragma once
// Small pieces shared by the program's windows: ownership of a window
// handle, class registration, and the link from a window to its C++ object.
#include <windows.h>

#include <exception>
#include <string>

#include "platform/win32/text.h"
#include "platform/win32/unique_handle.h"

namespace qlx::ui {

using platform::unique_hwnd;

// Registers a window class once per process; raises when the system refuses.
void RegistraClasse(HINSTANCE instance, const wchar_t* nome, WNDPROC procedura, HBRUSH sfondo = nullptr);

// The object behind a window, stored at WM_NCCREATE from the creation
// parameter. Null before WM_NCCREATE and after WM_NCDESTROY.
template <class T>
T* Oggetto(HWND window, UINT message, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    auto* oggetto = static_cast<T*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(oggetto));
    return oggetto;
  }
  auto* oggetto = reinterpret_cast<T*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == WM_NCDESTROY) SetWindowLongPtrW(window, GWLP_USERDATA, 0);
  return oggetto;
}

// The window procedure of the program's window classes: the message goes to
// T::Gestisci, and no exception ever leaves the procedure: it is shown in
// the error box here, where the message was dispatched, and the program
// goes on. T names its error box with Ospite().
template <class T>
LRESULT CALLBACK ProceduraDi(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  T* self = Oggetto<T>(window, message, lparam);
  if (self == nullptr) return DefWindowProcW(window, message, wparam, lparam);
  try {
    return self->Gestisci(window, message, wparam, lparam);
  } catch (...) {
    self->Ospite().MostraErrore(std::current_exception());
    return 0;
  }
}

// The window's text as UTF-16.
std::u16string TestoFinestra(HWND window);

// Dynamically resolved DPI functions (not present on every Windows the
// program runs on).
UINT DpiFinestra(HWND window);
// EnableNonClientDpiScaling, for a top-level window at WM_NCCREATE.
void AbilitaScalaCornice(HWND window);

}  // namespace qlx::ui
