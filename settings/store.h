#pragma once
// The registry store of the settings record: one protected REG_SZ value per
// setting under HKCU\Software\PELMORA\QLXDrive, the key opened and closed
// around every single value.
#include <string>
#include <string_view>

#include "platform/registry.h"

namespace qlx::settings {

// The store speaks the platform's registry interface throughout.
using platform::Registry;
using platform::RegKey;
using platform::RegStatus;
namespace access = platform::access;
namespace regtype = platform::regtype;

// Paths as the design writes them, from the root key; the system gets them
// without the leading backslash.
inline constexpr char16_t kChiaveParametri[] = u"\\Software\\PELMORA\\QLXDrive";
std::u16string DallaRadice(std::u16string_view percorso);

namespace valore {
inline constexpr char16_t PATHDRIVE[] = u"PATHDRIVE";
inline constexpr char16_t ConfigIniFilesPath[] = u"ConfigIniFilesPath";
inline constexpr char16_t USER[] = u"USER";
inline constexpr char16_t PASSWORD[] = u"PASSWORD";
inline constexpr char16_t AUTOCONNECT[] = u"AUTOCONNECT";
inline constexpr char16_t AUTORUN[] = u"AUTORUN";
}  // namespace valore

void ScriviValoreCifrato(const std::u16string& nome, const std::u16string& valore);
// Leaves `valore` as it was when the settings key cannot be opened.
void LeggiValoreCifrato(const std::u16string& nome, std::u16string& valore);
void SalvaParametri();
void CaricaParametri();
bool ParametriCompleti();

// The text of a REG_SZ or REG_EXPAND_SZ value up to its first zero unit;
// absent or empty data give empty text. Never reads past the data the
// registry returned, whatever its byte count.
std::u16string LeggiStringaRegistro(Registry& registro, Registry::Key chiave, const std::u16string& nome);
// Writes a REG_SZ value; a refused write raises "Failed to set data for
// '%s'" with the value name (settings values and the Run entry alike).
void ScriviStringaRegistro(Registry& registro, Registry::Key chiave, const std::u16string& nome,
                           const std::u16string& testo);

// "...'%s'..." with the value name, for the registry layer's errors.
std::string TestoErroreRegistro(std::string_view schema, const std::u16string& nome);

}  // namespace qlx::settings
