#include "cipher/random.h"

#include <gtest/gtest.h>

#include <optional>

#include "tests/cipher/engine_doubles.h"

namespace qlx::cipher {
namespace {

using testing::Bytes;

constexpr std::uint64_t kMultiplier = 6364136223846793005ull;

Bytes ReadN(TRandomStream& r, std::int64_t n) {
  Bytes b(static_cast<std::size_t>(n));
  EXPECT_EQ(r.Read(b.data(), n), n);
  return b;
}

TEST(RandomStream, SeedZeroGivesTheKnownBytes) {
  TRandomStream r;
  r.SetSeed(0);
  const Bytes expected = {0, 0, 0, 0, 0, 0, 0, 0,  //
                          1, 0, 0, 0, 0, 0, 0, 0,  //
                          0x2E, 0x7F, 0x95, 0x4C, 0x2D, 0xF4, 0x51, 0x58};
  EXPECT_EQ(ReadN(r, 24), expected);
}

TEST(RandomStream, StateThenSteppedStateLittleEndian) {
  for (std::uint64_t s : {1ull, 0xFFFFFFFFFFFFFFFFull, 0x0123456789ABCDEFull, 0x8000000000000000ull}) {
    TRandomStream r;
    r.SetSeed(s);
    EXPECT_EQ(r.Seed(), s);
    EXPECT_EQ(ReadN(r, 8), testing::LittleEndian(s)) << s;
    const std::uint64_t next = s * kMultiplier + 1;
    EXPECT_EQ(ReadN(r, 8), testing::LittleEndian(next)) << s;
    EXPECT_EQ(r.Seed(), next * kMultiplier + 1);  // stepped once the word is used up
  }
}

TEST(RandomStream, SplitReadsEqualOneRead) {
  const std::vector<std::vector<std::int64_t>> splits = {{3, 7, 6}, {1, 1, 14}, {8, 8}, {5, 0, 11}, {15, 1}, {16}};
  TRandomStream r;
  r.SetSeed(0xDEADBEEF);
  const Bytes whole = ReadN(r, 16);
  for (const auto& split : splits) {
    r.SetSeed(0xDEADBEEF);
    Bytes joined;
    for (std::int64_t k : split) {
      const Bytes part = ReadN(r, k);
      joined.insert(joined.end(), part.begin(), part.end());
    }
    EXPECT_EQ(joined, whole);
  }
}

TEST(RandomStream, ZeroOrNegativeCountLeavesState) {
  TRandomStream r;
  r.SetSeed(42);
  std::uint8_t sentinel[4] = {0xAA, 0xAA, 0xAA, 0xAA};
  EXPECT_EQ(r.Read(sentinel, 0), 0);
  EXPECT_EQ(r.Read(sentinel, -5), 0);
  EXPECT_EQ(sentinel[0], 0xAA);
  // Also mid-word: the unread bytes are still handed out in order.
  ReadN(r, 3);
  EXPECT_EQ(r.Read(sentinel, -1), 0);
  const Bytes rest = ReadN(r, 5);
  const Bytes le = testing::LittleEndian(42);
  EXPECT_EQ(rest, Bytes(le.begin() + 3, le.end()));
}

// A seed source whose answers the test chooses. A refusing provider still
// scribbles on its out-parameter, which Randomize must not take for a seed.
class ChosenSeedSource final : public TSeedSource {
 public:
  std::optional<std::uint64_t> provider;  // nullopt: the provider refuses
  std::uint64_t counter = 0;
  int provider_calls = 0;
  int counter_calls = 0;

  bool ProviderSeed(std::uint64_t& seed) noexcept override {
    ++provider_calls;
    seed = provider.value_or(0x5C5C5C5C5C5C5C5Cull);
    return provider.has_value();
  }
  std::uint64_t TimeStampCounter() noexcept override {
    ++counter_calls;
    return counter;
  }
};

TEST(RandomStream, FirstBytesAreTheSteppedProviderSeedNeverItsOwn) {
  for (std::uint64_t p : {0ull, 1ull, 0x0123456789ABCDEFull, 0xFFFFFFFFFFFFFFFFull}) {
    SCOPED_TRACE(p);
    ChosenSeedSource source;
    source.provider = p;
    TRandomStream r(source);  // seeds itself once, at construction
    const Bytes first = ReadN(r, 8);
    EXPECT_NE(first, testing::LittleEndian(p));
    EXPECT_EQ(first, testing::LittleEndian(p * kMultiplier + 1));
    EXPECT_EQ(ReadN(r, 8), testing::LittleEndian((p * kMultiplier + 1) * kMultiplier + 1));
    EXPECT_EQ(source.provider_calls, 1);
    EXPECT_EQ(source.counter_calls, 0);  // the counter is only the fallback

    // Reseeding mid-word drops the unread bytes and steps the new seed.
    ReadN(r, 3);
    source.provider = ~p;
    r.Randomize();
    EXPECT_EQ(ReadN(r, 8), testing::LittleEndian(~p * kMultiplier + 1));
    EXPECT_EQ(source.provider_calls, 2);
  }
}

TEST(RandomStream, RefusingProviderFallsBackToTheSteppedCounter) {
  ChosenSeedSource source;
  source.counter = 0x00000123456789ABull;
  TRandomStream r(source);
  EXPECT_EQ(source.provider_calls, 1);
  EXPECT_EQ(source.counter_calls, 1);
  EXPECT_EQ(ReadN(r, 8), testing::LittleEndian(source.counter * kMultiplier + 1));
  EXPECT_EQ(ReadN(r, 8), testing::LittleEndian((source.counter * kMultiplier + 1) * kMultiplier + 1));
}

TEST(RandomStream, EachStreamTakesTheSourceItIsGivenElseThePlatformOne) {
  ChosenSeedSource outer, inner;
  outer.provider = 10;
  inner.provider = 20;
  {
    {
      TRandomStream r(inner);
      EXPECT_EQ(r.Seed(), 20 * kMultiplier + 1);
    }
    TRandomStream r(outer);
    EXPECT_EQ(r.Seed(), 10 * kMultiplier + 1);
  }
  EXPECT_EQ(outer.provider_calls, 1);
  EXPECT_EQ(inner.provider_calls, 1);
  // Back on the platform's source: it answers, or the counter does; either
  // way two streams do not start alike.
  TRandomStream a, b;
  EXPECT_EQ(outer.provider_calls + inner.provider_calls, 2);
  EXPECT_NE(ReadN(a, 8), ReadN(b, 8));
}

TEST(RandomStream, SharedInstanceAndWriteOnlySurface) {
  TRandomStream& a = TRandomStream::Instance();
  EXPECT_EQ(&a, &TRandomStream::Instance());
  {
    TRandomStream other;  // seeds itself but does not become the shared one
    EXPECT_NE(&other, &TRandomStream::Instance());
  }
  EXPECT_EQ(&a, &TRandomStream::Instance());
  std::uint8_t b[3] = {};
  EXPECT_EQ(a.Write(b, 3), 3);
  EXPECT_EQ(a.Seek(10, SeekOrigin::Begin), 0);
  EXPECT_EQ(a.Size(), 0);
  a.SetSize(100);
  EXPECT_EQ(a.Size(), 0);
}

}  // namespace
}  // namespace qlx::cipher
