// Differential tests against OpenSSL's Blowfish and SHA-1.
#include <openssl/blowfish.h>
#include <openssl/sha.h>
#include <gtest/gtest.h>

#include <cstring>

#include "cipher/blowfish.h"
#include "cipher/sha1.h"
#include "tests/cipher/blowfish_vectors.h"
#include "tests/cipher/primitives_util.h"

namespace qlx::cipher::test {
namespace {

BF_KEY OpenSslKey(const Bytes& seed) {
  BF_KEY k;
  BF_set_key(&k, static_cast<int>(seed.size()), seed.data());
  return k;
}

Bytes OpenSslEcb(const BF_KEY& k, const Bytes& in, int direction) {
  Bytes out(8);
  BF_ecb_encrypt(in.data(), out.data(), &k, direction);
  return out;
}

TEST(BlowfishVsOpenSsl, KeyScheduleAndBlocksAgree) {
  std::mt19937 rng(2024);
  std::vector<std::size_t> lengths;
  for (std::size_t n = 1; n <= 56; ++n) lengths.push_back(n);
  for (std::size_t n : {72u, 73u, 80u, 100u, 255u}) lengths.push_back(n);
  for (std::size_t n : lengths) {
    SCOPED_TRACE(n);
    for (int round = 0; round < 3; ++round) {
      const Bytes seed = RandomBytes(rng, n);
      const BF_KEY ref = OpenSslKey(seed);
      const TBlowfishKey key(seed.data(), seed.size());
      ASSERT_EQ(std::memcmp(key.PBox().data(), ref.P, sizeof ref.P), 0);
      ASSERT_EQ(std::memcmp(key.SBox().data(), ref.S, sizeof ref.S), 0);
      for (int i = 0; i < 16; ++i) {
        const Bytes block = RandomBytes(rng, 8);
        Bytes mine(8);
        key.EncipherBlock(block.data(), mine.data());
        ASSERT_EQ(mine, OpenSslEcb(ref, block, BF_ENCRYPT));
        key.DecipherBlock(block.data(), mine.data());
        ASSERT_EQ(mine, OpenSslEcb(ref, block, BF_DECRYPT));
      }
    }
  }
}

TEST(BlowfishVsOpenSsl, PublishedRowsAndTheSelfTestAgree) {
  for (const auto& row : kBlowfishEcbRows)
    EXPECT_EQ(ToHex(OpenSslEcb(OpenSslKey(FromHex(row.key)), FromHex(row.plaintext), BF_ENCRYPT)), row.ciphertext);
  for (const auto& row : kBlowfishSetKeyRows)
    EXPECT_EQ(ToHex(OpenSslEcb(OpenSslKey(FromHex(row.key)), FromHex(kSetKeyPlaintext), BF_ENCRYPT)), row.ciphertext)
        << row.key;

  TBlowFish cipher;
  const Bytes pt = FromHex(Narrow(cipher.SelfTest_Plaintext()));
  const Bytes saved = FromHex(Narrow(cipher.SelfTest_Key()));
  const Bytes test_key(saved.begin() + 1, saved.begin() + 1 + saved[0]);
  EXPECT_EQ(ToHex(OpenSslEcb(OpenSslKey(test_key), pt, BF_ENCRYPT)), Narrow(cipher.SelfTest_Ciphertext()));
}

TEST(Sha1VsOpenSsl, EveryLengthAroundTheBlockBoundaries) {
  std::mt19937 rng(77);
  for (std::size_t n = 0; n <= 300; ++n) {
    const Bytes msg = RandomBytes(rng, n);
    unsigned char ref[SHA_DIGEST_LENGTH];
    SHA1(msg.data(), msg.size(), ref);
    const TSha1Digest mine = Sha1(msg.data(), msg.size());
    ASSERT_EQ(ToHex(mine.data(), mine.size()), ToHex(ref, sizeof ref)) << n;
  }
}

}  // namespace
}  // namespace qlx::cipher::test
