#include "cipher/chaining.h"

#include <gtest/gtest.h>

#include "base/errors.h"
#include "cipher/blowfish.h"
#include "tests/cipher/primitives_util.h"

namespace qlx::cipher::test {
namespace {

// Blowfish underneath, with every call counted.
class CountingCodec final : public IBlockCodec {
 public:
  explicit CountingCodec(const TBlowfishKey& key) : inner_(nullptr, key) {}
  void Encrypt_Block(MemoryStream& p, MemoryStream& c) override {
    ++encrypts;
    inner_.Encrypt_Block(p, c);
  }
  void Decrypt_Block(MemoryStream& p, MemoryStream& c) override {
    ++decrypts;
    inner_.Decrypt_Block(p, c);
  }
  void Reset() override {}
  void Burn() override {}
  int encrypts = 0, decrypts = 0;

 private:
  TBlowfishBlockCodec inner_;
};

class ChainingTest : public ::testing::Test {
 protected:
  Bytes E(const Bytes& block) {
    Bytes out(8);
    key_.EncipherBlock(block.data(), out.data());
    return out;
  }
  static Bytes Xor(Bytes a, const Bytes& b) {
    for (std::size_t i = 0; i < a.size(); ++i) a[i] ^= b[i];
    return a;
  }
  static MemoryStream Block(const Bytes& b) { return MemoryStream(b.data(), b.size()); }

  // Enciphers (or deciphers) the blocks in turn through the link.
  static std::vector<Bytes> Run(TBlockChainLink& link, const std::vector<Bytes>& in, bool encrypt) {
    std::vector<Bytes> out;
    for (const Bytes& b : in) {
      MemoryStream src(b.data(), b.size()), dst(8);
      if (encrypt)
        link.Encrypt_Block(src, dst);
      else
        link.Decrypt_Block(dst, src);
      out.push_back(dst.Bytes());
    }
    return out;
  }

