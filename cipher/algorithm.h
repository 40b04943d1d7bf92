#pragma once
// The engine's interfaces. Algorithm objects are shared and reference
// counted (std::shared_ptr); keys and chaining links have one owner
// (std::unique_ptr) who burns them before release. Every interface derives
// virtually from IInterface so that "does this object offer X" is a
// dynamic_cast, as the engine asks it of selectors and control objects.
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>

#include "cipher/stream.h"

namespace qlx::cipher {

class IInterface {
 public:
  virtual ~IInterface() = default;
};

enum TAlgorithmicFeature : std::uint8_t {
  afStar = 0,
  afCryptographicallyWeak = 1,
  afNotImplementedYet = 2,
  afForTestOnly = 3,
  afForRunTimeOnly = 4,
  afEncumberedByPatent = 5,
  afEncumberedByCopyRight = 6,
  afOpenSourceSoftware = 7,
  afCommercial = 8,
  afCompressor = 9,
  afConverter = 10,
  afBlockAdapter = 11,
  afDisplayNameOnKeySize = 12,
  afDoesNotNeedSalt = 13,
  afAsymetric = 14,
};

// A set over an enumeration whose members' ordinals are their bits.
template <class Enum>
class EnumSet {
 public:
  constexpr EnumSet() = default;
  constexpr EnumSet(std::initializer_list<Enum> members) {
    for (Enum m : members) bits_ |= Bit(m);
  }
  static constexpr EnumSet FromBits(std::uint32_t bits) {
    EnumSet s;
    s.bits_ = bits;
    return s;
  }
  constexpr bool Has(Enum m) const { return (bits_ & Bit(m)) != 0; }
  constexpr std::uint32_t Bits() const { return bits_; }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr EnumSet& operator|=(Enum m) {
    bits_ |= Bit(m);
    return *this;
  }
  friend constexpr bool operator==(EnumSet a, EnumSet b) { return a.bits_ == b.bits_; }

 private:
  static constexpr std::uint32_t Bit(Enum m) { return std::uint32_t{1} << static_cast<unsigned>(m); }
  std::uint32_t bits_ = 0;
};

using TAlgorithmicFeatureSet = EnumSet<TAlgorithmicFeature>;

class ICryptoGraphicAlgorithm : public virtual IInterface {
 public:
  virtual std::u16string DisplayName() const = 0;
  virtual std::u16string ProgId() const = 0;
  virtual TAlgorithmicFeatureSet Features() const = 0;
  virtual std::u16string DefinitionURL() const = 0;
  virtual std::u16string WikipediaReference() const = 0;
};

// The object that carries an algorithm's declared attributes.
class IControlObject : public virtual IInterface {
 public:
  virtual IInterface* ControlObject() = 0;
};

// The IntegerRange attribute attached to an algorithm's SeedByteSize.
struct IntegerRange {
  std::int32_t Min;
  std::int32_t Max;
};
class ISeedByteSizeRange : public virtual IInterface {
 public:
  virtual std::optional<IntegerRange> SeedByteSizeRange() const = 0;
};

// Abstract key object: slot order SaveToStream, Burn.
class TSymetricKey {
 public:
  virtual ~TSymetricKey() = default;
  virtual void SaveToStream(Stream& stream) = 0;
  virtual void Burn() = 0;
};

class IBlockCodec : public virtual IInterface {
 public:
  // Plaintext first in both directions; only the streams' first block of
  // memory is touched, never their positions or sizes.
  virtual void Encrypt_Block(MemoryStream& Plaintext, MemoryStream& Ciphertext) = 0;
  virtual void Decrypt_Block(MemoryStream& Plaintext, MemoryStream& Ciphertext) = 0;
  virtual void Reset() = 0;
  virtual void Burn() = 0;
};

class IBlockCipher : public ICryptoGraphicAlgorithm {
 public:
  virtual std::unique_ptr<TSymetricKey> GenerateKey(Stream& Seed) = 0;
  virtual std::unique_ptr<TSymetricKey> LoadKeyFromStream(Stream& Store) = 0;
  virtual std::int32_t BlockSize() const = 0;  // bits
  virtual std::int32_t KeySize() const = 0;    // bits
  virtual std::int32_t SeedByteSize() const = 0;
  // The key must outlive the codec; the codec does not own it.
  virtual std::shared_ptr<IBlockCodec> MakeBlockCodec(TSymetricKey& Key) = 0;
  virtual std::u16string SelfTest_Key() const = 0;
  virtual std::u16string SelfTest_Plaintext() const = 0;
  virtual std::u16string SelfTest_Ciphertext() const = 0;
};

enum TChainFeature : std::uint8_t {
  chfNoNonce = 0,
  chfKeyStream = 1,
  chfAutoXOR = 2,
  chf8bit = 3,
};
using TChainFeatures = EnumSet<TChainFeature>;

// Per-run chaining state; one owner, who burns it before release.
class TBlockChainLink {
 public:
  TBlockChainLink(TSymetricKey* Key, const MemoryStream& IV, std::shared_ptr<IBlockCodec> Cipher);
  TBlockChainLink(const TBlockChainLink&) = delete;
  TBlockChainLink& operator=(const TBlockChainLink&) = delete;
  virtual ~TBlockChainLink();

