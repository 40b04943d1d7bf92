#pragma once
// Test doubles and small helpers shared by the engine's tests.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cipher/algorithm.h"
#include "cipher/blowfish.h"
#include "cipher/chaining.h"
#include "cipher/random.h"
#include "cipher/stream.h"
#include "cipher/stream_adapter.h"

namespace qlx::cipher::testing {

using Bytes = std::vector<std::uint8_t>;

inline Bytes StreamBytes(const MemoryStream& s) { return s.Bytes(); }

inline Bytes PatternBytes(std::size_t n, std::uint32_t salt = 0) {
  Bytes b(n);
  std::uint32_t x = 0x9E3779B9u ^ salt;
  for (std::uint8_t& v : b) {
    x = x * 1664525u + 1013904223u;
    v = static_cast<std::uint8_t>(x >> 24);
  }
  return b;
}

inline Bytes LittleEndian(std::uint64_t v) {
  Bytes b(8);
  for (int i = 0; i < 8; ++i) b[i] = static_cast<std::uint8_t>(v >> (8 * i));
  return b;
}

// Chunk plans: whole, byte by byte, and odd sizes 3, 5, 7, ...
enum class Chunking { Whole, ByteByByte, Odd };
inline const char* ChunkingName(Chunking c) {
  return c == Chunking::Whole ? "whole" : c == Chunking::ByteByByte ? "byte-by-byte" : "odd";
}
inline std::vector<std::size_t> ChunkSizes(std::size_t n, Chunking c) {
  std::vector<std::size_t> sizes;
  std::size_t next = 3;
  for (std::size_t done = 0; done < n;) {
    std::size_t k = c == Chunking::Whole ? n : c == Chunking::ByteByByte ? 1 : next;
    if (c == Chunking::Odd) next += 2;
    k = std::min(k, n - done);
    sizes.push_back(k);
    done += k;
  }
  return sizes;
}

inline std::unique_ptr<TSymetricKey> BlowfishKey(IStreamCipher& cipher, const Bytes& seed) {
  MemoryStream s(seed.data(), seed.size());
  return cipher.GenerateKey(s);
}

// Feeds data to a run in the given chunks (also empty chunks between).
template <class Run, class Feed>
void FeedChunks(Run& run, const Bytes& data, Chunking c, Feed feed) {
  std::size_t done = 0;
  for (std::size_t k : ChunkSizes(data.size(), c)) {
    MemoryStream piece(data.data() + done, k);
    piece.SetPosition(static_cast<std::int64_t>(k));  // the run must rewind it
    feed(run, piece);
    done += k;
  }
}

inline Bytes EncryptWith(IStreamCipher& cipher, TSymetricKey& key, const Bytes& plain, Chunking c) {
  MemoryStream out;
  auto enc = cipher.Start_Encrypt(&key, &out);
  FeedChunks(*enc, plain, c, [](IStreamEncryptor& e, MemoryStream& s) { e.Encrypt(s); });
  enc->End_Encrypt();
  return out.Bytes();
}

inline Bytes DecryptWith(IStreamCipher& cipher, TSymetricKey& key, const Bytes& ct, Chunking c) {
  MemoryStream out;
  auto dec = cipher.Start_Decrypt(&key, &out);
  FeedChunks(*dec, ct, c, [](IStreamDecryptor& d, MemoryStream& s) { d.Decrypt(s); });
  dec->End_Decrypt();
  return out.Bytes();
}

// Counts what a run asks of its block codec and chain links.
struct CallCounts {
  int encryptBlock = 0;
  int decryptBlock = 0;
  int codecBurn = 0;
  int linkBurn = 0;
};

class CountingCodec final : public IBlockCodec {
 public:
  CountingCodec(std::shared_ptr<IBlockCodec> inner, CallCounts* counts) : inner_(std::move(inner)), counts_(counts) {}
  void Encrypt_Block(MemoryStream& p, MemoryStream& c) override {
    ++counts_->encryptBlock;
    inner_->Encrypt_Block(p, c);
  }
  void Decrypt_Block(MemoryStream& p, MemoryStream& c) override {
    ++counts_->decryptBlock;
    inner_->Decrypt_Block(p, c);
  }
  void Reset() override { inner_->Reset(); }
  void Burn() override {
    ++counts_->codecBurn;
    inner_->Burn();
  }

