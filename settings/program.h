#pragma once
// Names derived from the running program file's own path: the shell's
// title and the single-instance mutex are both taken from it.
#include <string>

#include "platform/context.h"

namespace qlx::settings {

// The part after the last "\", "/" or ":" of a path.
std::u16string FileName(const std::u16string& path);
// The file name cut before its first ".", every character after the first
// in lower case (QLXDrive.exe gives Qlxdrive).
std::u16string TitleFrom(const std::u16string& path);
// TitleFrom(program.FullPath()), or empty text when the path cannot be read:
// the title only ever names a box or a tooltip, which must come all the same.
std::u16string ApplicationTitle(platform::ProgramFile& program);

}  // namespace qlx::settings
