#pragma once
// What the tray controller and the dialog need from the application object
// (app/), which owns them: ui/ sits below app/ and reaches it only here.
#include <windows.h>

#include <exception>

namespace qlx::ui {

class TfmDrive;

// A window that the application can show modally.
class ModalForm {
 public:
  virtual ~ModalForm() = default;
  virtual HWND Handle() const = 0;
  // Runs each time the form is about to become visible (its FormShow), then
  // shows it; its own failures are reported inside, never raised.
  virtual void MostraModale() = 0;
  virtual void NascondiModale() = 0;
  // Keyboard handling of the running loop; true when the message was used.
  virtual bool PreTraduci(MSG& msg) = 0;
};

class AppHost {
 public:
  virtual ~AppHost() = default;
  // The hidden application window: foreground owner of the tray menu.
  virtual HWND Handle() const = 0;
  virtual TfmDrive& fmDrive() = 0;
  // Shows the form modally and runs the loop until it is closed; the result
  // is the cancel result for every way of closing. Raises
  // "Cannot make a visible window modal" when the form is already visible.
  virtual int ShowModal(ModalForm& form) = 0;
  // A close request on a window: in its modal loop it ends that loop with
  // the cancel result; on the main window outside a modal loop it ends the
  // program; elsewhere nothing.
  virtual void RichiestaChiusura(HWND window) = 0;
  // Posts the quit message.
  virtual void Termina() = 0;
  // Dispatches the messages that are waiting (a quit message stays posted).
  virtual void ElaboraMessaggi() = 0;
  // The error box for a raised error; never raises.
  virtual void MostraErrore(const std::exception_ptr& error) noexcept = 0;
};

}  // namespace qlx::ui