 private:
  std::shared_ptr<IBlockCodec> inner_;
  CallCounts* counts_;
};

// Blowfish behind a counting block codec.
class CountingBlowfish final : public IBlockCipher, public IControlObject {
 public:
  std::u16string DisplayName() const override { return inner_->DisplayName(); }
  std::u16string ProgId() const override { return u"test.CountingBlowfish"; }
  TAlgorithmicFeatureSet Features() const override { return inner_->Features(); }
  std::u16string DefinitionURL() const override { return {}; }
  std::u16string WikipediaReference() const override { return {}; }
  std::unique_ptr<TSymetricKey> GenerateKey(Stream& Seed) override { return inner_->GenerateKey(Seed); }
  std::unique_ptr<TSymetricKey> LoadKeyFromStream(Stream& Store) override { return inner_->LoadKeyFromStream(Store); }
  std::int32_t BlockSize() const override { return inner_->BlockSize(); }
  std::int32_t KeySize() const override { return inner_->KeySize(); }
  std::int32_t SeedByteSize() const override { return inner_->SeedByteSize(); }
  std::shared_ptr<IBlockCodec> MakeBlockCodec(TSymetricKey& Key) override {
    return std::make_shared<CountingCodec>(inner_->MakeBlockCodec(Key), &counts);
  }
  std::u16string SelfTest_Key() const override { return {}; }
  std::u16string SelfTest_Plaintext() const override { return {}; }
  std::u16string SelfTest_Ciphertext() const override { return {}; }
  IInterface* ControlObject() override { return inner_->ControlObject(); }

  CallCounts counts;

 private:
  std::shared_ptr<TBlowFish> inner_ = std::make_shared<TBlowFish>();
};

// A chain link that forwards to a real one and counts its burns.
class SpyLink final : public TBlockChainLink {
 public:
  SpyLink(std::unique_ptr<TBlockChainLink> inner, TSymetricKey* key, const MemoryStream& iv,
          std::shared_ptr<IBlockCodec> codec, CallCounts* counts)
      : TBlockChainLink(key, iv, std::move(codec)), inner_(std::move(inner)), counts_(counts) {}
  void Burn() override {
    ++counts_->linkBurn;
    inner_->Burn();
    TBlockChainLink::Burn();
  }
  std::unique_ptr<TBlockChainLink> Clone() override {
    return std::make_unique<SpyLink>(inner_->Clone(), FKey, FCV, FCipher, counts_);
  }
  void Encrypt_Block(MemoryStream& p, MemoryStream& c) override { inner_->Encrypt_Block(p, c); }
  void Decrypt_Block(MemoryStream& p, MemoryStream& c) override { inner_->Decrypt_Block(p, c); }
  void Encrypt_8bit(std::uint8_t p, std::uint8_t& c) override { inner_->Encrypt_8bit(p, c); }
  void Decrypt_8bit(std::uint8_t& p, std::uint8_t c) override { inner_->Decrypt_8bit(p, c); }

 private:
  std::unique_ptr<TBlockChainLink> inner_;
  CallCounts* counts_;
};

// CBC whose links count their burns.
class SpyCBC final : public IBlockChainingModel {
 public:
  std::u16string DisplayName() const override { return u"spy CBC"; }
  std::u16string ProgId() const override { return u"test.SpyCBC"; }
  TAlgorithmicFeatureSet Features() const override { return inner_.Features(); }
  std::u16string DefinitionURL() const override { return {}; }
  std::u16string WikipediaReference() const override { return {}; }
  std::unique_ptr<TBlockChainLink> MakeEncryptLink(TSymetricKey* Key, const MemoryStream& IV,
                                                   std::shared_ptr<IBlockCodec> Codec) override {
    return std::make_unique<SpyLink>(inner_.MakeEncryptLink(Key, IV, Codec), Key, IV, Codec, &counts);
  }
  std::unique_ptr<TBlockChainLink> MakeDecryptLink(TSymetricKey* Key, const MemoryStream& IV,
                                                   std::shared_ptr<IBlockCodec> Codec) override {
    return std::make_unique<SpyLink>(inner_.MakeDecryptLink(Key, IV, Codec), Key, IV, Codec, &counts);
  }
  TChainFeatures ChainFeatures() const override { return inner_.ChainFeatures(); }

  CallCounts counts;

