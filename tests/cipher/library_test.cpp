#include "cipher/library.h"

#include <gtest/gtest.h>

#include "base/errors.h"
#include "cipher/blowfish.h"
#include "cipher/chaining.h"
#include "cipher/codec.h"
#include "cipher/stream_adapter.h"
#include "tests/cipher/engine_doubles.h"

namespace qlx::cipher {
namespace {

// A block cipher answering to any ProgId it is given.
class NamedCipher final : public IBlockCipher {
 public:
  explicit NamedCipher(std::u16string id) : id_(std::move(id)) {}
  std::u16string DisplayName() const override { return id_; }
  std::u16string ProgId() const override { return id_; }
  TAlgorithmicFeatureSet Features() const override { return {}; }
  std::u16string DefinitionURL() const override { return {}; }
  std::u16string WikipediaReference() const override { return {}; }
  std::unique_ptr<TSymetricKey> GenerateKey(Stream&) override { return nullptr; }
  std::unique_ptr<TSymetricKey> LoadKeyFromStream(Stream&) override { return nullptr; }
  std::int32_t BlockSize() const override { return 64; }
  std::int32_t KeySize() const override { return 64; }
  std::int32_t SeedByteSize() const override { return 8; }
  std::shared_ptr<IBlockCodec> MakeBlockCodec(TSymetricKey&) override { return nullptr; }
  std::u16string SelfTest_Key() const override { return {}; }
  std::u16string SelfTest_Plaintext() const override { return {}; }
  std::u16string SelfTest_Ciphertext() const override { return {}; }

 private:
  std::u16string id_;
};

TEST(Library, BuiltInsAreFoundIgnoringCase) {
  TCryptographicLibrary lib;
  auto adapter = lib.StreamCipherIntfc(u"native.StreamToBlock");
  auto blowfish = lib.BlockCipherIntfc(u"native.Blowfish");
  auto cbc = lib.BlockChainingModelIntfc(u"native.CBC");
  ASSERT_NE(adapter, nullptr);
  ASSERT_NE(blowfish, nullptr);
  ASSERT_NE(cbc, nullptr);
  EXPECT_NE(dynamic_cast<TStreamToBlock_Adapter*>(adapter.get()), nullptr);
  EXPECT_NE(dynamic_cast<TBlowFish*>(blowfish.get()), nullptr);
  EXPECT_NE(dynamic_cast<TCBC*>(cbc.get()), nullptr);
  EXPECT_EQ(adapter->DisplayName(), u"Block mode");  // registered unbound

  EXPECT_EQ(lib.StreamCipherIntfc(u"NATIVE.STREAMTOBLOCK"), adapter);
  EXPECT_EQ(lib.BlockCipherIntfc(u"NATIVE.BLOWFISH"), blowfish);
  EXPECT_EQ(lib.BlockCipherIntfc(u"nAtIvE.bLoWfIsH"), blowfish);
  EXPECT_EQ(lib.BlockChainingModelIntfc(u"Native.cbc"), cbc);
}

TEST(Library, NearMissesGiveNone) {
  TCryptographicLibrary lib;
  for (const char16_t* id : {u"native.Blowfish ", u" native.Blowfish", u"native.Blowfis", u"native-Blowfish",
                             u"", u"native.CBC"}) {
    EXPECT_EQ(lib.BlockCipherIntfc(id), nullptr);
  }
  // Each list only knows its own kind.
  EXPECT_EQ(lib.StreamCipherIntfc(u"native.Blowfish"), nullptr);
  EXPECT_EQ(lib.BlockChainingModelIntfc(u"native.StreamToBlock"), nullptr);
  EXPECT_EQ(lib.HashIntfc(u"native.SHA-1"), nullptr);
}

TEST(Library, RegistrationReplacesTheSameProgId) {
  TCryptographicLibrary lib;
  auto original = lib.BlockCipherIntfc(u"native.Blowfish");
  auto replacement = std::make_shared<NamedCipher>(u"NATIVE.blowfish");
  lib.RegisterBlockCipher(replacement);
  EXPECT_EQ(lib.BlockCipherIntfc(u"native.Blowfish"), replacement);
  EXPECT_NE(lib.BlockCipherIntfc(u"native.Blowfish"), original);

  auto other = std::make_shared<NamedCipher>(u"test.Other");
  lib.RegisterBlockCipher(other);
  lib.RegisterBlockCipher(other);  // already there: ignored
  EXPECT_EQ(lib.BlockCipherIntfc(u"TEST.OTHER"), other);
  EXPECT_EQ(lib.BlockCipherIntfc(u"native.Blowfish"), replacement);
}

TEST(Library, LatinLettersFoldToo) {
  TCryptographicLibrary lib;
  auto cipher = std::make_shared<NamedCipher>(u"test.\u00C4rger\u0141\u0179");
  lib.RegisterBlockCipher(cipher);
  EXPECT_EQ(lib.BlockCipherIntfc(u"TEST.\u00E4RGER\u0142\u017A"), cipher);
  // Letters that only look alike are not the same.
  EXPECT_EQ(lib.BlockCipherIntfc(u"test.Arger\u0141\u0179"), nullptr);
  // x and the multiplication sign are not a case pair.
  EXPECT_FALSE(SameProgId(u"\u00D7", u"\u00F7"));
  EXPECT_TRUE(SameProgId(u"\u0178", u"\u00FF"));
}

TEST(Library, CodecIsToldWhenTheLibraryGoesAway) {
  TCodec codec;
  {
    TCryptographicLibrary lib;
    codec.SetCryptoLibrary(&lib);
    codec.SetStreamCipherId(u"native.StreamToBlock");
    codec.SetBlockCipherId(u"native.Blowfish");
    codec.SetChainModeId(u"native.CBC");
    codec.SetPassword(u"K7Rp4mzq");
    EXPECT_EQ(codec.Codec().Mode(), cmIdle);
    EXPECT_EQ(codec.CryptoLibrary(), &lib);
  }
  EXPECT_EQ(codec.CryptoLibrary(), nullptr);
  // Without a library nothing resolves, so no key can be built.
  std::u16string out;
  try {
    codec.EncryptString(u"abc", out, TEncoding::UTF8);
    FAIL() << "encrypted without a library";
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "TSimpleCodec.Begin_EncryptMemory - Wrong mode.");
  }
}

TEST(Library, LibraryOutlivesADetachedCodec) {
  TCryptographicLibrary lib;
  {
    TCodec a, b;
    a.SetCryptoLibrary(&lib);
    b.SetCryptoLibrary(&lib);
    TCryptographicLibrary other;
    b.SetCryptoLibrary(&other);  // moves b's attachment
    EXPECT_EQ(b.CryptoLibrary(), &other);
  }
  // Destroying lib now must not reach the codecs that are gone.
  EXPECT_NE(lib.StreamCipherIntfc(u"native.StreamToBlock"), nullptr);
}

}  // namespace
}  // namespace qlx::cipher
