#include "base/secret_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <string_view>

#include "tests/base/ledger_allocator.h"

namespace qlx {
namespace {

using test_memory::Ledger;
using test_memory::LedgerAllocator;
using Secret = BasicSecretText<LedgerAllocator<char16_t>>;

// Long enough for the heap in every standard library; short ones stay inside
// the object. Code units no pointer or length is likely to spell.
constexpr std::u16string_view kFirst = u"\u5BC6\u7801-primo-segreto-abbastanza-lungo-per-lo-heap";
constexpr std::u16string_view kSecond = u"\u53E3\u4EE4-secondo-segreto-ancora-piu-lungo-del-primo-per-crescere";
constexpr std::u16string_view kShort = u"\u5BC6\u7801\u2603z";

Secret Make(Ledger& ledger, std::u16string_view text) {
  return Secret(Secret::String(text, LedgerAllocator<char16_t>(&ledger)));
}

// The bytes of an object itself, where a short text lives.
bool ObjectHolds(const Secret& secret, std::u16string_view text) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(&secret);
  // The first unit may have been overwritten by a terminator: the rest still
  // gives the secret away.
  return Ledger::Holds(bytes, sizeof secret, text.substr(1));
}

TEST(SecretText, AnOverwrittenSecretLeavesNoTraceInAnyBuffer) {
  Ledger ledger;
  {
    Secret secret = Make(ledger, kFirst);
    // Longer: the text moves to a larger buffer, and the old one is given back.
    secret = Make(ledger, kSecond);
    EXPECT_FALSE(ledger.AnyLiveBlockHolds(kFirst));
    // Shorter, by copy: written into the buffer the longer one filled.
    const Secret shorter = Make(ledger, kShort);
    secret = shorter;
    EXPECT_EQ(secret, kShort);
    // Past the short text and its terminator, the longer one would still lie.
    EXPECT_FALSE(ledger.AnyLiveBlockHolds(kSecond.substr(kShort.size() + 1)));
    EXPECT_FALSE(ledger.AnyLiveBlockHolds(kFirst.substr(kShort.size() + 1)));
  }
  EXPECT_TRUE(ledger.live.empty());
  EXPECT_GT(ledger.frees, 1);
  EXPECT_EQ(ledger.frees_not_wiped, 0);
}

TEST(SecretText, AMovedFromSecretKeepsNothing) {
  Ledger ledger;
  {
    // A heap text: the buffer changes hands, and only the new owner has it.
    Secret source = Make(ledger, kFirst);
    const Secret taken(std::move(source));
    EXPECT_TRUE(source.empty());  // NOLINT: looking at the moved-from object is the point
    EXPECT_EQ(taken, kFirst);
    EXPECT_FALSE(ObjectHolds(source, kFirst.substr(0, 8)));

    // A short text is copied out of the object, which must not keep it.
    Secret small = Make(ledger, kShort);
    ASSERT_TRUE(ObjectHolds(small, kShort));  // it does live inside the object
    const Secret moved(std::move(small));
    EXPECT_EQ(moved, kShort);
    EXPECT_FALSE(ObjectHolds(small, kShort));

    // Move assignment: the target's old text goes, the source keeps nothing.
    Secret target = Make(ledger, kSecond);
    Secret giver = Make(ledger, kShort);
    target = std::move(giver);
    EXPECT_EQ(target, kShort);
    EXPECT_FALSE(ObjectHolds(giver, kShort));
    EXPECT_FALSE(ledger.AnyLiveBlockHolds(kSecond.substr(4)));
  }
  EXPECT_TRUE(ledger.live.empty());
  EXPECT_EQ(ledger.frees_not_wiped, 0);
}

TEST(SecretText, AStringHandedOverIsTakenWithoutACopyLeftBehind) {
  Ledger ledger;
  {
    Secret::String text(kFirst, LedgerAllocator<char16_t>(&ledger));
    const Secret secret(std::move(text));
    EXPECT_EQ(ledger.live.size(), 1u);  // the one buffer, now the secret's
    EXPECT_EQ(secret, kFirst);

    Secret::String small(kShort, LedgerAllocator<char16_t>(&ledger));
    const Secret short_secret(std::move(small));
    const auto* bytes = reinterpret_cast<const unsigned char*>(&small);
    EXPECT_FALSE(Ledger::Holds(bytes, sizeof small, kShort.substr(1)));
  }
  EXPECT_EQ(ledger.frees_not_wiped, 0);
}

TEST(SecretText, ComparesAndReadsAsTheTextItHolds) {
  const SecretText secret(u"pa\"ss word");
  EXPECT_EQ(secret, u"pa\"ss word");
  EXPECT_EQ(secret, std::u16string(u"pa\"ss word"));
  EXPECT_FALSE(secret == u"pa\"ss");
  EXPECT_EQ(secret, SecretText(u"pa\"ss word"));
  const std::u16string& read = secret;
  EXPECT_EQ(read.size(), 10u);
  SecretText cleared = secret;
  cleared.clear();
  EXPECT_TRUE(cleared.empty());
  EXPECT_EQ(secret.size(), 10u);  // a copy is its own
}

}  // namespace
}  // namespace qlx
