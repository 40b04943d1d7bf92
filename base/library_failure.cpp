#include "base/library_failure.h"

namespace qlx {

namespace {

class Writer {
 public:
  Writer(char* out, std::size_t size) noexcept : out_(out), last_(size - 1) {}
  void Put(char c) noexcept {
    if (length_ < last_) out_[length_++] = c;
  }
  void Put(const char* text) noexcept {
    while (*text != '\0') Put(*text++);
  }
  std::size_t Finish() noexcept {
    out_[length_] = '\0';
    return length_;
  }

 private:
  char* out_;
  std::size_t last_;
  std::size_t length_ = 0;
};

}  // namespace

std::size_t FormatLibraryText(char* out, std::size_t size, const char* format, std::va_list args) noexcept {
  Writer writer(out, size);
  if (format == nullptr) return writer.Finish();
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') {
      writer.Put(*p);
    } else if (p[1] == '%') {
      writer.Put('%');
      ++p;
    } else if (p[1] == 's') {
      const char* text = va_arg(args, const char*);
      writer.Put(text != nullptr ? text : "(null)");
      ++p;
    } else if (p[1] == 'z' && p[2] == 'u') {
      std::size_t value = va_arg(args, std::size_t);
      char digits[24];
      int count = 0;
      do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
      } while (value != 0);
      while (count > 0) writer.Put(digits[--count]);
      p += 2;
    } else {
      writer.Put('%');
    }
  }
  return writer.Finish();
}

LibraryFailure::LibraryFailure(const char* text) noexcept {
  Writer writer(text_, kCapacity);
  if (text != nullptr) writer.Put(text);
  writer.Finish();
}

LibraryFailure::LibraryFailure(const char* format, std::va_list args) noexcept {
  FormatLibraryText(text_, kCapacity, format, args);
}

}  // namespace qlx
