#pragma once
#include <stdexcept>
#include <string>

namespace qlx {

// Every failure the core raises carries its user-visible text verbatim; the
// Win32 shell shows what() as it is, so the text must never be decorated.
class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& text) : std::runtime_error(text) {}
};

// A broken internal invariant rather than bad input.
class AssertionError : public Error {
 public:
  using Error::Error;
};

}  // namespace qlx
