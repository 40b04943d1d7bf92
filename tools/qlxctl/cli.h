#pragma once
// qlxctl's commands over the product's own settings routines. The entry
// points (posix_main.cpp, win32_main.cpp) supply the byte streams and, on
// Windows, the commands that reach the real registry and run NET USE.
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace qlx::qlxctl {

struct Options {
  std::u16string command;
  std::optional<std::u16string> drive;
  std::optional<std::u16string> user;
  std::optional<std::u16string> program;
  bool autoconnect = false;
  bool autorun = false;
  bool show_password = false;
  bool no_explorer = false;
  bool online = false;  // doctor
  bool json = false;    // doctor
  bool help = false;
  bool version = false;
};

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Io {
  std::function<std::string()> read_input;  // all of standard input, as bytes
  std::function<void(const std::string&)> write_output;
  std::function<void(const std::string&)> write_error;
  // Windows only: load, save, connect, disconnect and doctor; an empty function
  // elsewhere.
  std::function<int(const Options&, Io&)> windows_command;
};

// The process's standard streams, read and written as bytes; no registry
// commands. Windows must have put the streams in binary mode first.
Io StandardIo();

// Checks the arguments against what the command takes.
Options ParseArguments(const std::vector<std::u16string>& arguments);
// Exit code: 0 done, 1 the engine or the registry raised or the mapping
// failed, 2 usage error.
int Run(const std::vector<std::u16string>& arguments, Io& io);

// The version and the service the build is for, one per line.
std::string BuildInfo();

// Standard input as a password: one trailing line end (from echo or a
// terminal) is not part of it.
std::u16string PasswordFromInput(std::string input);
extern const char* const kUsage;

}  // namespace qlx::qlxctl
