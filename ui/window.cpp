#include "ui/window.h"

#include "cipher/errors.h"

namespace qlx::ui {

void RegistraClasse(HINSTANCE instance, const wchar_t* nome, WNDPROC procedura, HBRUSH sfondo) {
  WNDCLASSEXW esistente{};
  esistente.cbSize = sizeof esistente;
  if (GetClassInfoExW(instance, nome, &esistente)) return;
  WNDCLASSEXW classe{};
  classe.cbSize = sizeof classe;
  classe.lpfnWndProc = procedura;
  classe.hInstance = instance;
  classe.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  classe.hbrBackground = sfondo;
  classe.lpszClassName = nome;
  if (RegisterClassExW(&classe) == 0) throw Error("Failed to register a window class");
}

std::u16string TestoFinestra(HWND window) {
  // Read straight into the result: for the password field no other copy of
  // the text is left behind in memory.
  const int lunghezza = GetWindowTextLengthW(window);
  std::u16string testo(static_cast<std::size_t>(lunghezza > 0 ? lunghezza : 0) + 1, u'\0');
  const int letti = GetWindowTextW(window, platform::W(testo), static_cast<int>(testo.size()));
  testo.resize(letti > 0 ? static_cast<std::size_t>(letti) : 0);
  return testo;
}

UINT DpiFinestra(HWND window) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto get_dpi = reinterpret_cast<GetDpiForWindowFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (get_dpi != nullptr && window != nullptr) {
    const UINT dpi = get_dpi(window);
    if (dpi != 0) return dpi;
  }
  HDC schermo = GetDC(nullptr);
  const int dpi = schermo != nullptr ? GetDeviceCaps(schermo, LOGPIXELSX) : 96;
  if (schermo != nullptr) ReleaseDC(nullptr, schermo);
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

RECT RettangoloFinestraPerClient(int width, int height, DWORD style, DWORD ex_style, UINT dpi) {
  using AdjustFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
  static const auto adjust = reinterpret_cast<AdjustFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
  RECT r{0, 0, width, height};
  if (adjust != nullptr) {
    adjust(&r, style, FALSE, ex_style, dpi);
  } else {
    AdjustWindowRectEx(&r, style, FALSE, ex_style);
  }
  return r;
}

}  // namespace qlx::ui
