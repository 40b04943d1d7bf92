#pragma once
#include <exception>
#include <memory>
#include <string>

namespace qlx {

// Every failure the core raises carries its user-visible text verbatim; the
// Win32 shell shows what() as it is, so the text must never be decorated.
//
// Derived from std::exception, not std::runtime_error: the latter's message
// storage is a second string implementation of the runtime's own, and
// constructing one links all of it (with the code it needs) into the program.
// Handlers catch qlx::Error or std::exception, never std::runtime_error.
class Error : public std::exception {
 public:
  explicit Error(const std::string& text) : text_(std::make_shared<const std::string>(text)) {}
  const char* what() const noexcept override { return text_->c_str(); }

 private:
  // Shared, so that copying the exception object, as throwing and catching
  // may do, neither allocates nor throws.
  std::shared_ptr<const std::string> text_;
};

// A broken internal invariant rather than bad input.
class AssertionError : public Error {
 public:
  using Error::Error;
};

}  // namespace qlx
