#pragma once
// A stream cipher made of a block cipher and a chaining model: a random
// 8-byte IV in the clear, then a body exactly as long as the plaintext
// (CBC, ciphertext stealing for a trailing partial block, CFB 8-bit for
// messages shorter than one block).
#include <cstdint>
#include <memory>
#include <string>

#include "cipher/algorithm.h"
#include "cipher/stream.h"

namespace qlx::cipher {

class TStreamToBlock_Adapter final : public IStreamCipherEx2, public IControlObject {
 public:
  // The registered adapter: bound to nothing.
  TStreamToBlock_Adapter() = default;
  TStreamToBlock_Adapter(std::shared_ptr<IBlockCipher> BlockCipher, std::shared_ptr<IBlockChainingModel> Chaining,
                         TSymetricEncryptionOptionSet AdvancedOptions, TSetMemStreamProc OnSetIV);

  std::u16string DisplayName() const override;
  std::u16string ProgId() const override;
  TAlgorithmicFeatureSet Features() const override;
  std::u16string DefinitionURL() const override { return {}; }
  std::u16string WikipediaReference() const override { return {}; }

  std::unique_ptr<TSymetricKey> GenerateKey(Stream& Seed) override;
  std::unique_ptr<TSymetricKey> LoadKeyFromStream(Stream* Store) override;
  std::int32_t SeedByteSize() const override;
  std::shared_ptr<IStreamCipher> MakeParameterized(IInterface* Params) override;
  std::shared_ptr<IStreamEncryptor> Start_Encrypt(TSymetricKey* Key, Stream* CipherText) override;
  std::shared_ptr<IStreamDecryptor> Start_Decrypt(TSymetricKey* Key, Stream* PlainText) override;
  std::shared_ptr<IStreamEncryptor> Start_Encrypt_WithIV(TSymetricKey* Key, Stream* CipherText,
                                                         const MemoryStream& IV) override;
  std::shared_ptr<IStreamDecryptor> Start_Decrypt_WithIV(TSymetricKey* Key, Stream* PlainText,
                                                         const MemoryStream& IV) override;

  IInterface* ControlObject() override;

  const std::shared_ptr<IBlockCipher>& BlockCipher() const { return FBlockCipher; }
  const std::shared_ptr<IBlockChainingModel>& Chaining() const { return FChaining; }

 private:
  void RequireBound(TSymetricKey* Key, Stream* Output, const char* operation) const;
  [[noreturn]] void RefuseGivenIV() const;

  std::shared_ptr<IBlockCipher> FBlockCipher;
  std::shared_ptr<IBlockChainingModel> FChaining;
  TSymetricEncryptionOptionSet FAdvancedOptions;
  TSetMemStreamProc FOnSetIV;
};

// Common state of one encryption or decryption run.
class TEncryptorDecryptor {
 public:
  TEncryptorDecryptor(const TEncryptorDecryptor&) = delete;
  TEncryptorDecryptor& operator=(const TEncryptorDecryptor&) = delete;
  virtual ~TEncryptorDecryptor();

 protected:
  TEncryptorDecryptor(std::shared_ptr<IBlockChainingModel> Chaining, std::shared_ptr<IBlockCipher> BlockCipher,
                      TSymetricKey& Key, Stream* EmissionStream, bool isEncrypting);

  // Buffers the next remaining bytes of Input. The last complete block is
  // held back unprocessed, so that Finish can still steal from it.
  void TakeBlocks(Stream& Input, std::int64_t remaining);
  // Writes what is still held back; marshallingError is the text of the
  // run's own broken-invariant failure. Leaves the reset to the caller.
  void Finish(const char* marshallingError);
  // Ciphertext stealing for the r (0 < r < FBlockLen) bytes in FBuffer,
  // with the last complete block held back in F2ndBuffer.
  virtual void StealTail(std::int32_t r) = 0;
  // Back to a fresh run, as far as both directions agree.
  void ResetRun();

