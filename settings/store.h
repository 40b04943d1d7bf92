#pragma once
// The registry store of the connection settings: one protected REG_SZ value
// per setting under HKCU\Software\PELMORA\QLXDrive, the key opened and
// closed around every single value.
#include <string>
#include <string_view>

#include "platform/context.h"
#include "platform/registry.h"
#include "settings/record.h"

namespace qlx::settings {

// The store speaks the platform's registry interface throughout.
using platform::Registry;
using platform::RegKey;
using platform::RegStatus;
namespace access = platform::access;
namespace regtype = platform::regtype;

// Paths written from the root key, with a leading backslash; the system gets them
// without the leading backslash.
inline constexpr char16_t kSettingsKey[] = u"\\Software\\PELMORA\\QLXDrive";
std::u16string FromRoot(std::u16string_view path);

namespace value_name {
inline constexpr char16_t PATHDRIVE[] = u"PATHDRIVE";
inline constexpr char16_t ConfigIniFilesPath[] = u"ConfigIniFilesPath";
inline constexpr char16_t USER[] = u"USER";
inline constexpr char16_t PASSWORD[] = u"PASSWORD";
inline constexpr char16_t AUTOCONNECT[] = u"AUTOCONNECT";
inline constexpr char16_t AUTORUN[] = u"AUTORUN";
}  // namespace value_name

void WriteProtectedValue(Registry& registry, const std::u16string& name, const std::u16string& value);
// Leaves `value` as it was when the settings key cannot be opened.
void ReadProtectedValue(Registry& registry, const std::u16string& name, std::u16string& value);
// Writes the six values, then sets or clears the Run entry; `program` gives
// the path stored beside them and in that entry.
void SaveSettings(Registry& registry, platform::ProgramFile& program, const ConnectionSettings& settings);
// Each field is assigned right after its own read: a failure leaves the
// earlier fields loaded and the rest as they were.
void LoadSettings(Registry& registry, ConnectionSettings& settings);

// The text of a REG_SZ or REG_EXPAND_SZ value up to its first zero unit;
// absent or empty data give empty text. Never reads past the data the
// registry returned, whatever its byte count.
std::u16string ReadRegistryString(Registry& registry, Registry::Key key, const std::u16string& name);
// Writes a REG_SZ value; a refused write raises "Failed to set data for
// '%s'" with the value name (settings values and the Run entry alike).
void WriteRegistryString(Registry& registry, Registry::Key key, const std::u16string& name,
                         const std::u16string& text);

// "...'%s'..." with the value name, for the registry layer's errors.
std::string RegistryErrorText(std::string_view pattern, const std::u16string& name);

}  // namespace qlx::settings
