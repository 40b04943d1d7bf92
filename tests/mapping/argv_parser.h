#pragma once
// The Windows argument convention as CommandLineToArgvW and the C runtime
// read a command line (for every argument after the program's name), written
// from the rules, independently of the code under test: blanks and tabs
// separate arguments outside quotes; 2n backslashes before a quote stand for
// n backslashes and the quote opens or closes; 2n+1 stand for n and a literal
// quote; backslashes before anything else are literal.
#include <string>
#include <vector>

namespace qlx::test {

inline std::vector<std::u16string> SplitArguments(const std::u16string& line) {
  std::vector<std::u16string> arguments;
  std::size_t i = 0;
  const std::size_t n = line.size();
  for (;;) {
    while (i < n && (line[i] == u' ' || line[i] == u'\t')) ++i;
    if (i == n) return arguments;
    std::u16string argument;
    bool quoted = false;
    while (i < n && (quoted || (line[i] != u' ' && line[i] != u'\t'))) {
      if (line[i] == u'\\') {
        std::size_t slashes = 0;
        while (i < n && line[i] == u'\\') ++slashes, ++i;
        if (i < n && line[i] == u'"') {
          argument.append(slashes / 2, u'\\');
          if (slashes % 2 == 1) {
            argument.push_back(u'"');
            ++i;
          }
        } else {
          argument.append(slashes, u'\\');
        }
      } else if (line[i] == u'"') {
        quoted = !quoted;
        ++i;
      } else {
        argument.push_back(line[i++]);
      }
    }
    arguments.push_back(argument);
  }
}

}  // namespace qlx::test
