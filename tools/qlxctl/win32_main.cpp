// qlxctl on Windows: wide arguments, binary standard streams, and the
// commands that reach the real registry of the current user and run NET USE.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/utf.h"
#include "base/wipe.h"
#include "mapping/mapping.h"
#include "platform/win32/win32_platform.h"
#include "settings/record.h"
#include "settings/store.h"
#include "tools/qlxctl/cli.h"
#include "tools/qlxctl/doctor_win32.h"
#include "tools/qlxctl/reg_file.h"

namespace {

using namespace qlx;

// QLXDrive.exe in qlxctl.exe's own folder.
std::u16string ProgramBeside(const std::u16string& own_path) {
  const auto slash = own_path.find_last_of(u"\\/");
  return (slash == std::u16string::npos ? std::u16string() : own_path.substr(0, slash + 1)) + u"QLXDrive.exe";
}

const char* Switch(bool on) { return on ? "S" : "N"; }

std::string Ended(const char* what, std::int32_t result) {
  std::string text = std::string("qlxctl: ") + what + ": NET USE ended with code " + std::to_string(result);
  if (result == -1)
    text += " (or could not start, or did not end within " + std::to_string(mapping::kMaxWaitMs / 1000) + " s)";
  return text + "\n";
}

// For scripts and scheduled tasks: the program's own connect, on the stored
// settings (the mapping reloads them), judged by its connected flag.
int Connect(const platform::Context& os, const qlxctl::Options& options, qlxctl::Io& io) {
  settings::ConnectionSettings stored;
  mapping::DriveMapping mapping(stored, os.registry, mapping::PlatformOf(os));
  const std::int32_t result = mapping.Connect(!options.no_explorer);
  // The same box the program shows when Explorer cannot open on the drive.
  if (const auto& failure = mapping.explorer_failure())
    os.messages.Show(failure->caption, failure->text, platform::Messages::Kind::Plain);
  if (mapping.connected()) return 0;
  io.write_error(settings::IsComplete(stored)
                     ? Ended("connect", result)
                     : "qlxctl: connect: the stored settings are incomplete (drive, user and password are "
                       "needed)\n");
  return 1;
}

int Disconnect(const platform::Context& os, qlxctl::Io& io) {
  settings::ConnectionSettings stored;
  settings::LoadSettings(os.registry, stored);
  if (stored.drive.empty()) {
    io.write_error("qlxctl: disconnect: no drive is stored\n");
    return 1;
  }
  const std::int32_t result = mapping::DriveMapping(stored, os.registry, mapping::PlatformOf(os)).Disconnect();
  if (result == 0) return 0;
  io.write_error(Ended("disconnect", result));
  return 1;
}

int Load(const platform::Context& os, const qlxctl::Options& options, qlxctl::Io& io) {
  settings::ConnectionSettings record;
  settings::LoadSettings(os.registry, record);
  Wiped<std::string> password(options.show_password ? Utf16ToUtf8(record.password) : std::string("***"));
  io.write_output("PathDrive=" + Utf16ToUtf8(record.drive) + "\r\nUser=" + Utf16ToUtf8(record.user) +
                  "\r\nPassword=" + *password + "\r\nAutoConnect=" + Switch(record.auto_connect) +
                  "\r\nAutoRun=" + Switch(record.auto_run) + "\r\n");
  return 0;
}

int Save(const platform::Context& os, const qlxctl::Options& options, qlxctl::Io& io) {
  // The Run entry names the program beside qlxctl, not qlxctl itself.
  qlxctl::GivenProgramFile program(options.program ? *options.program : ProgramBeside(os.program.FullPath()));
  settings::ConnectionSettings record;
  record.drive = *options.drive;
  record.user = *options.user;
  record.password = qlxctl::PasswordFromInput(io.read_input());
  record.auto_connect = options.autoconnect;
  record.auto_run = options.autorun;
  settings::SaveSettings(os.registry, program, record);
  return 0;
}

int WindowsCommand(const platform::Context& os, const qlxctl::Options& options, qlxctl::Io& io) {
  if (options.command == u"connect") return Connect(os, options, io);
  if (options.command == u"disconnect") return Disconnect(os, io);
  if (options.command == u"doctor") return qlxctl::DoctorCommand(os, options, io);
  if (options.command == u"load") return Load(os, options, io);
  return Save(os, options, io);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // Bytes pass unchanged: no CR LF translation, no code page.
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  platform::Win32Platform os;
  std::vector<std::u16string> arguments;
  for (int i = 1; i < argc; ++i) arguments.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
  qlxctl::Io io = qlxctl::StandardIo();
  io.windows_command = [&os](const qlxctl::Options& options, qlxctl::Io& streams) {
    return WindowsCommand(os.context(), options, streams);
  };
  return qlxctl::Run(arguments, io);
}