  // Processes k bytes of Input (a whole block, or the trailing bytes) and
  // writes them to the emission stream.
  void ProcessAndEmit(MemoryStream& Input, std::int32_t k);
  // The model that finishes the message: a short message under a model
  // that cannot take a partial block goes through CFB 8-bit instead.
  std::shared_ptr<IBlockChainingModel> FinishingModel();
  // Flags as the run's own model sets them (the finishing step may have
  // switched them for a short message).
  void TakeModelFlags(const IBlockChainingModel& model);
  void BurnChainState() noexcept;
  void ZeroBuffers() noexcept;

  std::shared_ptr<IBlockChainingModel> FChaining;
  MemoryStream FEmitBuffer;
  MemoryStream FBuffer;
  std::int32_t FBlockLen = 0;
  std::shared_ptr<IBlockCodec> FCodec;
  std::shared_ptr<IBlockCipher> FBlockCipher;
  std::int32_t FLenBuffer = 0;
  std::unique_ptr<TBlockChainLink> FChainState;
  MemoryStream FIV;
  std::int64_t FDataCount = 0;  // a decryptor counts body bytes only, not the IV
  bool FisAutoXOR = false;
  bool Fis8bitMode = false;
  bool FisEncrypting = false;
  Stream* FEmissionStream = nullptr;
  TSymetricKey* FKey;
  MemoryStream F2ndBuffer;  // the last complete block, held back
  bool Fis2ndBufferFull = false;
  bool FisShortMessage = true;  // until a complete block has been taken in

 private:
  std::unique_ptr<TBlockChainLink> MakeLink(IBlockChainingModel& model);
  void EmitHeldBlock();
};

class TNoncibleEncryptor final : public TEncryptorDecryptor, public IStreamEncryptor {
 public:
  TNoncibleEncryptor(std::shared_ptr<IBlockChainingModel> Chaining, std::shared_ptr<IBlockCipher> BlockCipher,
                     TSymetricKey& Key, Stream* CipherText, TSetMemStreamProc OnSetIV);
  ~TNoncibleEncryptor() override;

  void Encrypt(Stream& Plaintext) override;
  void End_Encrypt() override;
  void Reset() override;

 private:
  void StartMessage();
  void StealTail(std::int32_t r) override;

  Stream* FCipherText;
  std::int32_t FIVSeedLen = 0;
  std::int32_t FSaltLen = 0;
  MemoryStream FNonce;
  bool FisAddingSalt = false;
  TSetMemStreamProc FOnSetIV;
};

// Swallows the first FSaltVolume bytes written to it and passes the rest on.
class TDesalinationWriteStream final : public Stream {
 public:
  TDesalinationWriteStream(Stream* FreshwaterStream, std::int32_t SaltVolume)
      : FFreshwaterStream(FreshwaterStream), FSaltVolume(SaltVolume) {}

  std::int64_t Read(void*, std::int64_t) override { return 0; }
  std::int64_t Write(const void* buffer, std::int64_t count) override;
  std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override {
    return FFreshwaterStream->Seek(offset, origin);
  }
  std::int64_t Size() const override { return 0; }
  void SetSize(std::int64_t) override {}

  std::int32_t SaltVolume() const { return FSaltVolume; }
  void SetSaltVolume(std::int32_t volume) { FSaltVolume = volume; }

 private:
  Stream* FFreshwaterStream;
  std::int32_t FSaltVolume;
};

class TNoncibleDecryptor final : public TEncryptorDecryptor, public IStreamDecryptor {
 public:
  TNoncibleDecryptor(std::shared_ptr<IBlockChainingModel> Chaining, std::shared_ptr<IBlockCipher> BlockCipher,
                     TSymetricKey& Key, Stream* PlainText, TSetMemStreamProc OnSetIV);

  void Decrypt(Stream& Ciphertext) override;
  void End_Decrypt() override;
  void Reset() override;

 private:
  void StealTail(std::int32_t r) override;

  Stream* FPlainText;
  std::unique_ptr<TDesalinationWriteStream> FSaltAbsorber;
  std::int32_t FIVSeedLen = 0;  // IV bytes still to be read
  std::int32_t FSaltLen = 0;
  TSetMemStreamProc FOnSetIV;
};

}  // namespace qlx::cipher
