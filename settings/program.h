#pragma once
// Names derived from the running program file's own path: the shell's
// title and the single-instance mutex are both taken from it.
#include <string>

namespace qlx::settings {

// The full path, from the platform context.
std::u16string PercorsoProgramma();
// The part after the last "\", "/" or ":" of a path.
std::u16string NomeFile(const std::u16string& percorso);
// The file name cut before its first ".", every character after the first
// in lower case (QLXDrive.exe gives Qlxdrive).
std::u16string TitoloDa(const std::u16string& percorso);
// TitoloDa(PercorsoProgramma()).
std::u16string TitoloApplicazione();

}  // namespace qlx::settings
