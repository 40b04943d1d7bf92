#include "ui/window.h"

#include "base/errors.h"

namespace qlx::ui {

Window::~Window() {
  if (window_) SetWindowLongPtrW(window_.get(), GWLP_USERDATA, 0);
}

void RegisterWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC procedure, HBRUSH background,
                         HCURSOR cursor, const char* failure) {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExW(instance, name, &existing)) return;
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = procedure;
  window_class.hInstance = instance;
  window_class.hCursor = cursor;
  window_class.hbrBackground = background;
  window_class.lpszClassName = name;
  if (RegisterClassExW(&window_class) == 0) throw Error(failure);
}

void Window::Create(HINSTANCE instance, const wchar_t* class_name, HBRUSH background, HCURSOR cursor,
                    DWORD ex_style, const wchar_t* title, DWORD style, int width, int height, const char* failure) {
  RegisterWindowClass(instance, class_name, &Window::Procedure, background, cursor, failure);
  // The handle is taken at WM_NCCREATE, so that the messages of the
  // creation itself already find it.
  if (CreateWindowExW(ex_style, class_name, title, style, CW_USEDEFAULT, CW_USEDEFAULT, width, height, nullptr,
                      nullptr, instance, this) == nullptr) {
    throw Error(failure);
  }
}

LRESULT CALLBACK Window::Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  Window* self = nullptr;
  if (message == WM_NCCREATE) {
    self = static_cast<Window*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->window_.reset(window);
  } else {
    self = reinterpret_cast<Window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  }
  if (self == nullptr) return DefWindowProcW(window, message, wparam, lparam);
  if (message == WM_NCDESTROY) {
    // Destroyed from outside: the object no longer owns a window.
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    self->window_.release();
    return DefWindowProcW(window, message, wparam, lparam);
  }
  try {
    return self->OnMessage(message, wparam, lparam);
  } catch (...) {
    self->errors_.ShowError(std::current_exception());
    return 0;
  }
}

std::u16string WindowText(HWND window) {
  // For the password field no other copy of the text is left behind.
  const int length = GetWindowTextLengthW(window);
  std::u16string text(static_cast<std::size_t>(length > 0 ? length : 0) + 1, u'\0');
  const int read = GetWindowTextW(window, platform::W(text), static_cast<int>(text.size()));
  text.resize(read > 0 ? static_cast<std::size_t>(read) : 0);
  return text;
}

UINT WindowDpi(HWND window) {
  const auto get_dpi = User32Function<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
  if (get_dpi != nullptr && window != nullptr) {
    const UINT dpi = get_dpi(window);
    if (dpi != 0) return dpi;
  }
  const auto screen = platform::unique_hdc_window::Client(nullptr);
  const int dpi = screen ? GetDeviceCaps(screen.get(), LOGPIXELSX) : 96;
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

void EnableFrameScaling(HWND window) {
  const auto enable = User32Function<BOOL(WINAPI*)(HWND)>("EnableNonClientDpiScaling");
  if (enable != nullptr) enable(window);
}

}  // namespace qlx::ui
