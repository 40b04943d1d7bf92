#include "tools/qlxctl/cli.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include <qlx/build_info.h>

#include "base/errors.h"
#include "base/utf.h"
#include "base/wipe.h"
#include "mapping/mapping.h"
#include "settings/protected_value.h"
#include "settings/record.h"
#include "settings/store.h"
#include "tools/qlxctl/reg_file.h"

namespace qlx::qlxctl {

const char* const kUsage =
    "usage: qlxctl protect                 < text     the registry string of a UTF-8 text\n"
    "       qlxctl reveal                  < string   the plain text of a registry string\n"
    "       qlxctl reg --drive Z: --user NAME --program PATH [--autoconnect] [--autorun]\n"
    "                                      < password a .reg file storing these settings\n"
    "       qlxctl load [--show-password]             the stored settings (Windows)\n"
    "       qlxctl save --drive Z: --user NAME [--program PATH] [--autoconnect] [--autorun]\n"
    "                                      < password store these settings (Windows)\n"
    "       qlxctl connect [--no-explorer]            map the stored drive with NET USE (Windows)\n"
    "       qlxctl disconnect                         remove the stored drive's mapping (Windows)\n"
    "       qlxctl doctor [--online] [--json]         why the drive does not map, changing nothing (Windows)\n"
    "       qlxctl info | --version                   the version, service base URL and account domain\n"
    "       qlxctl --help\n"
    "protect and reveal take standard input exactly as it is; a password may end\n"
    "in one line break, which is not part of it. Without --program, save names\n"
    "QLXDrive.exe beside qlxctl.exe. connect and disconnect exit 0 when NET USE\n"
    "succeeded and 1 otherwise, with the reason on standard error; connect opens\n"
    "Explorer on the drive unless --no-explorer is given. doctor checks the\n"
    "settings, the letter, net.exe, the WebClient service and its parameters,\n"
    "and with --online asks the server once (PROPFIND, at most 15 s); it exits 0\n"
    "when nothing is a problem, 1 when something is, 2 when it could not run.\n";

namespace {

struct Grammar {
  std::set<std::u16string> allowed;
  std::set<std::u16string> required;
};

const Grammar* GrammarOf(const std::u16string& command) {
  static const std::vector<std::pair<std::u16string, Grammar>> grammars = {
      {u"protect", {}},
      {u"reveal", {}},
      {u"reg", {{u"--drive", u"--user", u"--program", u"--autoconnect", u"--autorun"},
                {u"--drive", u"--user", u"--program"}}},
      {u"load", {{u"--show-password"}, {}}},
      {u"save", {{u"--drive", u"--user", u"--program", u"--autoconnect", u"--autorun"}, {u"--drive", u"--user"}}},
      {u"connect", {{u"--no-explorer"}, {}}},
      {u"disconnect", {}},
      {u"doctor", {{u"--online", u"--json"}, {}}},
      {u"info", {}},
  };
  for (const auto& [name, grammar] : grammars)
    if (name == command) return &grammar;
  return nullptr;
}

bool WindowsOnly(const std::u16string& command) {
  return command == u"load" || command == u"save" || command == u"connect" || command == u"disconnect" ||
         command == u"doctor";
}

bool TakesValue(const std::u16string& option) {
  return option == u"--drive" || option == u"--user" || option == u"--program";
}

std::string Utf8(const std::u16string& text) { return Utf16ToUtf8(text); }

std::string ReadAll(std::FILE* file) {
  std::string bytes;
  char buffer[65536];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) bytes.append(buffer, n);
  return bytes;
}

void WriteAll(std::FILE* file, const std::string& bytes) {
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fflush(file);
}

std::u16string TextFromInput(const std::string& input) {
  return DecodeText(reinterpret_cast<const std::uint8_t*>(input.data()), input.size(), TEncoding::UTF8);
}

int Protect(Io& io) {
  Wiped<std::string> input(io.read_input());
  Wiped<std::u16string> text(TextFromInput(*input));
  io.write_output(Utf8(settings::ProtectValue(*text)));
  return 0;
}

int Reveal(Io& io) {
  const std::u16string stored = TextFromInput(io.read_input());
  Wiped<std::u16string> text(settings::RevealValue(stored));
  Wiped<std::string> bytes(Utf8(*text));
  io.write_output(*bytes);
  return 0;
}

int Reg(const Options& options, Io& io) {
  RecordingRegistry registry;
  GivenProgramFile program(*options.program);
  settings::ConnectionSettings record;
  record.drive = *options.drive;
  record.user = *options.user;
  record.password = PasswordFromInput(io.read_input());
  record.auto_connect = options.autoconnect;
  record.auto_run = options.autorun;
  settings::SaveSettings(registry, program, record);
  const std::vector<std::uint8_t> bytes = RegFileBytes(registry.Keys());
  io.write_output(std::string(bytes.begin(), bytes.end()));
  return 0;
}

}  // namespace

