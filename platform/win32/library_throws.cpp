// The C++ runtime reports its own failures (an index past the end, a size
// past a container's limit, an allocation that cannot be met) through the
// functions below. Its versions raise std::logic_error and its kin, whose
// message storage is a second, reference-counted string implementation:
// linked statically, that and what it pulls in are about 80 KB of the i686
// exe, for texts nobody catches by type. These definitions take the place of
// the runtime's (the linker then never loads its object): the allocation and
// cast failures keep their standard types, the others become a
// qlx::LibraryFailure with the same text, which the program's handlers catch
// as the std::exception it is.
//
// Every function the runtime's object defines is defined here: if one were
// missing and used, the linker would load that object as well and refuse the
// duplicates, so a runtime that grows one more fails the build, not the
// program.
#include <cstdarg>
#include <exception>
#include <new>
#include <typeinfo>

#include "base/library_failure.h"

namespace std {

void __throw_bad_exception() { throw bad_exception(); }
void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_bad_cast() { throw bad_cast(); }
void __throw_bad_typeid() { throw bad_typeid(); }

void __throw_logic_error(const char* text) { throw qlx::LibraryFailure(text); }
void __throw_domain_error(const char* text) { throw qlx::LibraryFailure(text); }
void __throw_invalid_argument(const char* text) { throw qlx::LibraryFailure(text); }
void __throw_length_error(const char* text) { throw qlx::LibraryFailure(text); }
void __throw_out_of_range(const char* text) { throw qlx::LibraryFailure(text); }
void __throw_runtime_error(const char* text) { throw qlx::LibraryFailure(text); }
void __throw_range_error(const char* text) { throw qlx::LibraryFailure(text); }
void __throw_overflow_error(const char* text) { throw qlx::LibraryFailure(text); }
void __throw_underflow_error(const char* text) { throw qlx::LibraryFailure(text); }

void __throw_out_of_range_fmt(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  qlx::LibraryFailure failure(format, args);
  va_end(args);
  throw failure;
}

}  // namespace std
