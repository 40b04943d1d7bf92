#pragma once
// The one ASCII case fold. Names the system compares without regard to case
// in the ASCII range only (drive letters, completion entries) fold here;
// every other character stays as it is.

namespace qlx {

constexpr char16_t AsciiLower(char16_t c) noexcept {
  return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

constexpr char16_t AsciiUpper(char16_t c) noexcept {
  return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

}  // namespace qlx
