#include "app/application.h"

#include <commctrl.h>

#include <exception>
#include <stdexcept>

#include "base/errors.h"
#include "base/utf.h"
#include "settings/program.h"
#include "ui/dialog.h"
#include "ui/logic.h"
#include "ui/theme.h"
#include "ui/tray.h"

namespace qlx::app {

namespace {

// An error's text as the user reads it. The core's texts are UTF-8; a text
// that is not is shown byte by byte rather than lost.
std::u16string TestoDi(const char* testo) {
  const std::string s(testo != nullptr ? testo : "");
  try {
    return Utf8ToUtf16(s);
  } catch (...) {
    std::u16string latino;
    for (unsigned char c : s) latino += static_cast<char16_t>(c);
    return latino;
  }
}

}  // namespace

Application::Application(HINSTANCE instance) : instance_(instance) {
  INITCOMMONCONTROLSEX controlli{sizeof(INITCOMMONCONTROLSEX), ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controlli);
  try {
    titolo_ = settings::TitoloApplicazione();
  } catch (...) {
    titolo_.clear();
  }
  ui::RegistraClasse(instance, kClasseApplicazione, &ui::ProceduraDi<Application>);
  // Hidden for ever, and a tool window: never a taskbar button of its own.
  HWND window = CreateWindowExW(WS_EX_TOOLWINDOW, kClasseApplicazione, platform::W(titolo_), WS_POPUP, 0, 0, 0, 0,
                                nullptr, nullptr, instance, this);
  if (window == nullptr) throw Error("Failed to create the application window");
  window_.reset(window);
}

Application::~Application() {
  dmDrive_.reset();
  fmDrive_.reset();
}

void Application::ApplicaTema(const std::u16string& nome) {
  // Loaded even in high contrast: the theme itself steps aside while the
  // system's colours are on, and comes back when they are turned off.
  theme_ = ui::CaricaTema(instance_, nome);
  if (!theme_) ui::MostraStileMancante(nome, titolo_);
}

void Application::CreaTray() { dmDrive_ = std::make_unique<ui::TdmDrive>(*this, instance_); }

void Application::CreaDialogo() {
  fmDrive_ = std::make_unique<ui::TfmDrive>(*this, instance_, theme_.get());
  if (main_window_ == nullptr) {
    main_window_ = fmDrive_->Handle();
    main_form_ = fmDrive_.get();
  }
}

void Application::Avvia() {
  try {
    dmDrive_->Run();
  } catch (...) {
    // A stored value that cannot be read must not keep the program from
    // starting: the user can put it right in the dialog.
    MostraErrore(std::current_exception());
  }
}

void Application::Smista(MSG& msg) {
  if (main_form_ != nullptr && IsWindowVisible(main_form_->Handle()) && main_form_->PreTraduci(msg)) return;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

int Application::Run() {
  MSG msg{};
  for (;;) {
    const BOOL r = GetMessageW(&msg, nullptr, 0, 0);
    if (r == 0 || r == -1) break;
    Smista(msg);
  }
  return 0;
}

int Application::ShowModal(ui::ModalForm& form) {
  HWND window = form.Handle();
  if (IsWindowVisible(window)) throw Error(kNonModale);
  // Only the form's owner chain is disabled; the tray's and the
  // application's hidden windows stay enabled, so the tray menu works on.
  std::vector<HWND> disabilitati;
  for (HWND owner = GetWindow(window, GW_OWNER); owner != nullptr; owner = GetWindow(owner, GW_OWNER)) {
    if (IsWindowEnabled(owner)) {
      EnableWindow(owner, FALSE);
      disabilitati.push_back(owner);
    }
  }
  modali_.push_back({&form, 0});
  const std::size_t livello = modali_.size() - 1;
  struct Uscita {
    Application& app;
    ui::ModalForm& form;
    std::vector<HWND>& owners;
    ~Uscita() {
      form.NascondiModale();
      for (HWND owner : owners) EnableWindow(owner, TRUE);
      app.modali_.pop_back();
    }
  } uscita{*this, form, disabilitati};

  form.MostraModale();
  MSG msg{};
  while (modali_[livello].risultato == 0) {
    const BOOL r = GetMessageW(&msg, nullptr, 0, 0);
    if (r == 0) {
      // The program is ending: leave this loop with the cancel result and
      // let the outer loop see the quit message too.
      modali_[livello].risultato = IDCANCEL;
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (r == -1) {
      modali_[livello].risultato = IDCANCEL;
      break;
    }
    Smista(msg);
  }
  return modali_[livello].risultato;
}

void Application::RichiestaChiusura(HWND window) {
  for (auto& m : modali_) {
    if (m.form->Handle() == window) {
      m.risultato = IDCANCEL;
      // A close request sent from another thread or process is handled
      // inside GetMessageW, which then waits on: a posted message wakes the
      // modal loop so that it sees the result now.
      PostMessageW(window, WM_NULL, 0, 0);
      return;
    }
  }
  if (window == main_window_) Termina();
}

void Application::Termina() { PostQuitMessage(0); }

void Application::ElaboraMessaggi() {
  MSG msg{};
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    Smista(msg);
  }
}

HWND Application::ProprietarioBox() const {
  for (auto it = modali_.rbegin(); it != modali_.rend(); ++it) {
    if (IsWindowVisible(it->form->Handle())) return it->form->Handle();
  }
  return nullptr;
}

void Application::MostraErrore(const std::exception_ptr& error) noexcept {
  try {
    std::u16string messaggio;
    try {
      if (error) std::rethrow_exception(error);
    } catch (const std::exception& e) {
      messaggio = TestoDi(e.what());
    } catch (...) {
      messaggio = u"Unknown error";
    }
    const std::u16string testo = ui::TestoBoxErrore(messaggio);
    MessageBoxW(ProprietarioBox(), platform::W(testo), platform::W(titolo_), MB_OK | MB_ICONERROR);
  } catch (...) {
    // Nothing more can be told: the message loop goes on.
  }
}

LRESULT Application::Gestisci(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      // The tray menu's items, after the menu has closed.
      if (HIWORD(wparam) == 0 && lparam == 0 && dmDrive_) dmDrive_->Comando(LOWORD(wparam));
      return 0;
    case WM_CLOSE:
      // Only the dialog's close request means something to the program.
      return 0;
    case WM_QUERYENDSESSION:
      return TRUE;
    case WM_NCDESTROY:
      window_.release();
      break;
    default:
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace qlx::app
