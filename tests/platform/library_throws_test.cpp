// The runtime's failure reports, as the shipped program raises them: this
// test exe links the same replacements (platform/win32/library_throws.cpp).
#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <limits>
#include <new>
#include <stdexcept>
#include <string>
#include <typeinfo>
#include <vector>

#include "base/library_failure.h"

namespace {

// Keeps the optimiser from proving the failure at compile time.
template <class T>
T Opaque(T value) {
  volatile T copy = value;
  return copy;
}

template <class F>
std::string TextOfFailure(F&& f) {
  try {
    f();
  } catch (const qlx::LibraryFailure& e) {
    return e.what();
  } catch (const std::exception& e) {
    return std::string("not a LibraryFailure: ") + typeid(e).name() + ": " + e.what();
  }
  return "nothing raised";
}

TEST(LibraryThrows, IndexAndLengthFailuresCarryTheRuntimesText) {
  std::vector<int> empty;
  EXPECT_EQ(TextOfFailure([&] { (void)empty.at(Opaque<std::size_t>(3)); }),
            "vector::_M_range_check: __n (which is 3) >= this->size() (which is 0)");

  std::array<int, 4> four{};
  EXPECT_EQ(TextOfFailure([&] { (void)four.at(Opaque<std::size_t>(9)); }),
            "array::at: __n (which is 9) >= _Nm (which is 4)");

  const std::u16string text = u"abc";
  EXPECT_EQ(TextOfFailure([&] { (void)text.substr(Opaque<std::size_t>(5)); }),
            "basic_string::substr: __pos (which is 5) > this->size() (which is 3)");

  EXPECT_EQ(TextOfFailure([&] { empty.reserve(Opaque(empty.max_size() + 1)); }), "vector::reserve");

  std::string s;
  EXPECT_EQ(TextOfFailure([&] { s.resize(Opaque(s.max_size() + 1)); }), "basic_string::_M_replace_aux");
}

TEST(LibraryThrows, AreNoLongerTheStandardLogicErrors) {
  // What the replacement gives up, on purpose: nothing in the program
  // catches these by type. Were the runtime's own object linked again, this
  // would see std::out_of_range.
  std::vector<int> empty;
  EXPECT_THROW((void)empty.at(Opaque<std::size_t>(0)), std::exception);
  bool standard = false;
  try {
    (void)empty.at(Opaque<std::size_t>(0));
  } catch (const std::out_of_range&) {
    standard = true;
  } catch (...) {
  }
  EXPECT_FALSE(standard);
}

TEST(LibraryThrows, AllocationAndCastFailuresKeepTheirStandardTypes) {
  EXPECT_THROW(
      {
        const std::size_t huge = Opaque(std::numeric_limits<std::size_t>::max() / 2);
        int* p = new int[huge];
        delete[] p;
      },
      std::bad_array_new_length);
  EXPECT_THROW(std::__throw_bad_alloc(), std::bad_alloc);
  EXPECT_THROW(std::__throw_bad_cast(), std::bad_cast);
  EXPECT_THROW(std::__throw_bad_typeid(), std::bad_typeid);
  EXPECT_THROW(std::__throw_bad_exception(), std::bad_exception);
}

TEST(LibraryThrows, EveryTextKindIsRaisedWithItsText) {
  using Thrower = void (*)(const char*);
  const Thrower throwers[] = {std::__throw_logic_error,  std::__throw_domain_error,   std::__throw_invalid_argument,
                              std::__throw_length_error, std::__throw_out_of_range,   std::__throw_runtime_error,
                              std::__throw_range_error,  std::__throw_overflow_error, std::__throw_underflow_error};
  for (Thrower thrower : throwers) {
    EXPECT_EQ(TextOfFailure([&] { thrower("the text"); }), "the text");
  }
  EXPECT_EQ(TextOfFailure([] { std::__throw_out_of_range_fmt("%s at %zu%%", "stop", std::size_t{42}); }),
            "stop at 42%");
}

}  // namespace
