#pragma once
// Chaining modes: CBC for whole blocks, CFB with 8-bit feedback for
// messages shorter than a block. The block length B is the IV's length.
#include <cstdint>
#include <memory>
#include <string>

#include "cipher/algorithm.h"

namespace qlx::cipher {

class TCBCLink final : public TBlockChainLink {
 public:
  // A decryption link keeps the incoming ciphertext block in FNextCV.
  TCBCLink(TSymetricKey* Key, const MemoryStream& IV, std::shared_ptr<IBlockCodec> Cipher, bool ForDecryption);
  ~TCBCLink() override;

  void Burn() override;
  std::unique_ptr<TBlockChainLink> Clone() override;
  void Encrypt_Block(MemoryStream& Plaintext, MemoryStream& Ciphertext) override;
  void Decrypt_Block(MemoryStream& Plaintext, MemoryStream& Ciphertext) override;

  bool HasNextCV() const noexcept { return FNextCV != nullptr; }

 private:
  std::unique_ptr<MemoryStream> FNextCV;
};

class TCFB_8BitLink final : public TBlockChainLink {
 public:
  TCFB_8BitLink(TSymetricKey* Key, const MemoryStream& IV, std::shared_ptr<IBlockCodec> Cipher);
  ~TCFB_8BitLink() override;

  void Burn() override;
  void Reset(const MemoryStream& IV) override;
  std::unique_ptr<TBlockChainLink> Clone() override;
  // Whole blocks are not this mode's business.
  void Encrypt_Block(MemoryStream&, MemoryStream&) override {}
  void Decrypt_Block(MemoryStream&, MemoryStream&) override {}
  void Encrypt_8bit(std::uint8_t Plaintext, std::uint8_t& Ciphertext) override;
  void Decrypt_8bit(std::uint8_t& Plaintext, std::uint8_t Ciphertext) override;

  const MemoryStream& Temp() const noexcept { return FTemp; }

 private:
  std::uint8_t KeyByte();
  void ShiftIn(std::uint8_t c) noexcept;

  MemoryStream FTemp;
  std::int32_t FBlockSize_Minus1;
};

class TCBC final : public IBlockChainingModel {
 public:
  std::u16string DisplayName() const override { return u"CBC"; }
  std::u16string ProgId() const override { return u"native.CBC"; }
  TAlgorithmicFeatureSet Features() const override { return {afStar, afOpenSourceSoftware}; }
  std::u16string DefinitionURL() const override;
  std::u16string WikipediaReference() const override {
    return u"Cipher_block_chaining#Cipher-block_chaining_.28CBC.29";
  }
  std::unique_ptr<TBlockChainLink> MakeEncryptLink(TSymetricKey* Key, const MemoryStream& IV,
                                                   std::shared_ptr<IBlockCodec> Codec) override;
  std::unique_ptr<TBlockChainLink> MakeDecryptLink(TSymetricKey* Key, const MemoryStream& IV,
                                                   std::shared_ptr<IBlockCodec> Codec) override;
  TChainFeatures ChainFeatures() const override { return {}; }
};

class TCFB_8Bit final : public IBlockChainingModel {
 public:
  std::u16string DisplayName() const override { return u"CFB 8-bit"; }
  std::u16string ProgId() const override { return u"native.CFB-8bit"; }
  TAlgorithmicFeatureSet Features() const override { return {afOpenSourceSoftware}; }
  std::u16string DefinitionURL() const override;
  std::u16string WikipediaReference() const override {
    return u"Block_cipher_modes_of_operation#Cipher_feedback_.28CFB.29";
  }
  std::unique_ptr<TBlockChainLink> MakeEncryptLink(TSymetricKey* Key, const MemoryStream& IV,
                                                   std::shared_ptr<IBlockCodec> Codec) override;
  std::unique_ptr<TBlockChainLink> MakeDecryptLink(TSymetricKey* Key, const MemoryStream& IV,
                                                   std::shared_ptr<IBlockCodec> Codec) override;
  TChainFeatures ChainFeatures() const override { return {chfKeyStream, chf8bit}; }
};

}  // namespace qlx::cipher