 private:
  TCBC inner_;
};

// A keyed byte permutation with any block length, to drive the adapter
// with blocks other than Blowfish's 8 bytes.
class ToyKey final : public TSymetricKey {
 public:
  explicit ToyKey(Bytes bytes) : bytes(std::move(bytes)) {}
  void SaveToStream(Stream& stream) override { stream.WriteBuffer(bytes.data(), static_cast<std::int64_t>(bytes.size())); }
  void Burn() override { bytes.assign(bytes.size(), 0); }
  Bytes bytes;
};

class ToyCodec final : public IBlockCodec {
 public:
  ToyCodec(const ToyKey& key, std::size_t blockLen) : key_(key), b_(blockLen) {}
  void Encrypt_Block(MemoryStream& p, MemoryStream& c) override {
    Bytes t(b_);
    for (std::size_t i = 0; i < b_; ++i) t[i] = static_cast<std::uint8_t>(Rotl(p.Memory()[i] ^ K(i)) + i);
    for (std::size_t i = 0; i < b_; ++i) c.Memory()[b_ - 1 - i] = t[i];
  }
  void Decrypt_Block(MemoryStream& p, MemoryStream& c) override {
    Bytes t(b_);
    for (std::size_t i = 0; i < b_; ++i) t[i] = c.Memory()[b_ - 1 - i];
    for (std::size_t i = 0; i < b_; ++i) p.Memory()[i] = static_cast<std::uint8_t>(Rotr(static_cast<std::uint8_t>(t[i] - i)) ^ K(i));
  }
  void Reset() override {}
  void Burn() override {}

 private:
  std::uint8_t K(std::size_t i) const { return key_.bytes[i % key_.bytes.size()]; }
  static std::uint8_t Rotl(int v) { return static_cast<std::uint8_t>(((v << 3) | ((v & 0xFF) >> 5)) & 0xFF); }
  static std::uint8_t Rotr(std::uint8_t v) { return static_cast<std::uint8_t>((v >> 3) | (v << 5)); }
  const ToyKey& key_;
  std::size_t b_;
};

class ToyBlockCipher final : public IBlockCipher {
 public:
  explicit ToyBlockCipher(std::int32_t blockBytes) : b_(blockBytes) {}
  std::u16string DisplayName() const override { return u"Toy"; }
  std::u16string ProgId() const override { return u"test.Toy"; }
  TAlgorithmicFeatureSet Features() const override { return {}; }
  std::u16string DefinitionURL() const override { return {}; }
  std::u16string WikipediaReference() const override { return {}; }
  std::unique_ptr<TSymetricKey> GenerateKey(Stream& Seed) override {
    Bytes b(static_cast<std::size_t>(Seed.Size()));
    Seed.SetPosition(0);
    Seed.ReadBuffer(b.data(), static_cast<std::int64_t>(b.size()));
    return std::make_unique<ToyKey>(std::move(b));
  }
  std::unique_ptr<TSymetricKey> LoadKeyFromStream(Stream&) override { return nullptr; }
  std::int32_t BlockSize() const override { return 8 * b_; }
  std::int32_t KeySize() const override { return 64; }
  std::int32_t SeedByteSize() const override { return 8; }
  std::shared_ptr<IBlockCodec> MakeBlockCodec(TSymetricKey& Key) override {
    return std::make_shared<ToyCodec>(dynamic_cast<ToyKey&>(Key), static_cast<std::size_t>(b_));
  }
  std::u16string SelfTest_Key() const override { return {}; }
  std::u16string SelfTest_Plaintext() const override { return {}; }
  std::u16string SelfTest_Ciphertext() const override { return {}; }

 private:
  std::int32_t b_;
};

// Offers a block cipher and chaining mode the way the codec does.
class FixedSelector final : public IBlockCipherSelectorEx2 {
 public:
  FixedSelector(std::shared_ptr<IBlockCipher> cipher, std::shared_ptr<IBlockChainingModel> chain)
      : cipher_(std::move(cipher)), chain_(std::move(chain)) {}
  std::shared_ptr<IBlockCipher> SelectedBlockCipher() override { return cipher_; }
  std::shared_ptr<IBlockChainingModel> SelectedChainMode() override { return chain_; }
  TSymetricEncryptionOptionSet SelectedAdvancedOptions() override { return {}; }
  bool SelectedIVHandler(TSetMemStreamProc& hook) override {
    if (!hook_) return false;
    hook = hook_;
    return true;
  }
  TSetMemStreamProc hook_;

 private:
  std::shared_ptr<IBlockCipher> cipher_;
  std::shared_ptr<IBlockChainingModel> chain_;
};

inline std::shared_ptr<IStreamCipher> BoundAdapter(std::shared_ptr<IBlockCipher> cipher,
                                                   std::shared_ptr<IBlockChainingModel> chain) {
  TStreamToBlock_Adapter registered;
  FixedSelector selector(std::move(cipher), std::move(chain));
  return registered.MakeParameterized(&selector);
}

}  // namespace qlx::cipher::testing
