#pragma once
// The look "Obsidian": colours read from the program's resources, brushes
// and pens owned here, applied to a top-level window and its controls by
// subclassing them.
#include <windows.h>

#include <memory>
#include <string>

namespace qlx::ui {

class Theme {
 public:
  virtual ~Theme() = default;
  // Subclasses the window and every control in it; each subclass removes
  // itself when its window is destroyed.
  virtual void Applica(HWND top_level) const = 0;
  // The window was laid out again for another DPI.
  virtual void CambioDpi(HWND top_level, UINT dpi) const = 0;
};

// The theme stored as RCDATA `nome` among the module's resources; null when
// the resource is missing or unreadable.
std::unique_ptr<Theme> CaricaTema(HINSTANCE instance, const std::u16string& nome);

// Whether Windows runs in high contrast, where the program keeps the
// system's colours.
bool ContrastoElevato();

// The box for a theme that cannot be found: error icon, a single Close
// button.
void MostraStileMancante(const std::u16string& nome, const std::u16string& titolo);

}  // namespace qlx::ui
