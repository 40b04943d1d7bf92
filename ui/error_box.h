#pragma once
// The program's error box: a raised error's text under the program's
// title, over the dialog while the dialog is shown, ownerless otherwise.
#include <windows.h>

#include <exception>
#include <string>

#include "ui/window.h"

namespace qlx::ui {

class MessageErrorBox final : public ErrorBox {
 public:
  explicit MessageErrorBox(std::u16string title) : title_(std::move(title)) {}

  // The window the box goes over while that window is shown: the dialog,
  // which is created after the windows that report to this box.
  void ShowOver(HWND window) { over_ = window; }
  const std::u16string& Title() const { return title_; }

  void ShowError(const std::exception_ptr& error) noexcept override;

 private:
  std::u16string title_;
  HWND over_ = nullptr;
};

}  // namespace qlx::ui
