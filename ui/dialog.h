#pragma once
// The settings dialog, "Parametri di connessione": created hidden at start,
// the program's main window, only ever shown modally. Its buttons and its
// opening are reported to the dialog commands.
#include <windows.h>

#include <array>
#include <string>

#include "platform/win32/unique_handle.h"
#include "settings/record.h"
#include "ui/controller.h"
#include "ui/host.h"
#include "ui/logic.h"
#include "ui/window.h"

namespace qlx::ui {

class Theme;

inline constexpr wchar_t kDialogClass[] = L"TfmDrive";
inline constexpr wchar_t kPanelClass[] = L"QLXPanel";
inline constexpr wchar_t kDialogTitle[] = L"Parametri di connessione";

// Control identifiers: never IDOK (1) or IDCANCEL (2), which the keyboard
// handling sends for Enter and Esc and the dialog ignores.
inline constexpr int kFirstControlId = 201;
inline constexpr int ControlId(DialogPart part) { return kFirstControlId + static_cast<int>(part); }

class SettingsDialog final : public Window, public ModalForm {
 public:
  // `theme` may be null (the system's look); it outlives the dialog.
  SettingsDialog(DialogCommands& commands, ModalHost& host, HINSTANCE instance, const Theme* theme);

  HWND Handle() const override { return Window::Handle(); }
  HWND Control(DialogPart part) const { return controls_[static_cast<std::size_t>(part)]; }

  // The five fields as they stand, untrimmed; and back.
  settings::ConnectionSettings Read() const;
  void Fill(const settings::ConnectionSettings& values);

  // ModalForm
  void ShowForModal() override;
  void HideAfterModal() override;
  bool PreTranslate(MSG& msg) override;

 private:
  LRESULT OnMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  void CreateControls(HINSTANCE instance);
  // The layout for a DPI, in its steps.
  void LayOut(UINT dpi);
  void PlaceControls(int dpi, HFONT font);
  void FitComboHeight(int dpi);
  void FitClientArea(int width, int height);
  void CentreOnFirstShow();
  void OnButton(int id);
  bool Checked(DialogPart part) const;
  void Check(DialogPart part, bool on);

  DialogCommands& commands_;
  ModalHost& host_;
  const Theme* theme_;
  // Child windows, destroyed with the dialog.
  std::array<HWND, kPartCount> controls_{};
  platform::unique_hfont font_;
  UINT dpi_ = 96;
  bool placed_ = false;
  HWND focus_ = nullptr;  // kept between openings and activations
};

}  // namespace qlx::ui
