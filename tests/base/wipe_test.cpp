#include "base/wipe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <vector>

namespace qlx {
namespace {

// Remembers the one block it handed out, so that a test can look at the
// whole buffer of a text, past its length, and at what is freed.
struct Arena {
  unsigned char* block = nullptr;
  std::size_t bytes = 0;
  int frees = 0;
  bool freed_all_zero = false;

  bool AllZero() const { return std::all_of(block, block + bytes, [](unsigned char b) { return b == 0; }); }
};

template <class T>
struct WatchingAllocator {
  using value_type = T;
  Arena* arena;

  explicit WatchingAllocator(Arena* a) : arena(a) {}
  template <class U>
  WatchingAllocator(const WatchingAllocator<U>& other) : arena(other.arena) {}

  T* allocate(std::size_t n) {
    auto* p = static_cast<unsigned char*>(::operator new(n * sizeof(T)));
    arena->block = p;
    arena->bytes = n * sizeof(T);
    return reinterpret_cast<T*>(p);
  }
  void deallocate(T* p, std::size_t n) {
    if (reinterpret_cast<unsigned char*>(p) == arena->block) {
      arena->freed_all_zero = arena->AllZero();
      ++arena->frees;
      arena->block = nullptr;
    }
    ::operator delete(p, n * sizeof(T));
  }
  template <class U>
  bool operator==(const WatchingAllocator<U>& other) const {
    return arena == other.arena;
  }
};

using Text = std::basic_string<char16_t, std::char_traits<char16_t>, WatchingAllocator<char16_t>>;
using Narrow = std::basic_string<char, std::char_traits<char>, WatchingAllocator<char>>;
using Buffer = std::vector<std::uint8_t, WatchingAllocator<std::uint8_t>>;

// A secret shortened in place still lies in the buffer past the new end;
// the wipe must reach it.
TEST(SecureWipe, TextIsWipedOverItsWholeCapacity) {
  Arena arena;
  Text secret{WatchingAllocator<char16_t>(&arena)};
  secret.reserve(64);
  secret = u"correct horse battery staple, and then some";
  secret.resize(3);
  const std::size_t capacity = secret.capacity();
  ASSERT_NE(arena.block, nullptr);
  ASSERT_FALSE(arena.AllZero());

  SecureWipe(secret);
  EXPECT_TRUE(secret.empty());
  EXPECT_EQ(secret.capacity(), capacity);  // wiped in place, not moved elsewhere
  EXPECT_TRUE(arena.AllZero());
}

TEST(SecureWipe, NarrowTextAndBytesAreWipedOverTheirWholeCapacity) {
  Arena narrow_arena;
  Narrow narrow{WatchingAllocator<char>(&narrow_arena)};
  narrow.reserve(80);
  narrow = "p\xC3\xA4ss w\xC3\xB6rd in UTF-8, long enough to need the heap";
  narrow = "short";  // a shorter secret written over a longer one
  SecureWipe(narrow);
  EXPECT_TRUE(narrow.empty());
  EXPECT_TRUE(narrow_arena.AllZero());

  Arena byte_arena;
  Buffer bytes{WatchingAllocator<std::uint8_t>(&byte_arena)};
  bytes.reserve(48);
  bytes.assign(40, 0xA5);
  bytes.resize(5);
  SecureWipe(bytes);
  EXPECT_TRUE(bytes.empty());
  EXPECT_TRUE(byte_arena.AllZero());
}

TEST(SecureWipe, WipedHolderFreesOnlyZeros) {
  Arena arena;
  {
    Wiped<Text> held{Text(u"a password long enough to live on the heap", WatchingAllocator<char16_t>(&arena))};
    held->resize(4);
  }
  EXPECT_EQ(arena.frees, 1);
  EXPECT_TRUE(arena.freed_all_zero);
}

TEST(SecureWipe, RawRangeIsWipedExactly) {
  std::uint8_t bytes[16];
  std::fill(std::begin(bytes), std::end(bytes), 0xAA);
  SecureWipe(bytes + 4, 8);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(bytes[i], i >= 4 && i < 12 ? 0 : 0xAA) << i;
  SecureWipe(nullptr, 8);  // nothing to wipe: no fault
  SecureWipe(bytes, 0);
  EXPECT_EQ(bytes[0], 0xAA);
}

}  // namespace
}  // namespace qlx
