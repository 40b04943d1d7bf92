#pragma once
// The NET USE command lines, the connected flag, the process runner and the
// Explorer launcher, over the platform context.
#include <cstdint>
#include <string>
#include <string_view>

namespace qlx::mapping {

// Build settings, from <qlx/build_info.h> (CMake cache variables
// QLX_SERVICE_BASE_URL and QLX_ACCOUNT_DOMAIN).
const std::u16string& ServiceBaseUrl();  // ends with "/"
const std::u16string& AccountDomain();

// The process-wide connected flag: True only after a connect command that
// exited 0, with no delete command run since.
bool& Connesso();

// The runner's bound on waiting for a child, in milliseconds.
inline constexpr std::uint32_t kAttesaMassimaMs = 120000;
// The longest line CreateProcessW takes: 32767 units with the terminator.
inline constexpr std::size_t kLunghezzaMassimaComando = 32766;
// CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS.
inline constexpr std::uint32_t kFlagCreazione = 0x10 | 0x20;
inline constexpr std::uint16_t kSwHide = 0;
// What ConnettiDrive and DisconnettiDrive return when they run nothing.
inline constexpr std::int32_t kNessunComando = -1;

// Runs `command_line` hidden in a new console and waits for it: the exit
// code as a signed 32-bit value, or -1 when it could not start, when the line
// is longer than CreateProcessW accepts, or when it was still running after
// `timeout_ms` (it is terminated then). `application` empty: the system
// takes the program from the line's first word.
std::int32_t EseguiEAttendi(const std::u16string& command_line, std::uint16_t show_window,
                            const std::u16string& application = {},
                            std::uint32_t timeout_ms = kAttesaMassimaMs);

// Appends one argument to a command line. A piece with a blank, a tab or a
// double quote goes in quoted so that the child's argument parser gives it
// back whole; any other piece goes in as it is.
void AggiungiArgomento(std::u16string& riga, std::u16string_view argomento);

// The lines as the system receives them (fields quoted only when needed).
std::u16string ComandoConnessione();    // from the settings record as it stands
std::u16string ComandoDisconnessione();
// GetSystemDirectoryW + "\net.exe": never a net.exe found by search.
std::u16string ProgrammaNet();

// Reloads the settings first. `apri_explorer` false skips the drive wait and
// the Explorer launch after a successful connect (scripts have no desktop
// user to show a drive to).
std::int32_t ConnettiDrive(bool apri_explorer = true);
std::int32_t DisconnettiDrive();  // uses the drive text held in memory

// True when `drive` names a drive present in the current logical-drive mask.
bool DrivePresente(const std::u16string& drive);
void ApriExplorer(const std::u16string& sub_path);

// The system text for an error code as the program shows it: trailing
// characters up to U+0020 and full stops removed.
std::u16string TestoErroreSistema(std::uint32_t code);

}  // namespace qlx::mapping
