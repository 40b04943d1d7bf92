#pragma once
// Shared by the fuzz targets: what may escape the code under test, and how a
// broken property stops the run.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <initializer_list>
#include <string>

#include "base/errors.h"

namespace qlx::fuzz {

[[noreturn]] inline void Fail(const char* what, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: property broken: %s\n", file, line, what);
  std::abort();
}

// Not assert(): it must hold in every build type.
#define QLX_FUZZ_CHECK(cond) \
  ((cond) ? static_cast<void>(0) : ::qlx::fuzz::Fail(#cond, __FILE__, __LINE__))

// Runs f. The only exception allowed out of it is a qlx::Error whose text is
// one of `allowed` (an engine text the input can legitimately provoke); it
// is reported through the return value. Anything else, an AssertionError (a
// broken invariant) included, aborts the run so the fuzzer keeps the input.
template <class F>
const char* Guarded(F&& f, std::initializer_list<const char*> allowed) {
  try {
    f();
    return nullptr;
  } catch (const qlx::AssertionError& e) {
    std::fprintf(stderr, "internal error escaped: %s\n", e.what());
  } catch (const qlx::Error& e) {
    for (const char* text : allowed)
      if (std::strcmp(e.what(), text) == 0) return text;
    std::fprintf(stderr, "unexpected qlx::Error: %s\n", e.what());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "foreign exception escaped: %s\n", e.what());
  } catch (...) {
    std::fprintf(stderr, "unknown exception escaped\n");
  }
  std::abort();
}

// The two readings of the raw input as text.
inline std::u16string AsLatin1(const std::uint8_t* data, std::size_t size) {
  return std::u16string(data, data + size);
}
inline std::u16string AsUtf16Units(const std::uint8_t* data, std::size_t size) {
  std::u16string text(size / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i)
    text[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  return text;
}

}  // namespace qlx::fuzz
