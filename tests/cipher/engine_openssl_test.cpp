// Differential tests of the stream adapter and the codec against the
// OpenSSL-based reference (native only).
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "cipher/blowfish.h"
#include "cipher/chaining.h"
#include "cipher/random.h"
#include "tests/cipher/engine_doubles.h"
#include "tests/cipher/engine_kat.h"
#include "tests/cipher/engine_reference.h"

namespace qlx::cipher {
namespace {

using testing::Bytes;
namespace ref = reference;

Bytes RandomBytes(std::mt19937& g, std::size_t n) {
  Bytes b(n);
  for (auto& x : b) x = static_cast<std::uint8_t>(g());
  return b;
}

class Differential : public ::testing::Test {
 protected:
  std::shared_ptr<IStreamCipher> adapter =
      testing::BoundAdapter(std::make_shared<TBlowFish>(), std::make_shared<TCBC>());
};

TEST_F(Differential, AdapterMatchesTheReferenceForEveryLength) {
  std::mt19937 g(20240601);
  for (int round = 0; round < 4; ++round) {
    for (std::size_t n = 0; n <= 100; ++n) {
      const Bytes keyBytes = RandomBytes(g, 1 + g() % 56);
      const Bytes plain = RandomBytes(g, n);
      const std::uint64_t seed = (static_cast<std::uint64_t>(g()) << 32) | g();
      auto key = testing::BlowfishKey(*adapter, keyBytes);
      TRandomStream::Instance().SetSeed(seed);
      const Bytes ours = testing::EncryptWith(*adapter, *key, plain, testing::Chunking::Odd);
      const Bytes theirs = ref::Encrypt(keyBytes, testing::LittleEndian(seed), plain);
      ASSERT_EQ(ours, theirs) << "n=" << n << " key length " << keyBytes.size();
      EXPECT_EQ(testing::DecryptWith(*adapter, *key, theirs, testing::Chunking::ByteByByte), plain) << n;
      EXPECT_EQ(ref::Decrypt(keyBytes, ours), plain) << n;
    }
  }
}

TEST_F(Differential, CommonStealingFormIsNotTheStoredLayout) {
  std::mt19937 g(7);
  const Bytes keyBytes = RandomBytes(g, 16);
  auto key = testing::BlowfishKey(*adapter, keyBytes);
  for (std::size_t n = 9; n <= 60; ++n) {
    const Bytes plain = RandomBytes(g, n);
    const Bytes iv = RandomBytes(g, 8);
    const Bytes stored = ref::Encrypt(keyBytes, iv, plain);
    const Bytes common = ref::Encrypt(keyBytes, iv, plain, ref::Stealing::Common);
    if (n % 8 == 0) {
      EXPECT_EQ(stored, common) << n;  // nothing stolen, nothing differs
      continue;
    }
    const std::size_t yAt = 8 + (n / 8 - 1) * 8;
    EXPECT_EQ(Bytes(stored.begin(), stored.begin() + yAt), Bytes(common.begin(), common.begin() + yAt)) << n;
    EXPECT_NE(Bytes(stored.begin() + yAt, stored.begin() + yAt + 8), Bytes(common.begin() + yAt, common.begin() + yAt + 8))
        << n;
    // Our decryptor cannot read the common form back.
    EXPECT_NE(testing::DecryptWith(*adapter, *key, common, testing::Chunking::Whole), plain) << n;
  }
}

TEST(KnownAnswers, PinsComeFromTheReference) {
  const Bytes keyBytes = ref::Utf16LE(testing::kSystemPassword);
  ASSERT_EQ(keyBytes.size(), 16u);
  for (const auto& k : testing::kKnownAnswers) {
    const std::size_t len = std::char_traits<char8_t>::length(k.utf8);
    const Bytes utf8(reinterpret_cast<const std::uint8_t*>(k.utf8), reinterpret_cast<const std::uint8_t*>(k.utf8) + len);
    EXPECT_EQ(ref::Base64(ref::Encrypt(keyBytes, testing::LittleEndian(k.seed), utf8)), k.base64) << k.seed;
  }
}

}  // namespace
}  // namespace qlx::cipher
