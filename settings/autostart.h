#pragma once
// The logon autostart entry "QLXDrive" in the current user's Run key:
// absent, set (the program's command), or cleared (empty text).
#include <string>

namespace qlx::settings {

inline constexpr char16_t kChiaveRun[] = u"\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr char16_t kVoceRun[] = u"QLXDrive";

// Last step of SalvaParametri.
void ImpostaAvvioAutomatico();
void RimuoviAvvioAutomatico();
// True when the entry exists, whatever it holds.
bool AvvioAutomaticoPresente();

// What the Run entry holds for a program path: the path in double quotes
// when it contains a blank, so that Windows cannot take its first word for
// the program; the path as it is otherwise.
std::u16string ComandoAvvio(const std::u16string& percorso_programma);

}  // namespace qlx::settings
