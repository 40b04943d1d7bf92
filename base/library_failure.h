#pragma once
#include <cstdarg>
#include <cstddef>
#include <exception>

namespace qlx {

// Writes FORMAT with ARGS into OUT (SIZE bytes, SIZE > 0), always ending it
// with a NUL and cutting what does not fit; returns the length written. Only
// the conversions the C++ runtime's own failure texts use are understood:
// %zu (std::size_t), %s (a C string, "(null)" for a null pointer) and %%.
// Any other % sequence is copied as it stands, consuming no argument.
std::size_t FormatLibraryText(char* out, std::size_t size, const char* format, std::va_list args) noexcept;

// A failure the C++ runtime reports on the program's behalf (an index past
// the end, a container asked to grow past its limit). It holds its text in
// place, so that making or copying one never allocates.
class LibraryFailure : public std::exception {
 public:
  static constexpr std::size_t kCapacity = 256;  // bytes of text, the NUL included

  explicit LibraryFailure(const char* text) noexcept;
  LibraryFailure(const char* format, std::va_list args) noexcept;
  const char* what() const noexcept override { return text_; }

 private:
  char text_[kCapacity];
};

}  // namespace qlx
