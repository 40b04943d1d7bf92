#include "settings/program.h"

#include <exception>

#include "base/ascii.h"

namespace qlx::settings {

std::u16string FileName(const std::u16string& path) {
  const auto separator = path.find_last_of(u"\\/:");
  return separator == std::u16string::npos ? path : path.substr(separator + 1);
}

namespace {
// ASCII and Latin-1 capitals: the letters a program file name is made of in
// practice; anything else is kept as it is.
char16_t Lower(char16_t c) {
  return c >= 0xC0 && c <= 0xDE && c != 0xD7 ? static_cast<char16_t>(c + 0x20) : AsciiLower(c);
}
}  // namespace

std::u16string TitleFrom(const std::u16string& path) {
  std::u16string title = FileName(path);
  title = title.substr(0, title.find(u'.'));
  for (std::size_t i = 1; i < title.size(); ++i) title[i] = Lower(title[i]);
  return title;
}

std::u16string ApplicationTitle(platform::ProgramFile& program) {
  try {
    return TitleFrom(program.FullPath());
  } catch (const std::exception&) {
    return {};
  }
}

}  // namespace qlx::settings
