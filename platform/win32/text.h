#pragma once
// Texts are char16_t everywhere but at the Win32 calls, where the same
// UTF-16 units are seen as wchar_t.
#include <cstddef>
#include <string>
#include <string_view>

#include "base/secret_text.h"

namespace qlx::platform {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32 wide text must be UTF-16");

inline const wchar_t* W(const std::u16string& text) noexcept {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}
inline wchar_t* W(std::u16string& text) noexcept { return reinterpret_cast<wchar_t*>(text.data()); }
inline wchar_t* W(SecretText& text) noexcept { return reinterpret_cast<wchar_t*>(text.data()); }

inline std::u16string U16(const wchar_t* text, std::size_t length) {
  return std::u16string(reinterpret_cast<const char16_t*>(text), length);
}
inline std::u16string U16(std::wstring_view text) { return U16(text.data(), text.size()); }

}  // namespace qlx::platform