  const Bytes seed_ = FromHex("0123456789ABCDEFF0E1D2C3B4A59687");
  TBlowfishKey key_{seed_.data(), seed_.size()};
  std::shared_ptr<CountingCodec> codec_ = std::make_shared<CountingCodec>(key_);
  const Bytes iv_ = FromHex("1122334455667788");
  MemoryStream iv_stream_{iv_.data(), iv_.size()};
};

TEST_F(ChainingTest, ModelsDescribeThemselves) {
  TCBC cbc;
  TCFB_8Bit cfb;
  EXPECT_EQ(cbc.DisplayName(), u"CBC");
  EXPECT_EQ(cbc.ProgId(), u"native.CBC");
  EXPECT_EQ(cbc.Features().Bits(), 129u);
  EXPECT_TRUE(cbc.ChainFeatures().Empty());
  EXPECT_EQ(cbc.WikipediaReference(), u"Cipher_block_chaining#Cipher-block_chaining_.28CBC.29");
  EXPECT_NE(cbc.DefinitionURL().find(u"800-38A"), std::u16string::npos);
  EXPECT_EQ(cfb.DisplayName(), u"CFB 8-bit");
  EXPECT_EQ(cfb.ProgId(), u"native.CFB-8bit");
  EXPECT_EQ(cfb.Features().Bits(), 128u);
  EXPECT_EQ(cfb.ChainFeatures().Bits(), 10u);
  EXPECT_EQ(cfb.WikipediaReference(), u"Block_cipher_modes_of_operation#Cipher_feedback_.28CFB.29");
  EXPECT_NE(cfb.DefinitionURL().find(u"6.3"), std::u16string::npos);
}

TEST_F(ChainingTest, CbcFollowsItsFormulasAndDecryptsBack) {
  TCBC cbc;
  std::mt19937 rng(4);
  const std::vector<Bytes> plain = {RandomBytes(rng, 8), RandomBytes(rng, 8), RandomBytes(rng, 8)};
  auto enc = cbc.MakeEncryptLink(&key_, iv_stream_, codec_);
  const auto cipher = Run(*enc, plain, true);
  const Bytes c1 = E(Xor(plain[0], iv_));
  const Bytes c2 = E(Xor(plain[1], c1));
  EXPECT_EQ(cipher[0], c1);
  EXPECT_EQ(cipher[1], c2);
  EXPECT_EQ(cipher[2], E(Xor(plain[2], c2)));
  EXPECT_EQ(enc->ChainingValue().Bytes(), cipher[2]);
  EXPECT_EQ(iv_stream_.Bytes(), iv_);  // the caller's IV is copied, not shared

  auto dec = cbc.MakeDecryptLink(&key_, iv_stream_, codec_);
  EXPECT_TRUE(dynamic_cast<TCBCLink&>(*dec).HasNextCV());
  EXPECT_FALSE(dynamic_cast<TCBCLink&>(*enc).HasNextCV());
  EXPECT_EQ(Run(*dec, cipher, false), plain);
}

TEST_F(ChainingTest, CbcWorksInPlace) {
  TCBC cbc;
  const Bytes p = FromHex("0001020304050607");
  auto enc = cbc.MakeEncryptLink(&key_, iv_stream_, codec_);
  MemoryStream s = Block(p);
  enc->Encrypt_Block(s, s);
  EXPECT_EQ(s.Bytes(), E(Xor(p, iv_)));
  auto dec = cbc.MakeDecryptLink(&key_, iv_stream_, codec_);
  dec->Decrypt_Block(s, s);
  EXPECT_EQ(s.Bytes(), p);
  EXPECT_EQ(dec->ChainingValue().Bytes(), E(Xor(p, iv_)));
}

TEST_F(ChainingTest, ACloneChainsLikeTheOriginalWithoutTouchingIt) {
  TCBC cbc;
  std::mt19937 rng(9);
  const Bytes p1 = RandomBytes(rng, 8), p2 = RandomBytes(rng, 8);
  for (bool decrypt : {false, true}) {
    SCOPED_TRACE(decrypt);
    auto link = decrypt ? cbc.MakeDecryptLink(&key_, iv_stream_, codec_) : cbc.MakeEncryptLink(&key_, iv_stream_, codec_);
    Run(*link, {p1}, !decrypt);
    const Bytes cv = link->ChainingValue().Bytes();
    auto copy = link->Clone();
    EXPECT_NE(dynamic_cast<TCBCLink*>(copy.get()), nullptr);
    EXPECT_EQ(dynamic_cast<TCBCLink&>(*copy).HasNextCV(), decrypt);
    const auto from_copy = Run(*copy, {p2}, !decrypt);
    EXPECT_EQ(link->ChainingValue().Bytes(), cv);
    EXPECT_EQ(Run(*link, {p2}, !decrypt), from_copy);
  }
}

TEST_F(ChainingTest, ResetAndBurn) {
  TCBC cbc;
  auto link = cbc.MakeDecryptLink(&key_, iv_stream_, codec_);
  Run(*link, {FromHex("FFFFFFFFFFFFFFFF")}, false);
  const Bytes other = FromHex("0102030405060708");
  link->Reset(Block(other));
  EXPECT_EQ(link->ChainingValue().Bytes(), other);
  link->Burn();
  EXPECT_EQ(link->ChainingValue().Size(), 0);
  // A burnt link refuses work instead of reading an empty chaining value.
  MemoryStream a(8), b(8);
  EXPECT_THROW(link->Encrypt_Block(a, b), qlx::AssertionError);

  TCFB_8Bit cfb;
  auto byte_link = cfb.MakeEncryptLink(&key_, iv_stream_, codec_);
  std::uint8_t c = 0;
  byte_link->Encrypt_8bit(0x41, c);
  byte_link->Burn();
  EXPECT_EQ(byte_link->ChainingValue().Size(), 0);
  const Bytes temp = dynamic_cast<TCFB_8BitLink&>(*byte_link).Temp().Bytes();
  EXPECT_EQ(temp, Bytes(temp.size(), 0));
  EXPECT_THROW(byte_link->Encrypt_8bit(0x41, c), qlx::AssertionError);
}

TEST_F(ChainingTest, CbcRefusesBlocksShorterThanTheChainingValue) {
  TCBC cbc;
  auto link = cbc.MakeEncryptLink(&key_, iv_stream_, codec_);
  MemoryStream short_block(5), out(8);
  EXPECT_THROW(link->Encrypt_Block(short_block, out), qlx::AssertionError);
  EXPECT_THROW(link->Decrypt_Block(out, short_block), qlx::AssertionError);
}

TEST_F(ChainingTest, Cfb8BitRoundTripsShortMessagesWithTheEncipherOnly) {
  TCFB_8Bit cfb;
  std::mt19937 rng(6);
  for (std::size_t n = 1; n <= 7; ++n) {
    SCOPED_TRACE(n);
    const Bytes plain = RandomBytes(rng, n);
    auto enc = cfb.MakeEncryptLink(&key_, iv_stream_, codec_);
    Bytes cipher(n);
    for (std::size_t i = 0; i < n; ++i) enc->Encrypt_8bit(plain[i], cipher[i]);
    // First byte: p0 XOR the first byte of E(IV); then the IV shifts left.
    EXPECT_EQ(cipher[0], plain[0] ^ E(iv_)[0]);
    Bytes reg(iv_.begin() + static_cast<std::ptrdiff_t>(n), iv_.end());
    reg.insert(reg.end(), cipher.begin(), cipher.end());
    EXPECT_EQ(enc->ChainingValue().Bytes(), reg);

    auto dec = cfb.MakeDecryptLink(&key_, iv_stream_, codec_);
    Bytes back(n);
    for (std::size_t i = 0; i < n; ++i) dec->Decrypt_8bit(back[i], cipher[i]);
    EXPECT_EQ(back, plain);
  }
  EXPECT_EQ(codec_->decrypts, 0);
  EXPECT_EQ(codec_->encrypts, 2 * (1 + 2 + 3 + 4 + 5 + 6 + 7));

  // Whole-block calls do nothing in this mode.
  auto link = cfb.MakeEncryptLink(&key_, iv_stream_, codec_);
  const Bytes p = FromHex("0102030405060708");
  MemoryStream src = Block(p), dst(8);
  link->Encrypt_Block(src, dst);
  link->Decrypt_Block(dst, src);
  EXPECT_EQ(dst.Bytes(), Bytes(8, 0));
  EXPECT_EQ(src.Bytes(), p);
  EXPECT_EQ(link->ChainingValue().Bytes(), iv_);
}

TEST_F(ChainingTest, Cfb8BitCloneKeepsTheShiftRegister) {
  TCFB_8Bit cfb;
  auto link = cfb.MakeEncryptLink(&key_, iv_stream_, codec_);
  std::uint8_t c = 0, from_copy = 0, from_link = 0;
  link->Encrypt_8bit(0x10, c);
  auto copy = link->Clone();
  EXPECT_NE(dynamic_cast<TCFB_8BitLink*>(copy.get()), nullptr);
  copy->Encrypt_8bit(0x20, from_copy);
  link->Encrypt_8bit(0x20, from_link);
  EXPECT_EQ(from_copy, from_link);
}

TEST(ChainLinkBase, BytesPassThroughUnchanged) {
  struct Plain final : TBlockChainLink {
    using TBlockChainLink::TBlockChainLink;
    std::unique_ptr<TBlockChainLink> Clone() override { return nullptr; }
    void Encrypt_Block(MemoryStream&, MemoryStream&) override {}
    void Decrypt_Block(MemoryStream&, MemoryStream&) override {}
  };
  MemoryStream iv(8);
  Plain link(nullptr, iv, nullptr);
  std::uint8_t out = 0;
  link.Encrypt_8bit(0x5A, out);
  EXPECT_EQ(out, 0x5A);
  link.Decrypt_8bit(out, 0xA5);
  EXPECT_EQ(out, 0xA5);
}

}  // namespace
}  // namespace qlx::cipher::test
