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
  // Subclasses the window and every control in it (the drive list's drop-down
  // too); each subclass removes itself when its window is destroyed. The
  // top-level window then follows the system's changes of high contrast.
  virtual void Apply(HWND top_level) const = 0;
  // The window was laid out again for another DPI.
  virtual void DpiChanged(HWND top_level, UINT dpi) const = 0;
};

// The theme stored as RCDATA `name` among the module's resources; null when
// the resource is missing or unreadable. The theme asks `high_contrast`
// when it is applied and when the system announces a change of settings,
// never while it draws.
using HighContrastQuery = bool (*)();
std::unique_ptr<Theme> LoadTheme(HINSTANCE instance, const std::u16string& name);
std::unique_ptr<Theme> LoadTheme(HINSTANCE instance, const std::u16string& name, HighContrastQuery high_contrast);

// Whether Windows runs in high contrast, where the program keeps the
// system's colours. Asks the system each time.
bool HighContrast();

// The box for a theme that cannot be found: error icon, a single Close
// button.
void ShowMissingStyle(const std::u16string& name, const std::u16string& caption);

}  // namespace qlx::ui
