#pragma once
// The NET USE command lines, the connected flag, the process runner and the
// Explorer launcher, over the platform context.
#include <cstdint>
#include <string>

namespace qlx::mapping {

// Build settings (one place; see mapping/service.h.in).
const std::u16string& ServiceBaseUrl();  // ends with "/"
const std::u16string& AccountDomain();

// The process-wide connected flag: True only after a connect command that
// exited 0, with no delete command run since.
bool& Connesso();

// The runner's bound on waiting for a child, in milliseconds.
inline constexpr std::uint32_t kAttesaMassimaMs = 120000;

// Runs `command_line` hidden in a new console and waits for it: the exit
// code as a signed 32-bit value, or -1 when it could not start, when the line
// is longer than CreateProcessW accepts, or when it was still running after
// `timeout_ms` (it is terminated then). `application` empty: the system
// takes the program from the line's first word.
std::int32_t EseguiEAttendi(const std::u16string& command_line, std::uint16_t show_window,
                            const std::u16string& application = {},
                            std::uint32_t timeout_ms = kAttesaMassimaMs);

// The lines as the system receives them (fields quoted only when needed).
std::u16string ComandoConnessione();    // from the settings record as it stands
std::u16string ComandoDisconnessione();

std::int32_t ConnettiDrive();     // reloads the settings first
std::int32_t DisconnettiDrive();  // uses the drive text held in memory

// True when `drive` names a drive present in the current logical-drive mask.
bool DrivePresente(const std::u16string& drive);
void ApriExplorer(const std::u16string& sub_path);

// The system text for an error code as the program shows it: trailing
// characters up to U+0020 and full stops removed.
std::u16string TestoErroreSistema(std::uint32_t code);

}  // namespace qlx::mapping
