#include "cipher/stream.h"

#include <gtest/gtest.h>

#include "base/errors.h"
#include "cipher/random.h"
#include "tests/cipher/engine_doubles.h"

namespace qlx::cipher {
namespace {

using testing::Bytes;

TEST(MemoryStream, GrowthKeepsEveryByteWritten) {
  MemoryStream s;
  Bytes expected;
  // Many small writes force several reallocations.
  for (std::uint32_t i = 0; i < 300; ++i) {
    const Bytes part = testing::PatternBytes(i % 17 + 1, i);
    s.WriteBuffer(part.data(), static_cast<std::int64_t>(part.size()));
    expected.insert(expected.end(), part.begin(), part.end());
  }
  EXPECT_EQ(s.Bytes(), expected);
  EXPECT_EQ(s.CurrentPosition(), s.Size());
}

TEST(MemoryStream, ShrinkWipesAndRegrowthReadsZeros) {
  const Bytes data = testing::PatternBytes(64, 3);
  MemoryStream s(data.data(), data.size());
  s.SetPosition(60);
  s.SetSize(10);
  EXPECT_EQ(s.CurrentPosition(), 10);  // position follows the size down
  EXPECT_EQ(s.Bytes(), Bytes(data.begin(), data.begin() + 10));
  s.SetSize(64);
  const Bytes grown = s.Bytes();
  EXPECT_EQ(Bytes(grown.begin(), grown.begin() + 10), Bytes(data.begin(), data.begin() + 10));
  EXPECT_EQ(Bytes(grown.begin() + 10, grown.end()), Bytes(54, 0));
  s.SetSize(-3);
  EXPECT_EQ(s.Size(), 0);
}

TEST(MemoryStream, ReadWriteSeek) {
  MemoryStream s;
  const Bytes data = testing::PatternBytes(10);
  s.WriteBuffer(data.data(), 10);
  EXPECT_EQ(s.Seek(-4, SeekOrigin::End), 6);
  EXPECT_EQ(s.Seek(100, SeekOrigin::Current), 10);  // clamped to the size
  EXPECT_EQ(s.Seek(-100, SeekOrigin::Current), 0);
  std::uint8_t buf[16] = {};
  s.SetPosition(7);
  EXPECT_EQ(s.Read(buf, 16), 3);
  EXPECT_EQ(Bytes(buf, buf + 3), Bytes(data.begin() + 7, data.end()));
  EXPECT_EQ(s.Read(buf, 1), 0);
  // Overwriting in the middle keeps the size; writing past the end extends it.
  s.SetPosition(8);
  const std::uint8_t three[3] = {1, 2, 3};
  s.WriteBuffer(three, 3);
  EXPECT_EQ(s.Size(), 11);
  EXPECT_EQ(s.Memory()[8], 1);
  EXPECT_EQ(s.Memory()[10], 3);

  s.SetPosition(9);
  try {
    s.ReadBuffer(buf, 3);
    FAIL() << "short read not reported";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "Stream read error");
  }
}

TEST(MemoryStream, SwapExchangesContentsAndPositions) {
  const Bytes a = testing::PatternBytes(5, 1), b = testing::PatternBytes(12, 2);
  MemoryStream x(a.data(), a.size()), y(b.data(), b.size());
  x.SetPosition(2);
  y.SetPosition(9);
  x.Swap(y);
  EXPECT_EQ(x.Bytes(), b);
  EXPECT_EQ(y.Bytes(), a);
  EXPECT_EQ(x.CurrentPosition(), 9);
  EXPECT_EQ(y.CurrentPosition(), 2);
  // Each keeps working on its new storage.
  x.SetSize(40);
  y.SetSize(1);
  const Bytes grown = x.Bytes();
  EXPECT_EQ(Bytes(grown.begin(), grown.begin() + 12), b);
  EXPECT_EQ(y.Bytes(), Bytes(1, a[0]));
}

TEST(StreamHelpers, XorIntoStreamOverTheShorterLength) {
  // Lengths on both sides of the word-wise step.
  for (std::size_t dn : {0u, 1u, 7u, 8u, 9u, 16u, 23u}) {
    for (std::size_t sn : {0u, 3u, 8u, 15u, 24u}) {
      const Bytes d0 = testing::PatternBytes(dn, 10), s0 = testing::PatternBytes(sn, 20);
      MemoryStream d(d0.data(), d0.size()), s(s0.data(), s0.size());
      XorIntoStream(d, s);
      Bytes expected = d0;
      for (std::size_t i = 0; i < std::min(dn, sn); ++i) expected[i] ^= s0[i];
      EXPECT_EQ(d.Bytes(), expected) << dn << "/" << sn;
      EXPECT_EQ(s.Bytes(), s0);
    }
  }
}

TEST(StreamHelpers, WipeZeroCopyDuplicate) {
  const Bytes data = testing::PatternBytes(20);
  MemoryStream s(data.data(), data.size());
  s.SetPosition(13);
  auto dup = DuplicateMemoryStream(s);
  EXPECT_EQ(dup->Bytes(), data);
  EXPECT_EQ(dup->CurrentPosition(), 13);

  MemoryStream dest(testing::PatternBytes(50).data(), 50);
  CopyStreamContent(s, dest);
  EXPECT_EQ(dest.Bytes(), data);

  ZeroStreamContent(s);
  EXPECT_EQ(s.Size(), 20);
  EXPECT_EQ(s.Bytes(), Bytes(20, 0));

  WipeMemoryStream(*dup);
  EXPECT_EQ(dup->Size(), 0);

  Bytes raw = data;
  WipeBytes(raw.data() + 2, 5);
  EXPECT_EQ(Bytes(raw.begin() + 2, raw.begin() + 7), Bytes(5, 0));
  EXPECT_EQ(raw[7], data[7]);
}

TEST(StreamHelpers, FillStreamRandomDrawsFromTheSharedSource) {
  TRandomStream::Instance().SetSeed(0x55);
  MemoryStream s(12);
  FillStreamRandom(s);
  TRandomStream::Instance().SetSeed(0x55);
  Bytes expected(12);
  TRandomStream::Instance().Read(expected.data(), 12);
  EXPECT_EQ(s.Bytes(), expected);
}

TEST(StreamHelpers, WriteBufferReportsAShortWrite) {
  class Half final : public Stream {
   public:
    std::int64_t Read(void*, std::int64_t) override { return 0; }
    std::int64_t Write(const void*, std::int64_t count) override { return count / 2; }
    std::int64_t Seek(std::int64_t, SeekOrigin) override { return 0; }
    std::int64_t Size() const override { return 0; }
    void SetSize(std::int64_t) override {}
  } half;
  const std::uint8_t b[4] = {};
  EXPECT_NO_THROW(half.WriteBuffer(b, 0));
  try {
    half.WriteBuffer(b, 4);
    FAIL() << "short write not reported";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "Stream write error");
  }
}

}  // namespace
}  // namespace qlx::cipher