std::string BuildInfo() {
  return std::string("qlxctl ") + QLX_VERSION_TEXT + "\nservice base URL: " + Utf8(mapping::ServiceBaseUrl()) +
         "\naccount domain: " + Utf8(mapping::AccountDomain()) + "\n";
}

std::u16string PasswordFromInput(std::string input) {
  if (!input.empty() && input.back() == '\n') {
    input.pop_back();
    if (!input.empty() && input.back() == '\r') input.pop_back();
  }
  Wiped<std::string> bytes(std::move(input));
  return TextFromInput(*bytes);
}

namespace {

bool IsHelp(const std::u16string& argument) { return argument == u"--help" || argument == u"-h"; }

// Sets what an option without a value switches on.
void SetSwitch(Options& options, const std::u16string& option) {
  if (option == u"--autoconnect") options.autoconnect = true;
  if (option == u"--autorun") options.autorun = true;
  if (option == u"--show-password") options.show_password = true;
  if (option == u"--no-explorer") options.no_explorer = true;
  if (option == u"--online") options.online = true;
  if (option == u"--json") options.json = true;
}

// The options after the command; false when one asks for help, which ends
// the reading there.
bool ParseOptions(const std::vector<std::u16string>& arguments, const Grammar& grammar, Options& options) {
  std::set<std::u16string> seen;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    std::u16string option = arguments[i];
    std::optional<std::u16string> value;
    if (const auto equals = option.find(u'='); option.rfind(u"--", 0) == 0 && equals != std::u16string::npos) {
      value = option.substr(equals + 1);
      option.resize(equals);
    }
    if (IsHelp(option)) return false;
    if (!grammar.allowed.count(option))
      throw UsageError("'" + Utf8(option) + "' is not an option of " + Utf8(options.command));
    if (!seen.insert(option).second) throw UsageError("'" + Utf8(option) + "' given twice");
    if (TakesValue(option)) {
      if (!value) {
        if (i + 1 == arguments.size()) throw UsageError("'" + Utf8(option) + "' needs a value");
        value = arguments[++i];
      }
      (option == u"--drive" ? options.drive : option == u"--user" ? options.user : options.program) = *value;
    } else {
      if (value) throw UsageError("'" + Utf8(option) + "' takes no value");
      SetSwitch(options, option);
    }
  }
  for (const auto& option : grammar.required)
    if (!seen.count(option)) throw UsageError(Utf8(options.command) + " needs " + Utf8(option));
  return true;
}

}  // namespace

Options ParseArguments(const std::vector<std::u16string>& arguments) {
  Options options;
  if (arguments.empty()) throw UsageError("no command given");
  if (IsHelp(arguments[0])) {
    options.help = true;
    return options;
  }
  if (arguments[0] == u"--version") {
    if (arguments.size() > 1) throw UsageError("--version takes nothing after it");
    options.version = true;
    return options;
  }
  options.command = arguments[0];
  const Grammar* grammar = GrammarOf(options.command);
  if (!grammar) throw UsageError("unknown command '" + Utf8(options.command) + "'");
  if (!ParseOptions(arguments, *grammar, options)) options.help = true;
  return options;
}

Io StandardIo() {
  return Io{
      [] { return ReadAll(stdin); },
      [](const std::string& bytes) { WriteAll(stdout, bytes); },
      [](const std::string& bytes) { WriteAll(stderr, bytes); },
      {},
  };
}

int Run(const std::vector<std::u16string>& arguments, Io& io) {
  Options options;
  try {
    options = ParseArguments(arguments);
    if (!options.help && WindowsOnly(options.command) && !io.windows_command)
      throw UsageError(Utf8(options.command) + " is available on Windows only");
  } catch (const UsageError& e) {
    io.write_error(std::string("qlxctl: ") + e.what() + "\n" + kUsage);
    return 2;
  } catch (const Error& e) {  // an argument that is not valid text
    io.write_error(std::string("qlxctl: ") + e.what() + "\n" + kUsage);
    return 2;
  }
  if (options.help) {
    io.write_output(kUsage);
    return 0;
  }
  if (options.version || options.command == u"info") {
    io.write_output(BuildInfo());
    return 0;
  }
  try {
    if (options.command == u"protect") return Protect(io);
    if (options.command == u"reveal") return Reveal(io);
    if (options.command == u"reg") return Reg(options, io);
    return io.windows_command(options, io);
  } catch (const std::exception& e) {
    io.write_error(std::string(e.what()) + "\n");
    return 1;
  }
}

}  // namespace qlx::qlxctl
