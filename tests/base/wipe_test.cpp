#include "base/wipe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "tests/base/ledger_allocator.h"

namespace qlx {
namespace {

using test_memory::Ledger;
using test_memory::LedgerAllocator;

using Text = std::basic_string<char16_t, std::char_traits<char16_t>, LedgerAllocator<char16_t>>;
using Narrow = std::basic_string<char, std::char_traits<char>, LedgerAllocator<char>>;
using Buffer = std::vector<std::uint8_t, LedgerAllocator<std::uint8_t>>;

// A secret shortened in place still lies in the buffer past the new end;
// the wipe must reach it.
TEST(SecureWipe, TextIsWipedOverItsWholeCapacity) {
  Ledger ledger;
  Text secret{LedgerAllocator<char16_t>(&ledger)};
  secret.reserve(64);
  secret = u"correct horse battery staple, and then some";
  secret.resize(3);
  const std::size_t capacity = secret.capacity();
  ASSERT_EQ(ledger.live.size(), 1u);
  ASSERT_TRUE(ledger.AnyLiveBlockHolds(u"horse battery"));

  SecureWipe(secret);
  EXPECT_TRUE(secret.empty());
  EXPECT_EQ(secret.capacity(), capacity);  // wiped in place, not moved elsewhere
  EXPECT_EQ(ledger.live.size(), 1u);
  EXPECT_TRUE(ledger.LiveBlocksAllZero());
}

TEST(SecureWipe, NarrowTextAndBytesAreWipedOverTheirWholeCapacity) {
  Ledger narrow_ledger;
  Narrow narrow{LedgerAllocator<char>(&narrow_ledger)};
  narrow.reserve(80);
  narrow = "p\xC3\xA4ss w\xC3\xB6rd in UTF-8, long enough to need the heap";
  narrow = "short";  // a shorter secret written over a longer one
  SecureWipe(narrow);
  EXPECT_TRUE(narrow.empty());
  ASSERT_FALSE(narrow_ledger.live.empty());
  EXPECT_TRUE(narrow_ledger.LiveBlocksAllZero());

  Ledger byte_ledger;
  Buffer bytes{LedgerAllocator<std::uint8_t>(&byte_ledger)};
  bytes.reserve(48);
  bytes.assign(40, 0xA5);
  bytes.resize(5);
  SecureWipe(bytes);
  EXPECT_TRUE(bytes.empty());
  ASSERT_FALSE(byte_ledger.live.empty());
  EXPECT_TRUE(byte_ledger.LiveBlocksAllZero());
}

TEST(SecureWipe, WipedHolderFreesOnlyZeros) {
  Ledger ledger;
  {
    Wiped<Text> held{Text(u"a password long enough to live on the heap", LedgerAllocator<char16_t>(&ledger))};
    held->resize(4);
  }
  EXPECT_EQ(ledger.frees, 1);
  EXPECT_EQ(ledger.frees_not_wiped, 0);
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
