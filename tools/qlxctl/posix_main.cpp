#include <cstdio>
#include <string>
#include <vector>

#include "cipher/errors.h"
#include "cipher/utf.h"
#include "tools/qlxctl/cli.h"

namespace {

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

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::u16string> arguments;
  try {
    for (int i = 1; i < argc; ++i) arguments.push_back(qlx::Utf8ToUtf16(argv[i]));
  } catch (const qlx::Error& e) {
    WriteAll(stderr, std::string("qlxctl: an argument is not UTF-8: ") + e.what() + "\n" + qlx::qlxctl::kUsage);
    return 2;
  }
  qlx::qlxctl::Io io{
      [] { return ReadAll(stdin); },
      [](const std::string& bytes) { WriteAll(stdout, bytes); },
      [](const std::string& bytes) { WriteAll(stderr, bytes); },
      {},
  };
  return qlx::qlxctl::Run(arguments, io);
}
