#pragma once
// The settings dialog, "Parametri di connessione": its window is created
// hidden at start, the program's main window, only ever shown modally, in
// the one modal loop of the program, its own. What
// only the open dialog needs (Common Controls, its controls, font, theme and
// title bar) is built the first time it is opened: the tray runs all day
// without it. Its buttons and its opening are reported to the dialog
// commands.
#include <windows.h>

#include <array>
#include <string>

#include "platform/win32/dialog_libraries.h"
#include "platform/win32/unique_handle.h"
#include "settings/record.h"
#include "ui/controller.h"
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

class SettingsDialog final : public Window {
 public:
  // `theme` may be null (the system's look); it outlives the dialog.
  // `libraries` gives the Common Controls and window manager functions when
  // the contents are built.
  SettingsDialog(DialogCommands& commands, ErrorBox& errors, HINSTANCE instance, const Theme* theme,
                 platform::DialogLibrariesLoader libraries = &platform::DialogLibraries);

  // Null until the contents are built.
  HWND Control(DialogPart part) const { return controls_[static_cast<std::size_t>(part)]; }

  // Builds the contents if they are not yet there, filled with the values
  // last given to Fill; raises qlx::Error when the libraries cannot be
  // loaded or a control cannot be created, and may then be called again.
  void BuildContents();
  bool ContentsBuilt() const { return built_; }

  // The five fields as they stand, untrimmed; and back. Before the contents
  // exist, the values last filled in.
  settings::ConnectionSettings Read() const;
  void Fill(const settings::ConnectionSettings& values);

  // Builds the contents if needed, shows the dialog and runs its modal
  // loop until it is closed; the result is the cancel result for every way
  // of closing. Raises "Cannot make a visible window modal" when the dialog
  // is already open, and the contents' failures before anything is shown.
  int ShowModal();
  // A close request (the title bar, "Annulla", WM_CLOSE from outside): in
  // the modal loop it ends that loop; outside it, it ends the program.
  void Close();
  // One message of the thread's loops, the program's and the dialog's:
  // while the dialog is shown its keyboard handling sees it first.
  void Dispatch(MSG& msg);

 private:
  static LRESULT CALLBACK CompleteDrive(HWND edit, UINT message, WPARAM wparam, LPARAM lparam, UINT_PTR id,
                                        DWORD_PTR reference);
  LRESULT OnMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  void CreateControls(const platform::DialogFunctions& functions);
  void DestroyControls();
  // The layout for a DPI, in its steps.
  void LayOut(UINT dpi);
  void PlaceControls(int dpi, HFONT font);
  void FitComboHeight(int dpi);
  void FitClientArea(int width, int height);
  void CentreOnFirstShow();
  // The opening step, then shown; its own failures are shown, never raised.
  void Open();
  void HideAfterModal();
  bool PreTranslate(MSG& msg);
  void OnButton(int id);
  bool Checked(DialogPart part) const;
  void Check(DialogPart part, bool on);

  DialogCommands& commands_;
  const Theme* theme_;
  HINSTANCE instance_;
  platform::DialogLibrariesLoader libraries_;
  const platform::DialogFunctions* functions_ = nullptr;  // once the contents are built
  bool built_ = false;
  // What Fill was last given while the contents did not exist.
  settings::ConnectionSettings pending_;
  // Child windows, destroyed with the dialog.
  std::array<HWND, kPartCount> controls_{};
  platform::unique_hfont font_;
  UINT dpi_ = 96;
  bool placed_ = false;
  HWND focus_ = nullptr;  // kept between openings and activations
  bool modal_ = false;    // inside ShowModal
  bool closed_ = false;   // a close request has ended the modal loop
};

}  // namespace qlx::ui
