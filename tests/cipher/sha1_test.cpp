#include "cipher/sha1.h"

#include <gtest/gtest.h>

#include "tests/cipher/primitives_util.h"

namespace qlx::cipher::test {
namespace {

std::string HexOf(const MemoryStream& s) { return ToHex(s.Bytes()); }

TEST(Sha1, PublishedDigests) {
  struct Row {
    std::string message;
    const char* digest;
  } rows[] = {
      {"", "DA39A3EE5E6B4B0D3255BFEF95601890AFD80709"},
      {"abc", "A9993E364706816ABA3E25717850C26C9CD0D89D"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "84983E441C3BD26EBAAE4AA1F95129E5E54670F1"},
      {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu",
       "A49B2446A02C645BF419F995B67091253A04A259"},
  };
  for (const auto& row : rows) {
    const TSha1Digest d = Sha1(row.message.data(), row.message.size());
    EXPECT_EQ(ToHex(d.data(), d.size()), row.digest) << row.message;
  }
}

TEST(Sha1, AMillionAsFedInOddChunks) {
  const std::string chunk(1000, 'a');
  TSHA1 hash;
  hash.Begin();
  const std::size_t sizes[] = {1, 63, 64, 65, 7, 129, 500, 3};
  std::size_t fed = 0;
  for (int i = 0; fed < 1000000; ++i) {
    const std::size_t n = std::min(sizes[i % 8], 1000000 - fed);
    hash.Update(chunk.data(), n);
    fed += n;
  }
  hash.End();
  EXPECT_EQ(HexOf(hash.HashOutputValue()), "34AA973CD4C4DAA4F61EEB2BDBAD27316534016F");
}

TEST(Sha1, EndStartsAFreshMessageAndBurnClearsTheDigest) {
  TSHA1 hash;
  EXPECT_EQ(hash.HashOutputValue().Size(), 0);
  hash.Update("ab", 2);
  hash.End();
  hash.Update("abc", 3);  // no Begin needed after End
  hash.End();
  EXPECT_EQ(HexOf(hash.HashOutputValue()), "A9993E364706816ABA3E25717850C26C9CD0D89D");
  hash.Update("zz", 2);
  hash.Burn();  // also drops a half-fed message
  EXPECT_EQ(hash.HashOutputValue().Size(), 0);
  hash.Update("abc", 3);
  hash.End();
  EXPECT_EQ(HexOf(hash.HashOutputValue()), "A9993E364706816ABA3E25717850C26C9CD0D89D");
}

TEST(SimpleHash, ForwardsToItsHashAndIsEmptyWithoutOne) {
  TSimpleHash none;
  none.Begin();
  none.Update("abc", 3);
  none.End();
  EXPECT_EQ(none.HashOutputValue().Size(), 0);

  TSimpleHash hasher(std::make_unique<TSHA1>());
  hasher.Begin();
  hasher.Update("a", 1);
  hasher.Update("bc", 2);
  hasher.End();
  EXPECT_EQ(HexOf(hasher.HashOutputValue()), "A9993E364706816ABA3E25717850C26C9CD0D89D");
  hasher.Burn();
  EXPECT_EQ(hasher.HashOutputValue().Size(), 0);
}

}  // namespace
}  // namespace qlx::cipher::test
