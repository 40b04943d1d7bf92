#pragma once
// What the dialog needs from the loop that shows it modally (app/ runs
// it): ui/ sits below app/ and reaches it only through this interface.
#include <windows.h>

#include "ui/window.h"

namespace qlx::ui {

// A window that the application can show modally.
class ModalForm {
 public:
  virtual ~ModalForm() = default;
  virtual HWND Handle() const = 0;
  // Runs the form's opening step, then shows it; its own failures are
  // reported inside, never raised.
  virtual void ShowForModal() = 0;
  virtual void HideAfterModal() = 0;
  // Keyboard handling of the running loop; true when the message was used.
  virtual bool PreTranslate(MSG& msg) = 0;
};

class ModalHost : public ErrorBox {
 public:
  // A close request on a window: in its modal loop it ends that loop with
  // the cancel result; on the main window outside a modal loop it ends the
  // program; elsewhere nothing.
  virtual void CloseRequest(HWND window) = 0;
};

}  // namespace qlx::ui
