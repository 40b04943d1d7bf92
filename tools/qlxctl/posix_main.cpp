#include <string>
#include <vector>

#include "base/errors.h"
#include "base/utf.h"
#include "tools/qlxctl/cli.h"

int main(int argc, char** argv) {
  qlx::qlxctl::Io io = qlx::qlxctl::StandardIo();
  std::vector<std::u16string> arguments;
  try {
    for (int i = 1; i < argc; ++i) arguments.push_back(qlx::Utf8ToUtf16(argv[i]));
  } catch (const qlx::Error& e) {
    io.write_error(std::string("qlxctl: an argument is not UTF-8: ") + e.what() + "\n" + qlx::qlxctl::kUsage);
    return 2;
  }
  return qlx::qlxctl::Run(arguments, io);
}
