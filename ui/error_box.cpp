#include "ui/error_box.h"

#include "base/utf.h"
#include "platform/win32/text.h"
#include "ui/logic.h"

namespace qlx::ui {

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

void MessageErrorBox::ShowError(const std::exception_ptr& error) noexcept {
  try {
    std::u16string message;
    try {
      if (error) std::rethrow_exception(error);
    } catch (const std::exception& e) {
      message = TextOf(e.what());
    } catch (...) {
      message = u"Unknown error";
    }
    const std::u16string text = ErrorBoxText(message);
    HWND owner = (over_ != nullptr && IsWindowVisible(over_)) ? over_ : nullptr;
    MessageBoxW(owner, platform::W(text), platform::W(title_), MB_OK | MB_ICONERROR);
  } catch (...) {
    // Nothing more can be told: the message loop goes on.
  }
}

}  // namespace qlx::ui
