#pragma once
// The dialog fmDrive, "Parametri di connessione": created hidden at start,
// the program's main window, only ever shown modally.
#include <windows.h>

#include <array>
#include <string>

#include "platform/win32/unique_handle.h"
#include "ui/host.h"
#include "ui/logic.h"
#include "ui/window.h"

namespace qlx::ui {

class Theme;

inline constexpr wchar_t kClasseDialogo[] = L"TfmDrive";
inline constexpr wchar_t kClassePannello[] = L"QLXPanel";
inline constexpr wchar_t kTitoloDialogo[] = L"Parametri di connessione";

// Control identifiers: never IDOK (1) or IDCANCEL (2), which the keyboard
// handling sends for Enter and Esc and the dialog ignores.
inline constexpr int kPrimoIdControllo = 201;
inline constexpr int IdControllo(Parte parte) { return kPrimoIdControllo + static_cast<int>(parte); }

class TfmDrive final : public ModalForm {
 public:
  // `theme` may be null (the system's look); it outlives the dialog.
  TfmDrive(AppHost& app, HINSTANCE instance, const Theme* theme);
  ~TfmDrive() override;
  TfmDrive(const TfmDrive&) = delete;
  TfmDrive& operator=(const TfmDrive&) = delete;

  HWND Handle() const override { return window_.get(); }
  HWND Controllo(Parte parte) const { return controlli_[static_cast<std::size_t>(parte)]; }

  void Run();
  void AssegnaValori();
  void LeggiValori();

  void FormShow();
  void btApplicaClick();
  void btsalvaClick();
  void btConnettiClick();
  void btAnnullaClick();

  // ModalForm
  void MostraModale() override;
  void NascondiModale() override;
  bool PreTraduci(MSG& msg) override;

 private:
  friend LRESULT CALLBACK ProceduraDi<TfmDrive>(HWND, UINT, WPARAM, LPARAM);
  AppHost& Ospite() { return app_; }
  static LRESULT CALLBACK ProceduraPannello(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT Gestisci(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  void CreaControlli(HINSTANCE instance);
  void Disponi(UINT dpi);
  void Comando(int id, int notifica);
  PassiDialogo Passi();
  bool Spunta(Parte parte) const;
  void ImpostaSpunta(Parte parte, bool on);

  AppHost& app_;
  const Theme* theme_;
  unique_hwnd window_;
  // Child windows, destroyed with the dialog.
  std::array<HWND, kNumeroParti> controlli_{};
  HWND edit_drive_ = nullptr;  // the combo's own edit field
  platform::unique_hfont font_;
  UINT dpi_ = 96;
  bool posizionato_ = false;
  HWND focus_ = nullptr;  // kept between openings and activations
};

}  // namespace qlx::ui
