// The engine's counts that outgrow 32 bits: SHA-1 appends the message's
// length in bits as a 64-bit number, and 2^29 bytes are already 2^32 bits.
// A count kept in a size_t (32 bits in the shipped i686 build) would wrap
// there and give another digest, though every short vector still passed.
#include <gtest/gtest.h>

#include <string>

#include "cipher/sha1.h"
#include "tests/cipher/primitives_util.h"

namespace qlx::cipher::test {
namespace {

TEST(Sha1Width, AMessageOfMoreThan2To32BitsKeepsItsWholeLength) {
  const std::string chunk(1 << 20, 'a');
  TSHA1 hash;
  hash.Begin();
  for (int i = 0; i < 512; ++i) hash.Update(chunk.data(), chunk.size());  // 2^29 bytes
  hash.Update(chunk.data(), 3);
  hash.End();
  // sha1sum of 2^29 + 3 letters 'a'.
  EXPECT_EQ(ToHex(hash.HashOutputValue().Bytes()), "76360EA33A4000D0A803990B6D113085A40B2618");
}

}  // namespace
}  // namespace qlx::cipher::test
