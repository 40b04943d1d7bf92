#pragma once
// The NET USE command lines, the mapping object with its connected flag,
// the process runner and the Explorer launcher, over the platform parts each
// is handed.
// Nothing here talks to the user: outcomes go back to the shell.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/secret_text.h"
#include "platform/context.h"
#include "settings/record.h"

namespace qlx::mapping {

// What the mapping reaches outside the process through.
struct Platform {
  platform::Processes& processes;
  platform::Clock& clock;
  platform::Drives& drives;
  platform::Environment& environment;
  platform::Shell& shell;
  platform::Messages& messages;  // the last error and the system's texts
  platform::ProgramFile& program;  // names the notices
};
// The mapping's parts of what an entry point made.
inline Platform PlatformOf(const platform::Context& os) {
  return {os.processes, os.clock, os.drives, os.environment, os.shell, os.messages, os.program};
}

// Build settings, from <qlx/build_info.h> (CMake cache variables
// QLX_SERVICE_BASE_URL and QLX_ACCOUNT_DOMAIN).
std::u16string ServiceBaseUrl();  // ends with "/"
std::u16string AccountDomain();

// The runner's bound on waiting for a child, in milliseconds.
inline constexpr std::uint32_t kMaxWaitMs = 120000;
// CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS.
inline constexpr std::uint32_t kCreationFlags = 0x10 | 0x20;
inline constexpr std::uint16_t kSwHide = 0;
// What Connect and Disconnect return when they run nothing.
inline constexpr std::int32_t kNoCommand = -1;

// Runs `command_line` hidden in a new console and waits for it: the exit
// code as a signed 32-bit value, or -1 when it could not start, when the line
// is longer than CreateProcessW accepts, or when it was still running after
// `timeout_ms` (it is terminated then). `application` empty: the system
// takes the program from the line's first word.
std::int32_t RunAndWait(platform::Processes& processes, platform::Clock& clock, SecretText command_line,
                        std::uint16_t show_window, const std::u16string& application = {},
                        std::uint32_t timeout_ms = kMaxWaitMs);

// Appends one argument to a command line. A piece with a blank, a tab or a
// double quote goes in quoted so that the child's argument parser gives it
// back whole; any other piece goes in as it is.
void AppendArgument(std::u16string& line, std::u16string_view argument);

// The lines as the system receives them (fields quoted only when needed);
// the connect line carries the password.
SecretText ConnectCommand(const settings::ConnectionSettings& settings);
std::u16string DisconnectCommand(const settings::ConnectionSettings& settings);
// GetSystemDirectoryW + "\net.exe": never a net.exe found by search.
std::u16string NetProgram(platform::Processes& processes);

// The bit of the logical-drive mask that a drive text such as "Z:" or "z:"
// names (bit 0 is A:), or 0 when it names no drive letter.
std::uint32_t DriveBit(std::u16string_view drive);
// True when `drive` names a drive present in the current logical-drive mask.
bool DrivePresent(platform::Drives& drives, const std::u16string& drive);
// What the user is to be told in a plain message box. Mapping words it; the
// shell shows it.
struct Notice {
  std::u16string caption;
  std::u16string text;
  bool operator==(const Notice&) const = default;
};

// Waits for `drive` to appear, then, when `connected`, opens Explorer on
// `drive` + `sub_path`. A launch that failed comes back as the notice that
// tells it, never raised; a drive that never appeared is given up silently.
std::optional<Notice> OpenExplorer(const Platform& platform, const std::u16string& drive, bool connected,
                                   const std::u16string& sub_path);

// The system text for an error code as the program shows it: trailing
// characters up to U+0020 and full stops removed.
std::u16string SystemErrorText(platform::Messages& messages, std::uint32_t code);

// The drive mapping: the one holder of the connected flag, which is true
// only after a connect command that exited 0 with no delete command run
// since. It works on the settings value its owner hands it, reloaded from
// `registry`.
class DriveMapping {
 public:
  DriveMapping(settings::ConnectionSettings& settings, platform::Registry& registry, const Platform& platform)
      : settings_(settings), registry_(registry), platform_(platform) {}
  DriveMapping(const DriveMapping&) = delete;
  DriveMapping& operator=(const DriveMapping&) = delete;

  // Reloads the settings from the store first, so a connection always uses
  // what is saved. `open_explorer` false skips the drive wait and the
  // Explorer launch after a success (scripts have no desktop to show it on).
  // A launch that failed leaves its notice in explorer_failure() until the
  // next Connect.
  std::int32_t Connect(bool open_explorer = true);
  // Acts on the drive text held in memory, without a reload.
  std::int32_t Disconnect();

  bool connected() const { return connected_; }
  const std::optional<Notice>& explorer_failure() const { return explorer_failure_; }
  const settings::ConnectionSettings& settings() const { return settings_; }

 private:
  // Runs one NET USE line with the system's own net.exe.
  std::int32_t RunNet(SecretText line);

  settings::ConnectionSettings& settings_;
  platform::Registry& registry_;
  const Platform platform_;
  bool connected_ = false;
  std::optional<Notice> explorer_failure_;
};

}  // namespace qlx::mapping
