#include "app/application.h"

#include <exception>

#include "settings/program.h"

namespace qlx::app {

namespace {

// Loaded even in high contrast: the theme itself steps aside while the
// system's colours are on, and comes back when they are turned off.
std::unique_ptr<ui::Theme> LoadTheme(HINSTANCE instance, const char16_t* name, const std::u16string& title) {
  if (name == nullptr) return nullptr;
  std::unique_ptr<ui::Theme> theme = ui::LoadTheme(instance, name);
  if (!theme) ui::ShowMissingStyle(name, title);
  return theme;
}

}  // namespace

ApplicationWindow::ApplicationWindow(ui::ErrorBox& errors, HINSTANCE instance, const std::u16string& title)
    : ui::Window(errors) {
  // Hidden for ever, and a tool window: never a taskbar button of its own.
  Create(instance, kApplicationClass, nullptr, nullptr, WS_EX_TOOLWINDOW, platform::W(title), WS_POPUP, 0, 0,
         "Failed to create the application window");
}

LRESULT ApplicationWindow::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  // A close request would destroy the window: only the dialog's means
  // something to the program.
  if (message == WM_CLOSE) return 0;
  return Default(message, wparam, lparam);
}

Application::Application(const platform::Context& os, HINSTANCE instance, const char16_t* theme_name,
                         platform::DialogLibrariesLoader libraries)
    : errors_(settings::ApplicationTitle(os.program)),
      mapping_(settings_, os.registry, mapping::PlatformOf(os)),
      windows_(tray_, dialog_, os.clock),
      controller_(windows_, settings_, mapping_, {os.registry, os.program, os.clock, os.messages}),
      theme_(LoadTheme(instance, theme_name, errors_.Title())),
      tray_(controller_, errors_, instance, ui::TrayTexts{errors_.Title(), ui::kBalloonTitle}),
      guard_(os.program),
      window_(errors_, instance, errors_.Title()),
      dialog_(controller_, errors_, instance, theme_.get(), libraries) {
  errors_.ShowOver(dialog_.Handle());
}

void Application::Start() {
  try {
    controller_.Start(guard_.AnotherCopyRuns());
  } catch (...) {
    // A stored value that cannot be read must not keep the program from
    // starting: the user can put it right in the dialog.
    errors_.ShowError(std::current_exception());
  }
}

int Application::Run() {
  Start();
  MSG msg{};
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) dialog_.Dispatch(msg);
  return 0;
}

}  // namespace qlx::app
