#include "mapping/mapping.h"

#include <exception>
#include <utility>

#include "base/ascii.h"
#include "settings/program.h"
#include "settings/store.h"

namespace qlx::mapping {

namespace {

// Pauses and counts of the drive wait.
constexpr std::uint32_t kPauseAfterChildMs = 10;
constexpr std::uint32_t kDrivePauseMs = 100;
constexpr int kMaxDrivePauses = 200;
constexpr int kSwShowNormal = 1;
constexpr std::uintptr_t kLastShellError = 32;  // ShellExecuteW: 32 or less is a failure

}  // namespace

std::int32_t RunAndWait(platform::Processes& processes, platform::Clock& clock, SecretText command_line,
                        std::uint16_t show_window, const std::u16string& application, std::uint32_t timeout_ms) {
  // A cut line would carry a cut password: a line the system cannot take
  // whole is not run at all.
  if (!platform::FitsCommandLine(command_line.size())) return -1;
  const platform::ProcessRequest request{application, std::move(command_line), show_window, kCreationFlags,
                                         timeout_ms};
  const platform::ProcessOutcome outcome = processes.RunAndWait(request);
  if (outcome.kind != platform::ProcessOutcome::Kind::Exited) return -1;
  clock.Pause(kPauseAfterChildMs);
  return static_cast<std::int32_t>(outcome.exit_code);
}

void AppendArgument(std::u16string& line, std::u16string_view argument) {
  if (argument.find_first_of(u" \t\"") == std::u16string_view::npos) {
    line.append(argument);
    return;
  }
  // The parser's rules: backslashes are literal unless a quote follows them;
  // then each pair stands for one backslash and an odd one escapes the quote.
  line.push_back(u'"');
  std::size_t backslashes = 0;
  for (const char16_t c : argument) {
    if (c == u'\\') {
      ++backslashes;
      continue;
    }
    if (c == u'"') {
      line.append(backslashes * 2 + 1, u'\\');
    } else {
      line.append(backslashes, u'\\');
    }
    line.push_back(c);
    backslashes = 0;
  }
  // The closing quote follows them too.
  line.append(backslashes * 2, u'\\');
  line.push_back(u'"');
}

SecretText ConnectCommand(const settings::ConnectionSettings& s) {
  const std::u16string address = ServiceBaseUrl() + s.user;
  const std::u16string account = s.user + u"@" + AccountDomain();
  std::u16string line;
  // Room for every piece quoted, so that the line holding the password is
  // never moved (and a copy left behind) while it grows.
  line.reserve(64 + 2 * (s.drive.size() + address.size() + s.password.size() + account.size()));
  line += u"NET USE ";
  AppendArgument(line, s.drive);
  line += u" ";
  AppendArgument(line, address);
  line += u" ";
  AppendArgument(line, s.password.view());
  line += u" /user:";
  AppendArgument(line, account);
  line += u" ";
  return SecretText(std::move(line));
}

std::u16string DisconnectCommand(const settings::ConnectionSettings& s) {
  std::u16string line = u"NET USE ";
  AppendArgument(line, s.drive);
  line += u" /DELETE";
  return line;
}

std::u16string NetProgram(platform::Processes& processes) {
  const std::u16string system = processes.SystemDirectory();
  if (system.empty()) return {};
  return system + u"\\net.exe";
}

// A system directory that cannot be read counts as a command that did not
// start, since a bare "\net.exe" or a search by name could find a planted
// program.
std::int32_t DriveMapping::RunNet(SecretText line) {
  const std::u16string program = NetProgram(platform_.processes);
  if (program.empty()) return -1;
  return RunAndWait(platform_.processes, platform_.clock, std::move(line), kSwHide, program);
}

std::int32_t DriveMapping::Connect(bool open_explorer) {
  settings::LoadSettings(registry_, settings_);
  if (!settings::IsComplete(settings_)) return kNoCommand;
  explorer_failure_.reset();
  const std::int32_t result = RunNet(ConnectCommand(settings_));
  connected_ = result == 0;
  if (connected_ && open_explorer) explorer_failure_ = OpenExplorer(platform_, settings_.drive, connected_, u"");
  return result;
}

std::int32_t DriveMapping::Disconnect() {
  if (settings_.drive.empty()) return kNoCommand;
  const std::int32_t result = RunNet(DisconnectCommand(settings_));
  connected_ = false;
  return result;
}

std::uint32_t DriveBit(std::u16string_view drive) {
  if (drive.size() < 2 || drive[1] != u':') return 0;
  const char16_t letter = AsciiUpper(drive[0]);
  if (letter < u'A' || letter > u'Z') return 0;
  return std::uint32_t{1} << (letter - u'A');
}

bool DrivePresent(platform::Drives& drives, const std::u16string& drive) {
  const std::uint32_t bit = DriveBit(drive);
  return bit != 0 && (drives.LogicalDriveMask() & bit) != 0;
}

std::optional<Notice> OpenExplorer(const Platform& platform, const std::u16string& drive, bool connected,
                                   const std::u16string& sub_path) {
  // At most 201 tests and 200 pauses; the last test decides.
  bool present = DrivePresent(platform.drives, drive);
  for (int pauses = 0; !present && pauses < kMaxDrivePauses; ++pauses) {
    platform.clock.Pause(kDrivePauseMs);
    present = DrivePresent(platform.drives, drive);
  }
  if (!present) return std::nullopt;

  const std::u16string root = platform.environment.Variable(u"SYSTEMROOT").value_or(u"");
  try {
    if (!connected) return std::nullopt;
    const std::u16string program = root + u"\\explorer.exe";
    const std::u16string parameters = drive + sub_path;
    const std::uintptr_t result = platform.shell.Execute(u"open", program, parameters, kSwShowNormal);
    if (result <= kLastShellError) {
      // Read before anything else can change the thread's last error.
      const std::uint32_t code = platform.messages.LastError();
      return Notice{settings::TitleFrom(platform.program.FullPath()), SystemErrorText(platform.messages, code)};
    }
  } catch (const std::exception&) {
    // The last resort is told even when the program's own path is what
    // failed: then without a caption.
    const std::uint32_t code = platform.messages.LastError();
    return Notice{settings::ApplicationTitle(platform.program), u"ERRORE: (2) " + SystemErrorText(platform.messages, code)};
  }
  return std::nullopt;
}

std::u16string SystemErrorText(platform::Messages& messages, std::uint32_t code) {
  std::u16string text = messages.SystemText(code);
  while (!text.empty() && (text.back() <= u' ' || text.back() == u'.')) text.pop_back();
  return text;
}

}  // namespace qlx::mapping
