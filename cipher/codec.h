#pragma once
// The password codec: text <-> Base64 ciphertext under a password.
// TCodec is the caller's surface; TSimpleCodec the inner codec behind ICodec.
#include <cstdint>
#include <memory>
#include <string>

#include "base/utf.h"
#include "cipher/algorithm.h"

namespace qlx::cipher {

class TCryptographicLibrary;

enum TCodecMode : std::uint8_t { cmUnitialized = 0, cmIdle = 1, cmEncrypting = 2, cmDecrypting = 3 };

// The inner codec's interface; every TCodec operation goes through it.
class ICodec : public virtual IInterface {
 public:
  virtual void SetStreamCipher(std::shared_ptr<IStreamCipher> value) = 0;
  virtual void SetBlockCipher(std::shared_ptr<IBlockCipher> value) = 0;
  virtual void SetChainMode(std::shared_ptr<IBlockChainingModel> value) = 0;
  virtual TCodecMode Mode() const = 0;
  virtual std::shared_ptr<IStreamCipher> StreamCipher() const = 0;
  virtual std::shared_ptr<IBlockCipher> BlockCipher() const = 0;
  virtual std::shared_ptr<IBlockChainingModel> ChainMode() const = 0;
  // The key is made of the password's UTF-16LE bytes.
  virtual void Init(const std::u16string& password) = 0;
  virtual void Init(const std::u16string& password, TEncoding encoding) = 0;
  virtual void Reset() = 0;
  virtual void Burn(bool includeKey) = 0;
  virtual bool isAsymetric() const = 0;
  virtual void Begin_EncryptMemory(Stream& CipherText) = 0;
  virtual void EncryptMemory(const void* Plaintext, std::int64_t PlaintextLen) = 0;
  virtual void End_EncryptMemory() = 0;
  virtual void Begin_DecryptMemory(Stream& PlainText) = 0;
  virtual void DecryptMemory(const void* CipherText, std::int64_t CipherTextLen) = 0;
  virtual void End_DecryptMemory() = 0;
  virtual void EncryptString(const std::u16string& Plaintext, std::u16string& CipherText_Base64,
                             TEncoding encoding) = 0;
  virtual void DecryptString(std::u16string& Plaintext, const std::u16string& CipherText_Base64,
                             TEncoding encoding) = 0;
};

// The inner codec: key derivation, the mode state machine, Base64 text.
// It is also the selector the stream cipher binds itself with.
class TSimpleCodec final : public ICodec, public IBlockCipherSelectorEx2 {
 public:
  TSimpleCodec();
  TSimpleCodec(const TSimpleCodec&) = delete;
  TSimpleCodec& operator=(const TSimpleCodec&) = delete;
  ~TSimpleCodec() override;

  void SetStreamCipher(std::shared_ptr<IStreamCipher> value) override;
  void SetBlockCipher(std::shared_ptr<IBlockCipher> value) override;
  void SetChainMode(std::shared_ptr<IBlockChainingModel> value) override;
  TCodecMode Mode() const override { return FMode; }
  std::shared_ptr<IStreamCipher> StreamCipher() const override { return FStreamCipher; }
  std::shared_ptr<IBlockCipher> BlockCipher() const override { return FBlockCipher; }
  std::shared_ptr<IBlockChainingModel> ChainMode() const override { return FChainMode; }
  void Init(const std::u16string& password) override;
  void Init(const std::u16string& password, TEncoding encoding) override;
  void Reset() override;
  void Burn(bool includeKey) override;
  bool isAsymetric() const override;
  void Begin_EncryptMemory(Stream& CipherText) override;
  void EncryptMemory(const void* Plaintext, std::int64_t PlaintextLen) override;
  void End_EncryptMemory() override;
  void Begin_DecryptMemory(Stream& PlainText) override;
  void DecryptMemory(const void* CipherText, std::int64_t CipherTextLen) override;
  void End_DecryptMemory() override;
  void EncryptString(const std::u16string& Plaintext, std::u16string& CipherText_Base64,
                     TEncoding encoding) override;
  void DecryptString(std::u16string& Plaintext, const std::u16string& CipherText_Base64,
                     TEncoding encoding) override;

  std::shared_ptr<IBlockCipher> SelectedBlockCipher() override { return FBlockCipher; }
  std::shared_ptr<IBlockChainingModel> SelectedChainMode() override { return FChainMode; }
  TSymetricEncryptionOptionSet SelectedAdvancedOptions() override { return {}; }
  bool SelectedIVHandler(TSetMemStreamProc&) override { return false; }

  // The key built by the last Init; none before it.
  TSymetricKey* Key() const { return FKey.get(); }

 private:
  void BeforeAlgorithmChange();
  bool AlgorithmsComplete() const;
  bool NeedsSalt() const;
  void MakeParameterized();
  void Feed(const void* data, std::int64_t count, bool encrypting);

  TCodecMode FMode = cmUnitialized;
  std::shared_ptr<IStreamCipher> FStreamCipher;
  std::shared_ptr<IStreamCipher> FParameterizedStreamCipher;
  std::shared_ptr<IBlockCipher> FBlockCipher;
  std::shared_ptr<IBlockChainingModel> FChainMode;
  std::unique_ptr<TSymetricKey> FKey;
  std::shared_ptr<IStreamEncryptor> FEnc;
  std::shared_ptr<IStreamDecryptor> FDec;
  std::shared_ptr<IHash> FPasswordHasher;
  std::int64_t FXtextCount = 0;
  Stream* FOutput = nullptr;
  MemoryStream FBuffer;
  // Only for stream ciphers that want a salt (never the adapter).
  std::unique_ptr<Stream> FSaltAbsorber;
};

class TCodec {
 public:
  TCodec();
  TCodec(const TCodec&) = delete;
  TCodec& operator=(const TCodec&) = delete;
  // Burns the inner codec (key included), detaches the library, wipes the
  // password copy.
  ~TCodec();

  void SetCryptoLibrary(TCryptographicLibrary* library);
  TCryptographicLibrary* CryptoLibrary() const { return FLib; }
  void SetStreamCipherId(const std::u16string& id);
  void SetBlockCipherId(const std::u16string& id);
  void SetChainModeId(const std::u16string& id);
  void SetPassword(const std::u16string& password);

  void EncryptString(const std::u16string& Plaintext, std::u16string& CipherText_Base64, TEncoding encoding);
  void DecryptString(std::u16string& Plaintext, const std::u16string& CipherText_Base64, TEncoding encoding);

  // Called by a library that is going away.
  void LibraryDestroyed(TCryptographicLibrary* library);

  ICodec& Codec() { return *FCodec; }

 private:
  void SetIntfCached(bool value);

  std::u16string FPassword;
  std::shared_ptr<TSimpleCodec> FCodecObj;
  ICodec* FCodec = nullptr;
  TCryptographicLibrary* FLib = nullptr;
  std::u16string FStreamCipherId;
  std::u16string FBlockCipherId;
  std::u16string FChainId;
  bool FIntfCached = false;
};

}  // namespace qlx::cipher
