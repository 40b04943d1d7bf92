#pragma once
// The one base of the program's windows: it owns the window handle, links
// the handle to its object, and dispatches every message to the object's
// handler, where no exception may leave: it is shown in the error box at
// this point, where the message was dispatched, and the program goes on.
#include <windows.h>

#include <exception>
#include <string>

#include "platform/win32/text.h"
#include "platform/win32/unique_handle.h"

namespace qlx::ui {

using platform::unique_hwnd;

// Shows a raised error to the user; never raises.
class ErrorBox {
 public:
  virtual ~ErrorBox() = default;
  virtual void ShowError(const std::exception_ptr& error) noexcept = 0;
};

class Window {
 public:
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  HWND Handle() const { return window_.get(); }

 protected:
  explicit Window(ErrorBox& errors) : errors_(errors) {}
  // Unlinks the object first: the messages of the window's destruction
  // reach a half-destroyed object no more, only the default procedure.
  virtual ~Window();

  // Registers the class (once per process) with the common procedure and
  // creates the window; raises `failure` when the system refuses either.
  // `cursor`: the class's cursor, none for a window that is never shown.
  void Create(HINSTANCE instance, const wchar_t* class_name, HBRUSH background, HCURSOR cursor, DWORD ex_style,
              const wchar_t* title, DWORD style, int width, int height, const char* failure);
  // The window's own messages; what it does not handle goes to Default.
  virtual LRESULT OnMessage(UINT message, WPARAM wparam, LPARAM lparam) = 0;
  LRESULT Default(UINT message, WPARAM wparam, LPARAM lparam) {
    return DefWindowProcW(Handle(), message, wparam, lparam);
  }
  ErrorBox& Errors() { return errors_; }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  ErrorBox& errors_;
  unique_hwnd window_;
};

// Registers a class once per process: a class already registered under
// `name` (another window of the kind, or the dialog reopened) is kept.
// Raises `failure` when the system refuses it.
void RegisterWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure, HBRUSH background,
                         HCURSOR cursor, const char* failure);

// An entry point of user32 that older systems lack; null where missing, so
// that the caller keeps its fallback.
template <typename Function>
Function User32Function(const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), name)));
}

// A window's text as UTF-16, read straight into the result.
std::u16string WindowText(HWND window);

// The window's DPI (GetDpiForWindow where the system has it, the screen's
// otherwise).
UINT WindowDpi(HWND window);
// EnableNonClientDpiScaling, for a top-level window at WM_NCCREATE.
void EnableFrameScaling(HWND window);

}  // namespace qlx::ui
