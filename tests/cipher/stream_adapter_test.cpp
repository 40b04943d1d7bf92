#include "cipher/stream_adapter.h"

#include <gtest/gtest.h>

#include "base/errors.h"
#include "cipher/blowfish.h"
#include "cipher/chaining.h"
#include "cipher/random.h"
#include "tests/cipher/engine_doubles.h"

namespace qlx::cipher {
namespace {

using testing::Bytes;
using testing::Chunking;

constexpr Chunking kChunkings[] = {Chunking::Whole, Chunking::ByteByByte, Chunking::Odd};

class AdapterTest : public ::testing::Test {
 protected:
  std::shared_ptr<IStreamCipher> adapter =
      testing::BoundAdapter(std::make_shared<TBlowFish>(), std::make_shared<TCBC>());
  std::unique_ptr<TSymetricKey> key = testing::BlowfishKey(*adapter, testing::PatternBytes(16, 7));
};

TEST_F(AdapterTest, LayoutAndChunkingForEveryLength) {
  for (std::size_t n = 0; n <= 130; ++n) {
    const Bytes plain = testing::PatternBytes(n, static_cast<std::uint32_t>(n));
    const std::uint64_t seed = 0x1234567800000000ull + n;
    Bytes reference;
    for (Chunking c : kChunkings) {
      SCOPED_TRACE(::testing::Message() << "n=" << n << " " << testing::ChunkingName(c));
      TRandomStream::Instance().SetSeed(seed);
      const Bytes ct = testing::EncryptWith(*adapter, *key, plain, c);
      ASSERT_EQ(ct.size(), n == 0 ? 0 : n + 8);
      if (n > 0) {
        // The header is the nonce drawn from the shared random source.
        const Bytes iv(ct.begin(), ct.begin() + 8);
        EXPECT_EQ(iv, testing::LittleEndian(seed));
      }
      if (c == Chunking::Whole)
        reference = ct;
      else
        EXPECT_EQ(ct, reference);
      for (Chunking d : kChunkings)
        EXPECT_EQ(testing::DecryptWith(*adapter, *key, ct, d), plain) << "decrypt " << testing::ChunkingName(d);
    }
  }
}

TEST_F(AdapterTest, CiphertextOfAtMostOneBlockDecryptsToNothing) {
  for (std::size_t n = 0; n <= 8; ++n) {
    const Bytes ct = testing::PatternBytes(n, 99);
    for (Chunking c : kChunkings)
      EXPECT_TRUE(testing::DecryptWith(*adapter, *key, ct, c).empty()) << n;
  }
}

TEST_F(AdapterTest, EmptyEncryptCallsWriteNothing) {
  MemoryStream out;
  auto enc = adapter->Start_Encrypt(key.get(), &out);
  MemoryStream empty;
  enc->Encrypt(empty);
  enc->Encrypt(empty);
  enc->End_Encrypt();
  EXPECT_EQ(out.Size(), 0);
}

TEST_F(AdapterTest, BodyDependsOnTheIV) {
  const Bytes plain = testing::PatternBytes(21);
  TRandomStream::Instance().SetSeed(1);
  const Bytes a = testing::EncryptWith(*adapter, *key, plain, Chunking::Whole);
  TRandomStream::Instance().SetSeed(2);
  const Bytes b = testing::EncryptWith(*adapter, *key, plain, Chunking::Whole);
  ASSERT_EQ(a.size(), b.size());
  // Every block of the body differs, not just the header.
  for (std::size_t off = 8; off < a.size(); off += 8) {
    const std::size_t len = std::min<std::size_t>(8, a.size() - off);
    EXPECT_NE(Bytes(a.begin() + off, a.begin() + off + len), Bytes(b.begin() + off, b.begin() + off + len)) << off;
  }
}

TEST_F(AdapterTest, OneEncryptorRunsSeveralMessagesEachWithFreshIV) {
  // A short message switches the run to CFB 8-bit; the next must not stay in it.
  const std::size_t lengths[] = {5, 20, 3, 16, 0, 9};
  MemoryStream out;
  auto enc = adapter->Start_Encrypt(key.get(), &out);
  std::vector<Bytes> expected;
  {
    TRandomStream::Instance().SetSeed(77);
    for (std::size_t n : lengths)
      expected.push_back(testing::EncryptWith(*adapter, *key, testing::PatternBytes(n, static_cast<std::uint32_t>(n)),
                                              Chunking::Whole));
  }
  TRandomStream::Instance().SetSeed(77);
  std::int64_t start = 0;
  for (std::size_t i = 0; i < std::size(lengths); ++i) {
    const Bytes plain = testing::PatternBytes(lengths[i], static_cast<std::uint32_t>(lengths[i]));
    MemoryStream piece(plain.data(), plain.size());
    enc->Encrypt(piece);
    enc->End_Encrypt();
    const Bytes all = out.Bytes();
    const Bytes message(all.begin() + start, all.end());
    start = out.Size();
    EXPECT_EQ(message, expected[i]) << "message " << i;
    EXPECT_EQ(testing::DecryptWith(*adapter, *key, message, Chunking::Whole), plain) << "message " << i;
  }
  // Two IV headers of consecutive messages differ (fresh nonce each).
  EXPECT_NE(Bytes(expected[0].begin(), expected[0].begin() + 8), Bytes(expected[1].begin(), expected[1].begin() + 8));
}

TEST_F(AdapterTest, OneDecryptorRunsSeveralMessages) {
  const std::size_t lengths[] = {4, 17, 8, 1, 33};
  MemoryStream out;
  auto dec = adapter->Start_Decrypt(key.get(), &out);
  Bytes expected;
  for (std::size_t n : lengths) {
    const Bytes plain = testing::PatternBytes(n, static_cast<std::uint32_t>(n + 1));
    const Bytes ct = testing::EncryptWith(*adapter, *key, plain, Chunking::Whole);
    MemoryStream piece(ct.data(), ct.size());
    dec->Decrypt(piece);
    dec->End_Decrypt();
    expected.insert(expected.end(), plain.begin(), plain.end());
    EXPECT_EQ(out.Bytes(), expected) << n;
  }
}

TEST(AdapterCalls, ShortMessagesUseOnlyEncryptBlock) {
  auto blowfish = std::make_shared<testing::CountingBlowfish>();
  auto adapter = testing::BoundAdapter(blowfish, std::make_shared<TCBC>());
  auto key = testing::BlowfishKey(*adapter, testing::PatternBytes(16));
  for (std::size_t n = 1; n <= 7; ++n) {
    blowfish->counts = {};
    const Bytes plain = testing::PatternBytes(n);
    const Bytes ct = testing::EncryptWith(*adapter, *key, plain, Chunking::Whole);
    EXPECT_EQ(testing::DecryptWith(*adapter, *key, ct, Chunking::ByteByByte), plain);
    EXPECT_EQ(blowfish->counts.decryptBlock, 0) << n;
    EXPECT_EQ(blowfish->counts.encryptBlock, static_cast<int>(2 * n)) << n;  // one per byte, each way
  }
  // Once there is a whole block, deciphering uses the inverse cipher.
  blowfish->counts = {};
  const Bytes plain = testing::PatternBytes(8);
  testing::DecryptWith(*adapter, *key, testing::EncryptWith(*adapter, *key, plain, Chunking::Whole), Chunking::Whole);
  EXPECT_EQ(blowfish->counts.decryptBlock, 1);
}

TEST(AdapterCalls, RunsBurnTheirLinksAndCodec) {
  auto blowfish = std::make_shared<testing::CountingBlowfish>();
  auto chain = std::make_shared<testing::SpyCBC>();
  auto adapter = testing::BoundAdapter(blowfish, chain);
  auto key = testing::BlowfishKey(*adapter, testing::PatternBytes(16));
  const Bytes plain = testing::PatternBytes(29);  // three whole blocks and a tail: stealing
  {
    MemoryStream out;
    auto enc = adapter->Start_Encrypt(key.get(), &out);
    MemoryStream piece(plain.data(), plain.size());
    enc->Encrypt(piece);
    EXPECT_EQ(chain->counts.linkBurn, 0);
  }
  // Dropped mid-message: the link is burnt, and so is the block codec.
  EXPECT_EQ(chain->counts.linkBurn, 1);
  EXPECT_EQ(blowfish->counts.codecBurn, 1);

  chain->counts = {};
  testing::EncryptWith(*adapter, *key, plain, Chunking::Whole);
  EXPECT_EQ(chain->counts.linkBurn, 2);  // the stealing copy and the run's own link
}

TEST(AdapterCalls, OtherBlockLengthsRoundTrip) {
  // 4-byte blocks carry the rest of the 8-byte nonce as salt; 16-byte
  // blocks extend the 8-byte header with zeros.
  for (std::int32_t b : {4, 16}) {
    auto adapter = testing::BoundAdapter(std::make_shared<testing::ToyBlockCipher>(b), std::make_shared<TCBC>());
    auto key = testing::BlowfishKey(*adapter, testing::PatternBytes(5));
    for (std::size_t n = 0; n <= 70; ++n) {
      const Bytes plain = testing::PatternBytes(n, static_cast<std::uint32_t>(n));
      TRandomStream::Instance().SetSeed(n);
      const Bytes whole = testing::EncryptWith(*adapter, *key, plain, Chunking::Whole);
      TRandomStream::Instance().SetSeed(n);
      EXPECT_EQ(testing::EncryptWith(*adapter, *key, plain, Chunking::Odd), whole) << b << "/" << n;
      const std::size_t expectedSize = n == 0 ? 0 : 8 + n;
      EXPECT_EQ(whole.size(), expectedSize) << b << "/" << n;
      EXPECT_EQ(testing::DecryptWith(*adapter, *key, whole, Chunking::ByteByByte), plain) << b << "/" << n;
    }
  }
}

TEST(AdapterCalls, IVHookSeesAndMayChangeTheIV) {
  auto cipher = std::make_shared<TBlowFish>();
  auto chain = std::make_shared<TCBC>();
  testing::FixedSelector selector(cipher, chain);
  int calls = 0;
  selector.hook_ = [&](MemoryStream& iv) {
    ++calls;
    if (iv.Size() == 8) iv.Memory()[0] ^= 0xFF;
  };
  TStreamToBlock_Adapter registered;
  auto hooked = registered.MakeParameterized(&selector);
  auto plainAdapter = testing::BoundAdapter(cipher, chain);
  auto key = testing::BlowfishKey(*hooked, testing::PatternBytes(16));
  const Bytes plain = testing::PatternBytes(12);
  TRandomStream::Instance().SetSeed(5);
  const Bytes ct = testing::EncryptWith(*hooked, *key, plain, Chunking::Whole);
  EXPECT_EQ(calls, 1);
  Bytes iv = testing::LittleEndian(5);
  iv[0] ^= 0xFF;
  EXPECT_EQ(Bytes(ct.begin(), ct.begin() + 8), iv);
  // The header carries the changed IV, so a run without the hook reads it back.
  EXPECT_EQ(testing::DecryptWith(*plainAdapter, *key, ct, Chunking::Whole), plain);
}

TEST(AdapterCalls, OutputWriteFailureReachesTheCaller) {
  class Refusing final : public Stream {
   public:
    std::int64_t Read(void*, std::int64_t) override { return 0; }
    std::int64_t Write(const void*, std::int64_t) override { return 0; }
    std::int64_t Seek(std::int64_t, SeekOrigin) override { return 0; }
    std::int64_t Size() const override { return 0; }
    void SetSize(std::int64_t) override {}
  } refusing;
  auto adapter = testing::BoundAdapter(std::make_shared<TBlowFish>(), std::make_shared<TCBC>());
  auto key = testing::BlowfishKey(*adapter, testing::PatternBytes(16));
  auto enc = adapter->Start_Encrypt(key.get(), &refusing);
  MemoryStream piece(testing::PatternBytes(3).data(), 3);
  try {
    enc->Encrypt(piece);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "Stream write error");
  }
}

TEST(AdapterSurface, UnboundAndBound) {
  TStreamToBlock_Adapter registered;
  EXPECT_EQ(registered.ProgId(), u"native.StreamToBlock");
  EXPECT_EQ(registered.Features().Bits(), 10369u);
  EXPECT_EQ(registered.DisplayName(), u"Block mode");
  EXPECT_EQ(registered.SeedByteSize(), -1);
  EXPECT_EQ(registered.ControlObject(), static_cast<IInterface*>(static_cast<IStreamCipherEx2*>(&registered)));
  MemoryStream seed(testing::PatternBytes(16).data(), 16);
  EXPECT_EQ(registered.GenerateKey(seed), nullptr);
  EXPECT_EQ(registered.LoadKeyFromStream(&seed), nullptr);

  // A selector that offers neither algorithm binds nothing.
  testing::FixedSelector nothing(nullptr, nullptr);
  EXPECT_EQ(registered.MakeParameterized(&nothing), nullptr);
  EXPECT_EQ(registered.MakeParameterized(nullptr), nullptr);

  auto blowfish = std::make_shared<TBlowFish>();
  testing::FixedSelector selector(blowfish, std::make_shared<TCBC>());
  auto bound = registered.MakeParameterized(&selector);
  ASSERT_NE(bound, nullptr);
  EXPECT_EQ(registered.DisplayName(), u"Block mode");  // the registered one stays unbound
  EXPECT_EQ(bound->DisplayName(), u"Blowfish");
  EXPECT_EQ(bound->SeedByteSize(), 8);
  // The seed-size range lives on the block cipher's object.
  auto* control = dynamic_cast<IControlObject*>(bound.get());
  ASSERT_NE(control, nullptr);
  EXPECT_EQ(control->ControlObject(), blowfish->ControlObject());
  EXPECT_EQ(bound->MakeParameterized(&selector), nullptr);  // already bound

  auto key = bound->GenerateKey(seed);
  ASSERT_NE(key, nullptr);
  MemoryStream saved;
  key->SaveToStream(saved);
  saved.SetPosition(0);
  EXPECT_NE(bound->LoadKeyFromStream(&saved), nullptr);
  EXPECT_EQ(bound->LoadKeyFromStream(nullptr), nullptr);
}

TEST(AdapterSurface, GivenIVStartsAreRefused) {
  TStreamToBlock_Adapter registered;
  auto bound = std::dynamic_pointer_cast<IStreamCipherEx2>(
      testing::BoundAdapter(std::make_shared<TBlowFish>(), std::make_shared<TCBC>()));
  ASSERT_NE(bound, nullptr);
  auto key = testing::BlowfishKey(*bound, testing::PatternBytes(16));
  MemoryStream out, iv(8);
  struct Case {
    IStreamCipherEx2* cipher;
    bool encrypt;
    const char* text;
  } cases[] = {
      {bound.get(), true, "Cipher Blowfish does not support OpenSSL Compatibility mode."},
      {bound.get(), false, "Cipher Blowfish does not support OpenSSL Compatibility mode."},
      {&registered, true, "Cipher (no block cipher) does not support OpenSSL Compatibility mode."},
      {&registered, false, "Cipher (no block cipher) does not support OpenSSL Compatibility mode."},
  };
  for (const Case& c : cases) {
    try {
      if (c.encrypt)
        c.cipher->Start_Encrypt_WithIV(key.get(), &out, iv);
      else
        c.cipher->Start_Decrypt_WithIV(key.get(), &out, iv);
      ADD_FAILURE() << "no error for " << c.text;
    } catch (const Error& e) {
      EXPECT_STREQ(e.what(), c.text);
    }
  }
  // Starting a run without a block cipher is refused rather than crashing.
  EXPECT_THROW(registered.Start_Encrypt(key.get(), &out), Error);
  EXPECT_THROW(registered.Start_Decrypt(key.get(), &out), Error);
}

TEST(DesalinationStream, SwallowsTheSaltThenPassesOn) {
  MemoryStream fresh;
  TDesalinationWriteStream salty(&fresh, 5);
  const Bytes data = testing::PatternBytes(9);
  EXPECT_EQ(salty.Write(data.data(), 3), 3);
  EXPECT_EQ(fresh.Size(), 0);
  EXPECT_EQ(salty.Write(data.data() + 3, 6), 6);
  EXPECT_EQ(fresh.Bytes(), Bytes(data.begin() + 5, data.end()));
  EXPECT_EQ(salty.SaltVolume(), 0);
  std::uint8_t b;
  EXPECT_EQ(salty.Read(&b, 1), 0);
  EXPECT_EQ(salty.Size(), 0);
  EXPECT_EQ(salty.Seek(1, SeekOrigin::Begin), 1);  // forwarded
  EXPECT_EQ(fresh.CurrentPosition(), 1);
}

}  // namespace
}  // namespace qlx::cipher
