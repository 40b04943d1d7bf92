#include "app/application.h"

#include <exception>

#include "app/single_instance.h"
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
std::u16string TextOf(const char* text) {
  const std::string s(text != nullptr ? text : "");
  try {
    return Utf8ToUtf16(s);
  } catch (...) {
    std::u16string latin;
    for (unsigned char c : s) latin += static_cast<char16_t>(c);
    return latin;
  }
}

}  // namespace

Application::Application(HINSTANCE instance)
    : ui::Window(static_cast<ui::ErrorBox&>(*this)), instance_(instance) {
  title_ = settings::ApplicationTitle();
}

void Application::CreateHiddenWindow() {
  // Hidden for ever, and a tool window: never a taskbar button of its own.
  Create(instance_, kApplicationClass, nullptr, nullptr, WS_EX_TOOLWINDOW, platform::W(title_), WS_POPUP, 0, 0,
         "Failed to create the application window");
}

Application::~Application() {
  tray_.reset();
  dialog_.reset();
}

void Application::ApplyTheme(const std::u16string& name) {
  // Loaded even in high contrast: the theme itself steps aside while the
  // system's colours are on, and comes back when they are turned off.
  theme_ = ui::LoadTheme(instance_, name);
  if (!theme_) ui::ShowMissingStyle(name, title_);
}

void Application::CreateTray() { tray_ = std::make_unique<ui::TrayWindow>(controller_, *this, instance_); }

void Application::CreateSettingsDialog(platform::DialogLibrariesLoader libraries) {
  dialog_ = std::make_unique<ui::SettingsDialog>(controller_, *this, instance_, theme_.get(), libraries);
  if (main_window_ == nullptr) {
    main_window_ = dialog_->Handle();
    main_form_ = dialog_.get();
  }
}

void Application::Start(bool another_copy_runs) {
  try {
    controller_.Start(another_copy_runs);
  } catch (...) {
    // A stored value that cannot be read must not keep the program from
    // starting: the user can put it right in the dialog.
    ShowError(std::current_exception());
  }
}

void Application::Dispatch(MSG& msg) {
  if (main_form_ != nullptr && IsWindowVisible(main_form_->Handle()) && main_form_->PreTranslate(msg)) return;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

int Application::Run() {
  MSG msg{};
  for (;;) {
    const BOOL r = GetMessageW(&msg, nullptr, 0, 0);
    if (r == 0 || r == -1) break;
    Dispatch(msg);
  }
  return 0;
}

int Application::ShowModal(ui::ModalForm& form) {
  HWND window = form.Handle();
  if (IsWindowVisible(window)) throw Error(ui::kAlreadyOpenText);
  // Only the form's owner chain is disabled; the tray's and the
  // application's hidden windows stay enabled, so the tray menu works on.
  std::vector<HWND> disabled;
  for (HWND owner = GetWindow(window, GW_OWNER); owner != nullptr; owner = GetWindow(owner, GW_OWNER)) {
    if (IsWindowEnabled(owner)) {
      EnableWindow(owner, FALSE);
      disabled.push_back(owner);
    }
  }
  modals_.push_back({&form, 0});
  const std::size_t level = modals_.size() - 1;
  struct Leave {
    Application& app;
    ui::ModalForm& form;
    std::vector<HWND>& owners;
    ~Leave() {
      form.HideAfterModal();
      for (HWND owner : owners) EnableWindow(owner, TRUE);
      app.modals_.pop_back();
    }
  } leave{*this, form, disabled};

  form.ShowForModal();
  MSG msg{};
  while (modals_[level].result == 0) {
    const BOOL r = GetMessageW(&msg, nullptr, 0, 0);
    if (r == 0) {
      // The program is ending: leave this loop with the cancel result and
      // let the outer loop see the quit message too.
      modals_[level].result = IDCANCEL;
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    if (r == -1) {
      modals_[level].result = IDCANCEL;
      break;
    }
    Dispatch(msg);
  }
  return modals_[level].result;
}

void Application::CloseRequest(HWND window) {
  for (auto& m : modals_) {
    if (m.form->Handle() == window) {
      m.result = IDCANCEL;
      // A close request sent from another thread or process is handled
      // inside GetMessageW, which then waits on: a posted message wakes the
      // modal loop so that it sees the result now.
      PostMessageW(window, WM_NULL, 0, 0);
      return;
    }
  }
  if (window == main_window_) Quit();
}

HWND Application::ErrorBoxOwner() const {
  for (auto it = modals_.rbegin(); it != modals_.rend(); ++it) {
    if (IsWindowVisible(it->form->Handle())) return it->form->Handle();
  }
  return nullptr;
}

void Application::ShowError(const std::exception_ptr& error) noexcept {
  try {
    std::u16string message;
    try {
      if (error) std::rethrow_exception(error);
    } catch (const std::exception& e) {
      message = TextOf(e.what());
    } catch (...) {
      message = u"Unknown error";
    }
    const std::u16string text = ui::ErrorBoxText(message);
    MessageBoxW(ErrorBoxOwner(), platform::W(text), platform::W(title_), MB_OK | MB_ICONERROR);
  } catch (...) {
    // Nothing more can be told: the message loop goes on.
  }
}

void Application::EndAsSecondCopy() { app::EndAsSecondCopy(); }

void Application::ShowBalloon(const std::u16string& text) { tray_->ShowBalloon(text); }

settings::ConnectionSettings Application::ReadDialog() { return dialog_->Read(); }

void Application::FillDialog(const settings::ConnectionSettings& values) { dialog_->Fill(values); }

void Application::HideDialog() { ShowWindow(dialog_->Handle(), SW_HIDE); }

void Application::ShowDialogModal() {
  // Its contents come on the first opening. Built before the modal loop:
  // a failure (the libraries cannot be loaded) reaches the error box where
  // the request was dispatched, and the program goes on without a dialog.
  if (!IsWindowVisible(dialog_->Handle())) dialog_->BuildContents();
  ShowModal(*dialog_);
}

void Application::CloseDialog() { CloseRequest(dialog_->Handle()); }

void Application::Quit() { PostQuitMessage(0); }

LRESULT Application::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CLOSE:
      // Only the dialog's close request means something to the program.
      return 0;
    case WM_QUERYENDSESSION:
      return TRUE;
    default:
      return Default(message, wparam, lparam);
  }
}

}  // namespace qlx::app
