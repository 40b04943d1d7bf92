#pragma once
// The application object: the hidden application window, the message loop,
// the main-window rule, the modal loop and the error box. It owns the tray
// controller and the dialog for the life of the process.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "ui/host.h"
#include "ui/window.h"

namespace qlx::ui {
class TdmDrive;
class TfmDrive;
class Theme;
}  // namespace qlx::ui

namespace qlx::app {

inline constexpr wchar_t kClasseApplicazione[] = L"QLXDriveApp";
inline constexpr char kNonModale[] = "Cannot make a visible window modal";

class Application final : public ui::AppHost {
 public:
  explicit Application(HINSTANCE instance);
  ~Application() override;
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // Start-up, in this order.
  void ApplicaTema(const std::u16string& nome);
  void CreaTray();
  void CreaDialogo();  // the first window created: it becomes the main window
  void Avvia();        // TdmDrive.Run; a raised error is shown and start-up goes on
  int Run();           // the message loop; the exit code

  ui::TdmDrive& dmDrive() { return *dmDrive_; }

  // AppHost
  HWND Handle() const override { return window_.get(); }
  ui::TfmDrive& fmDrive() override { return *fmDrive_; }
  int ShowModal(ui::ModalForm& form) override;
  void RichiestaChiusura(HWND window) override;
  void Termina() override;
  void ElaboraMessaggi() override;
  void MostraErrore(const std::exception_ptr& error) noexcept override;

 private:
  struct Modale {
    ui::ModalForm* form;
    int risultato;
  };
  friend LRESULT CALLBACK ui::ProceduraDi<Application>(HWND, UINT, WPARAM, LPARAM);
  ui::AppHost& Ospite() { return *this; }
  LRESULT Gestisci(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  void Smista(MSG& msg);
  HWND ProprietarioBox() const;

  HINSTANCE instance_;
  ui::unique_hwnd window_;
  std::u16string titolo_;
  std::unique_ptr<ui::Theme> theme_;
  HWND main_window_ = nullptr;
  ui::ModalForm* main_form_ = nullptr;
  std::vector<Modale> modali_;
  // Destroyed before the theme they use, dmDrive first.
  std::unique_ptr<ui::TfmDrive> fmDrive_;
  std::unique_ptr<ui::TdmDrive> dmDrive_;
};

}  // namespace qlx::app