  virtual void Burn();
  virtual void Reset(const MemoryStream& IV);
  virtual std::unique_ptr<TBlockChainLink> Clone() = 0;
  virtual void Encrypt_Block(MemoryStream& Plaintext, MemoryStream& Ciphertext) = 0;
  virtual void Decrypt_Block(MemoryStream& Plaintext, MemoryStream& Ciphertext) = 0;
  // The base passes the byte through unchanged.
  virtual void Encrypt_8bit(std::uint8_t Plaintext, std::uint8_t& Ciphertext);
  virtual void Decrypt_8bit(std::uint8_t& Plaintext, std::uint8_t Ciphertext);

  const MemoryStream& ChainingValue() const { return FCV; }

 protected:
  TSymetricKey* FKey;
  MemoryStream FCV;
  std::shared_ptr<IBlockCodec> FCipher;
};

class IBlockChainingModel : public ICryptoGraphicAlgorithm {
 public:
  virtual std::unique_ptr<TBlockChainLink> MakeEncryptLink(TSymetricKey* Key, const MemoryStream& IV,
                                                           std::shared_ptr<IBlockCodec> Codec) = 0;
  virtual std::unique_ptr<TBlockChainLink> MakeDecryptLink(TSymetricKey* Key, const MemoryStream& IV,
                                                           std::shared_ptr<IBlockCodec> Codec) = 0;
  virtual TChainFeatures ChainFeatures() const = 0;
};

class IStreamEncryptor : public virtual IInterface {
 public:
  virtual void Encrypt(Stream& Plaintext) = 0;
  virtual void End_Encrypt() = 0;
  virtual void Reset() = 0;
};

class IStreamDecryptor : public virtual IInterface {
 public:
  virtual void Decrypt(Stream& Ciphertext) = 0;
  virtual void End_Decrypt() = 0;
  virtual void Reset() = 0;
};

// An IV hook: may change the IV in place.
using TSetMemStreamProc = std::function<void(MemoryStream& IV)>;

enum TSymetricEncryptionOption : std::uint8_t {
  optUseGivenIV = 0,
  optOpenSSL_CompatibilityMode = 1,
};
using TSymetricEncryptionOptionSet = EnumSet<TSymetricEncryptionOption>;

class IBlockCipherSelector : public virtual IInterface {
 public:
  virtual std::shared_ptr<IBlockCipher> SelectedBlockCipher() = 0;
  virtual std::shared_ptr<IBlockChainingModel> SelectedChainMode() = 0;
};

class IBlockCipherSelectorEx2 : public IBlockCipherSelector {
 public:
  virtual TSymetricEncryptionOptionSet SelectedAdvancedOptions() = 0;
  // True and a hook when the selector wants to see (and may change) each IV.
  virtual bool SelectedIVHandler(TSetMemStreamProc& OnSetIV) = 0;
};

class IStreamCipher : public ICryptoGraphicAlgorithm {
 public:
  virtual std::unique_ptr<TSymetricKey> GenerateKey(Stream& Seed) = 0;
  virtual std::unique_ptr<TSymetricKey> LoadKeyFromStream(Stream* Store) = 0;
  virtual std::int32_t SeedByteSize() const = 0;  // -1 when it has no block cipher
  virtual std::shared_ptr<IStreamCipher> MakeParameterized(IInterface* Params) = 0;
  // Neither the key nor the stream is owned by the run.
  virtual std::shared_ptr<IStreamEncryptor> Start_Encrypt(TSymetricKey* Key, Stream* CipherText) = 0;
  virtual std::shared_ptr<IStreamDecryptor> Start_Decrypt(TSymetricKey* Key, Stream* PlainText) = 0;
};

class IStreamCipherEx2 : public IStreamCipher {
 public:
  virtual std::shared_ptr<IStreamEncryptor> Start_Encrypt_WithIV(TSymetricKey* Key, Stream* CipherText,
                                                                 const MemoryStream& IV) = 0;
  virtual std::shared_ptr<IStreamDecryptor> Start_Decrypt_WithIV(TSymetricKey* Key, Stream* PlainText,
                                                                 const MemoryStream& IV) = 0;
};

// Hash used by the codec's key derivation.
class IHash : public virtual IInterface {
 public:
  virtual void Begin() = 0;
  virtual void Update(const void* data, std::size_t count) = 0;
  virtual void End() = 0;
  // The digest of the last completed hash; empty before the first End.
  virtual const MemoryStream& HashOutputValue() const = 0;
  virtual void Burn() = 0;
};

}  // namespace qlx::cipher
