#include "base/library_failure.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <type_traits>

#include "base/errors.h"

namespace qlx {
namespace {

std::string Format(std::size_t size, const char* format, ...) {
  std::string out(size + 8, '#');  // room to see a write past SIZE
  std::va_list args;
  va_start(args, format);
  const std::size_t length = FormatLibraryText(out.data(), size, format, args);
  va_end(args);
  EXPECT_EQ(length, std::strlen(out.c_str())) << "the returned length must be the text's";
  EXPECT_LT(length, size);
  EXPECT_EQ(out.substr(size), std::string(8, '#')) << "written past the buffer";
  return out.c_str();
}

LibraryFailure Failure(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  LibraryFailure failure(format, args);
  va_end(args);
  return failure;
}

TEST(FormatLibraryText, TheRuntimesOwnTextsComeOutAsItsFormatterWrites) {
  EXPECT_EQ(Format(256, "vector::_M_range_check: __n (which is %zu) >= this->size() (which is %zu)", std::size_t{7},
                   std::size_t{0}),
            "vector::_M_range_check: __n (which is 7) >= this->size() (which is 0)");
  EXPECT_EQ(Format(256, "%s: __pos (which is %zu) > this->size() (which is %zu)", "basic_string::substr",
                   std::size_t{12}, std::size_t{3}),
            "basic_string::substr: __pos (which is 12) > this->size() (which is 3)");
  EXPECT_EQ(Format(64, "%zu", std::numeric_limits<std::size_t>::max()),
            std::to_string(std::numeric_limits<std::size_t>::max()));
  EXPECT_EQ(Format(64, "100%% of %s", "it"), "100% of it");
  EXPECT_EQ(Format(64, "[%s]", static_cast<const char*>(nullptr)), "[(null)]");
}

TEST(FormatLibraryText, UnknownConversionsAreCopiedAndTakeNoArgument) {
  // Were %d or %lu to consume an argument, %s would read the wrong one.
  EXPECT_EQ(Format(64, "%d %lu %s", "text"), "%d %lu text");
  EXPECT_EQ(Format(64, "%z%s", "x"), "%zx");
  EXPECT_EQ(Format(64, "ends in %"), "ends in %");
  EXPECT_EQ(Format(64, nullptr), "");
}

TEST(FormatLibraryText, CutsWhatDoesNotFitAndAlwaysEndsTheText) {
  EXPECT_EQ(Format(1, "anything %zu", std::size_t{1}), "");
  EXPECT_EQ(Format(5, "%s", "abcdefgh"), "abcd");
  EXPECT_EQ(Format(5, "ab%zu", std::size_t{123456}), "ab12");  // digits kept from the front
  EXPECT_EQ(Format(4, "abc"), "abc");
}

TEST(LibraryFailure, HoldsItsTextInPlace) {
  static_assert(std::is_nothrow_copy_constructible_v<LibraryFailure>);
  static_assert(std::is_base_of_v<std::exception, LibraryFailure>);

  EXPECT_STREQ(LibraryFailure("vector::reserve").what(), "vector::reserve");
  EXPECT_STREQ(LibraryFailure(nullptr).what(), "");
  EXPECT_STREQ(Failure("array::at: __n (which is %zu) >= _Nm (which is %zu)", std::size_t{9}, std::size_t{4}).what(),
               "array::at: __n (which is 9) >= _Nm (which is 4)");

  const std::string long_text(1000, 'x');
  LibraryFailure cut(long_text.c_str());
  EXPECT_EQ(std::string(cut.what()), long_text.substr(0, LibraryFailure::kCapacity - 1));
}

TEST(Error, CarriesItsTextVerbatimAndCopiesWithoutThrowing) {
  static_assert(std::is_nothrow_copy_constructible_v<Error>);
  static_assert(std::is_nothrow_copy_assignable_v<Error>);
  static_assert(std::is_base_of_v<std::exception, AssertionError>);

  const std::string text = "Failed to set data for 'USER'\n  (two lines, \"quoted\")";
  try {
    throw AssertionError(text);
  } catch (const std::exception& e) {
    EXPECT_EQ(e.what(), text);
    EXPECT_NE(dynamic_cast<const Error*>(&e), nullptr);
  }

  Error a("first");
  Error b("second");
  b = a;
  EXPECT_STREQ(b.what(), "first");
  {
    Error scoped("gone soon");
    a = scoped;
  }
  EXPECT_STREQ(a.what(), "gone soon");
}

}  // namespace
}  // namespace qlx
