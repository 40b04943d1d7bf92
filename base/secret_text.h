#pragma once
// A text that holds a secret: the password, or a command line that carries
// it. Every buffer it lets go of is wiped first: the old text when another is
// assigned, the source's storage when it is moved from (a short text lives
// inside the object itself, and a move only copies it), and its own buffer
// when it goes. So no caller ever wipes by hand before an assignment.
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "base/wipe.h"

namespace qlx {

template <class Allocator = std::allocator<char16_t>>
class BasicSecretText {
 public:
  using String = std::basic_string<char16_t, std::char_traits<char16_t>, Allocator>;

  BasicSecretText() = default;
  // Takes a text's buffer over, and wipes what a short one leaves behind in
  // the source (a move copies it out of the object and leaves it there).
  BasicSecretText(String&& text) noexcept : text_(std::move(text)) { SecureWipe(text); }  // NOLINT: a text is one
  // A copy: the caller's own text stays the caller's to look after.
  BasicSecretText(const String& text) : text_(text) {}  // NOLINT: a text is one
  BasicSecretText(const char16_t* text) : text_(text) {}              // NOLINT: so is a literal

  BasicSecretText(const BasicSecretText& other) : text_(other.text_) {}
  BasicSecretText(BasicSecretText&& other) noexcept : text_(std::move(other.text_)) { SecureWipe(other.text_); }
  BasicSecretText& operator=(const BasicSecretText& other) {
    if (this != &other) {
      SecureWipe(text_);
      text_ = other.text_;
    }
    return *this;
  }
  BasicSecretText& operator=(BasicSecretText&& other) noexcept {
    if (this != &other) {
      SecureWipe(text_);
      text_ = std::move(other.text_);
      SecureWipe(other.text_);
    }
    return *this;
  }
  ~BasicSecretText() { SecureWipe(text_); }

  // Read-only views; a copy taken from them is the taker's to wipe.
  const String& str() const noexcept { return text_; }
  operator const String&() const noexcept { return text_; }  // NOLINT: reads as the text it holds
  std::u16string_view view() const noexcept { return {text_.data(), text_.size()}; }
  std::size_t size() const noexcept { return text_.size(); }
  bool empty() const noexcept { return text_.empty(); }
  // The system may write into a command line's buffer (CreateProcessW).
  char16_t* data() noexcept { return text_.data(); }
  void clear() noexcept { SecureWipe(text_); }

  friend bool operator==(const BasicSecretText& a, const BasicSecretText& b) noexcept { return a.view() == b.view(); }
  // Any text that reads as a view (a literal, a string), with no secret made
  // of it on the way.
  template <class Text>
    requires std::is_convertible_v<const Text&, std::u16string_view>
  friend bool operator==(const BasicSecretText& secret, const Text& text) noexcept {
    return secret.view() == std::u16string_view(text);
  }

 private:
  String text_;
};

using SecretText = BasicSecretText<>;

}  // namespace qlx
