#pragma once
// The logon autostart entry "QLXDrive" in the current user's Run key:
// absent, set (the program's command), or cleared (empty text).
#include <string>

#include "platform/context.h"

namespace qlx::settings {

inline constexpr char16_t kRunKey[] = u"\\Software\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr char16_t kRunEntry[] = u"QLXDrive";

// The last step of a save: stores the program's path once more, then sets
// the entry when `auto_run`, or clears it when it exists.
void UpdateAutostart(platform::Registry& registry, platform::ProgramFile& program, bool auto_run);
void ClearAutostart(platform::Registry& registry);
// True when the entry exists, whatever it holds.
bool AutostartPresent(platform::Registry& registry);

// What the Run entry holds for a program path: the path in double quotes
// when it contains a blank, so that Windows cannot take its first word for
// the program; the path as it is otherwise.
std::u16string AutostartCommand(const std::u16string& program_path);

}  // namespace qlx::settings
