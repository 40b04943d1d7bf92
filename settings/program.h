#pragma once
// Names derived from the running program file's own path: the shell's
// title and the single-instance mutex are both taken from it.
#include <string>

namespace qlx::settings {

// The full path, from the platform context; raises when it cannot be read.
std::u16string ProgramPath();
// The part after the last "\", "/" or ":" of a path.
std::u16string FileName(const std::u16string& path);
// The file name cut before its first ".", every character after the first
// in lower case (QLXDrive.exe gives Qlxdrive).
std::u16string TitleFrom(const std::u16string& path);
// TitleFrom(ProgramPath()), or empty text when the path cannot be read: the
// title only ever names a box or a tooltip, which must come all the same.
std::u16string ApplicationTitle();

}  // namespace qlx::settings
