#include "cipher/stream_adapter.h"

#include <algorithm>
#include <cstring>

#include "base/errors.h"
#include "base/utf.h"
#include "base/wipe.h"
#include "cipher/chaining.h"
#include "cipher/random.h"

namespace qlx::cipher {

namespace {

// Nonce length of every run, whatever the block length.
constexpr std::int32_t kNonceLen = 8;

// Burns a cloned link however the stealing step is left.
struct BurnedLink {
  std::unique_ptr<TBlockChainLink> link;
  ~BurnedLink() {
    if (link) link->Burn();
  }
};

}  // namespace

// ---------------------------------------------------------------------------
// TStreamToBlock_Adapter

TStreamToBlock_Adapter::TStreamToBlock_Adapter(std::shared_ptr<IBlockCipher> BlockCipher,
                                               std::shared_ptr<IBlockChainingModel> Chaining,
                                               TSymetricEncryptionOptionSet AdvancedOptions,
                                               TSetMemStreamProc OnSetIV)
    : FBlockCipher(std::move(BlockCipher)),
      FChaining(std::move(Chaining)),
      FAdvancedOptions(AdvancedOptions),
      FOnSetIV(std::move(OnSetIV)) {}

std::u16string TStreamToBlock_Adapter::DisplayName() const {
  return FBlockCipher ? FBlockCipher->DisplayName() : u"Block mode";
}

std::u16string TStreamToBlock_Adapter::ProgId() const { return u"native.StreamToBlock"; }

TAlgorithmicFeatureSet TStreamToBlock_Adapter::Features() const {
  // afDoesNotNeedSalt keeps the codec from adding a salt of its own.
  return {afStar, afOpenSourceSoftware, afBlockAdapter, afDoesNotNeedSalt};
}

std::unique_ptr<TSymetricKey> TStreamToBlock_Adapter::GenerateKey(Stream& Seed) {
  return FBlockCipher ? FBlockCipher->GenerateKey(Seed) : nullptr;
}

std::unique_ptr<TSymetricKey> TStreamToBlock_Adapter::LoadKeyFromStream(Stream* Store) {
  if (!FBlockCipher || Store == nullptr) return nullptr;
  return FBlockCipher->LoadKeyFromStream(*Store);
}

std::int32_t TStreamToBlock_Adapter::SeedByteSize() const {
  return FBlockCipher ? FBlockCipher->SeedByteSize() : -1;
}

std::shared_ptr<IStreamCipher> TStreamToBlock_Adapter::MakeParameterized(IInterface* Params) {
  if (FBlockCipher && FChaining) return nullptr;
  std::shared_ptr<IBlockCipher> cipher;
  std::shared_ptr<IBlockChainingModel> chaining;
  TSymetricEncryptionOptionSet options;
  TSetMemStreamProc hook;
  auto* selector = dynamic_cast<IBlockCipherSelector*>(Params);
  auto* selector2 = dynamic_cast<IBlockCipherSelectorEx2*>(Params);
  if (selector != nullptr) {
    cipher = selector->SelectedBlockCipher();
    chaining = selector->SelectedChainMode();
  }
  if (selector2 != nullptr) options = selector2->SelectedAdvancedOptions();
  if (!cipher && !chaining) return nullptr;
  if (selector2 != nullptr) {
    TSetMemStreamProc offered;
    if (selector2->SelectedIVHandler(offered)) hook = std::move(offered);
  }
  return std::make_shared<TStreamToBlock_Adapter>(std::move(cipher), std::move(chaining), options, std::move(hook));
}

void TStreamToBlock_Adapter::RequireBound(TSymetricKey* Key, Stream* Output, const char* operation) const {
  if (!FBlockCipher || !FChaining || Key == nullptr || Output == nullptr)
    throw Error(std::string("TStreamToBlock_Adapter.") + operation + " - No block cipher, chaining mode or key.");
  // The IV-less padded variant is never selected; refusing it beats
  // silently writing a layout nobody can read.
  if (FChaining->ChainFeatures().Has(chfNoNonce))
    throw Error(std::string("TStreamToBlock_Adapter.") + operation +
                " - Chaining modes without a nonce are not supported.");
}

std::shared_ptr<IStreamEncryptor> TStreamToBlock_Adapter::Start_Encrypt(TSymetricKey* Key, Stream* CipherText) {
  RequireBound(Key, CipherText, "Start_Encrypt");
  return std::make_shared<TNoncibleEncryptor>(FChaining, FBlockCipher, *Key, CipherText, FOnSetIV);
}

std::shared_ptr<IStreamDecryptor> TStreamToBlock_Adapter::Start_Decrypt(TSymetricKey* Key, Stream* PlainText) {
  RequireBound(Key, PlainText, "Start_Decrypt");
  return std::make_shared<TNoncibleDecryptor>(FChaining, FBlockCipher, *Key, PlainText, FOnSetIV);
}

void TStreamToBlock_Adapter::RefuseGivenIV() const {
  const std::string name = FBlockCipher ? Utf16ToUtf8(FBlockCipher->DisplayName()) : "(no block cipher)";
  throw Error("Cipher " + name + " does not support OpenSSL Compatibility mode.");
}

std::shared_ptr<IStreamEncryptor> TStreamToBlock_Adapter::Start_Encrypt_WithIV(TSymetricKey*, Stream*,
                                                                               const MemoryStream&) {
  RefuseGivenIV();
}

std::shared_ptr<IStreamDecryptor> TStreamToBlock_Adapter::Start_Decrypt_WithIV(TSymetricKey*, Stream*,
                                                                               const MemoryStream&) {
  RefuseGivenIV();
}

IInterface* TStreamToBlock_Adapter::ControlObject() {
  // The codec looks the seed-size range up here, so it must be the block
  // cipher's object, not ours.
  if (auto* control = dynamic_cast<IControlObject*>(FBlockCipher.get())) return control->ControlObject();
  return static_cast<IStreamCipherEx2*>(this);
}

// ---------------------------------------------------------------------------
// TEncryptorDecryptor

TEncryptorDecryptor::TEncryptorDecryptor(std::shared_ptr<IBlockChainingModel> Chaining,
                                         std::shared_ptr<IBlockCipher> BlockCipher, TSymetricKey& Key,
                                         Stream* EmissionStream, bool isEncrypting)
    : FChaining(std::move(Chaining)),
      FBlockLen(BlockCipher->BlockSize() / 8),
      FBlockCipher(std::move(BlockCipher)),
      FisEncrypting(isEncrypting),
      FEmissionStream(EmissionStream),
      FKey(&Key) {
  if (FBlockLen <= 0) throw Error("TEncryptorDecryptor.Create - Invalid block size.");
  FCodec = FBlockCipher->MakeBlockCodec(Key);
  FBuffer.SetSize(FBlockLen);
  FEmitBuffer.SetSize(FBlockLen);
  F2ndBuffer.SetSize(FBlockLen);
  TakeModelFlags(*FChaining);
}

TEncryptorDecryptor::~TEncryptorDecryptor() {
  ZeroBuffers();
  WipeMemoryStream(FIV);
  BurnChainState();
  if (FCodec) FCodec->Burn();
}

void TEncryptorDecryptor::TakeModelFlags(const IBlockChainingModel& model) {
  const TChainFeatures features = model.ChainFeatures();
  const bool keyStream = features.Has(chfKeyStream);
  FisAutoXOR = keyStream && features.Has(chfAutoXOR);
  Fis8bitMode = keyStream && features.Has(chf8bit);
}

void TEncryptorDecryptor::BurnChainState() noexcept {
  if (FChainState) {
    FChainState->Burn();
    FChainState.reset();
  }
}

void TEncryptorDecryptor::ZeroBuffers() noexcept {
  ZeroStreamContent(FEmitBuffer);
  ZeroStreamContent(FBuffer);
  ZeroStreamContent(F2ndBuffer);
  ZeroStreamContent(FIV);
}

void TEncryptorDecryptor::ResetRun() {
  ZeroBuffers();
  if (FCodec) FCodec->Reset();
  FLenBuffer = 0;
  FDataCount = 0;
  BurnChainState();
  Fis2ndBufferFull = false;
  FisShortMessage = true;
  // A short message switched to byte mode; the next one must not inherit it.
  TakeModelFlags(*FChaining);
}

std::shared_ptr<IBlockChainingModel> TEncryptorDecryptor::FinishingModel() {
  // A sub-block message has no block to steal from.
  return FChaining->ChainFeatures().Has(chfKeyStream) ? FChaining : std::make_shared<TCFB_8Bit>();
}

void TEncryptorDecryptor::ProcessAndEmit(MemoryStream& Input, std::int32_t k) {
  std::uint8_t* in = Input.Memory();
  std::uint8_t* out = FEmitBuffer.Memory();
  if (FisEncrypting) {
    if (Fis8bitMode)
      for (std::int32_t i = 0; i < k; ++i) FChainState->Encrypt_8bit(in[i], out[i]);
    else
      FChainState->Encrypt_Block(Input, FEmitBuffer);
  } else {
    if (Fis8bitMode)
      for (std::int32_t i = 0; i < k; ++i) FChainState->Decrypt_8bit(out[i], in[i]);
    else
      FChainState->Decrypt_Block(FEmitBuffer, Input);
  }
  if (FisAutoXOR)
    for (std::int32_t i = 0; i < k; ++i) out[i] ^= in[i];
  FEmissionStream->WriteBuffer(out, k);
}

std::unique_ptr<TBlockChainLink> TEncryptorDecryptor::MakeLink(IBlockChainingModel& model) {
  return FisEncrypting ? model.MakeEncryptLink(FKey, FIV, FCodec) : model.MakeDecryptLink(FKey, FIV, FCodec);
}

void TEncryptorDecryptor::EmitHeldBlock() {
  ProcessAndEmit(F2ndBuffer, FBlockLen);
  Fis2ndBufferFull = false;
}

void TEncryptorDecryptor::TakeBlocks(Stream& Input, std::int64_t remaining) {
  while (remaining > 0 || FLenBuffer == FBlockLen) {
    const std::int32_t n = static_cast<std::int32_t>(std::min<std::int64_t>(FBlockLen - FLenBuffer, remaining));
    if (n > 0) {
      Input.ReadBuffer(FBuffer.Memory() + FLenBuffer, n);
      FLenBuffer += n;
      FDataCount += n;
      remaining -= n;
    }
    if (FLenBuffer == FBlockLen) FisShortMessage = false;
    if (FLenBuffer == FBlockLen && !Fis2ndBufferFull) {
      FBuffer.Swap(F2ndBuffer);
      Fis2ndBufferFull = true;
      FLenBuffer = 0;
    } else if (FLenBuffer == FBlockLen) {
      if (!FChainState) FChainState = MakeLink(*FChaining);
      EmitHeldBlock();
    }
  }
}

void TEncryptorDecryptor::Finish(const char* marshallingError) {
  if (FDataCount == 0) return;
  std::shared_ptr<IBlockChainingModel> model = FisShortMessage ? FinishingModel() : FChaining;
  TakeModelFlags(*model);
  if (!FChainState) FChainState = MakeLink(*model);
  const std::int32_t r = FLenBuffer;
  if (r > 0 && model->ChainFeatures().Has(chfKeyStream)) {
    if (Fis2ndBufferFull) EmitHeldBlock();
    ProcessAndEmit(FBuffer, r);
    return;
  }
  // Block mode: the buffering always holds the last complete block back.
  if (!Fis2ndBufferFull) throw AssertionError(marshallingError);
  if (r > 0)
    StealTail(r);
  else
    ProcessAndEmit(F2ndBuffer, FBlockLen);
  Fis2ndBufferFull = false;
}

// ---------------------------------------------------------------------------
// TNoncibleEncryptor

TNoncibleEncryptor::TNoncibleEncryptor(std::shared_ptr<IBlockChainingModel> Chaining,
                                       std::shared_ptr<IBlockCipher> BlockCipher, TSymetricKey& Key,
                                       Stream* CipherText, TSetMemStreamProc OnSetIV)
    : TEncryptorDecryptor(std::move(Chaining), std::move(BlockCipher), Key, CipherText, true),
      FCipherText(CipherText),
      FIVSeedLen(std::min(FBlockLen, kNonceLen)),
      FSaltLen(kNonceLen - FIVSeedLen),
      FOnSetIV(std::move(OnSetIV)) {
  FIV.SetSize(FBlockLen);
}

TNoncibleEncryptor::~TNoncibleEncryptor() { WipeMemoryStream(FNonce); }

void TNoncibleEncryptor::StartMessage() {
  FNonce.SetSize(kNonceLen);
  TRandomStream::Instance().ReadBuffer(FNonce.Memory(), kNonceLen);
  ZeroStreamContent(FIV);
  std::memcpy(FIV.Memory(), FNonce.Memory(), static_cast<std::size_t>(FIVSeedLen));
  if (FOnSetIV) FOnSetIV(FIV);
  FCipherText->WriteBuffer(FIV.Memory(), FIVSeedLen);
  if (FSaltLen > 0) {
    // Blocks shorter than the nonce: its other bytes lead the plaintext.
    MemoryStream salt(FNonce.Memory() + FIVSeedLen, static_cast<std::size_t>(FSaltLen));
    FisAddingSalt = true;
    try {
      TakeBlocks(salt, FSaltLen);
    } catch (...) {
      FisAddingSalt = false;
      throw;
    }
    FisAddingSalt = false;
  }
  WipeMemoryStream(FNonce);
}

void TNoncibleEncryptor::Encrypt(Stream& Plaintext) {
  Plaintext.SetPosition(0);
  const std::int64_t remaining = Plaintext.Size();
  if (remaining > 0 && FDataCount == 0 && !FisAddingSalt) StartMessage();
  TakeBlocks(Plaintext, remaining);
}

void TNoncibleEncryptor::End_Encrypt() {
  Finish("TNoncibleEncryptor.End_Encrypt - Internal marshalling error.");
  Reset();
}

void TNoncibleEncryptor::StealTail(std::int32_t r) {
  // Both X and Y are chained to C(m-1): the copy keeps it for Y.
  BurnedLink copy{FChainState->Clone()};
  FChainState->Encrypt_Block(F2ndBuffer, FEmitBuffer);  // X
  std::memcpy(FBuffer.Memory() + r, FEmitBuffer.Memory() + r, static_cast<std::size_t>(FBlockLen - r));
  copy.link->Encrypt_Block(FBuffer, F2ndBuffer);  // Y
  FCipherText->WriteBuffer(F2ndBuffer.Memory(), FBlockLen);
  FCipherText->WriteBuffer(FEmitBuffer.Memory(), r);
}

void TNoncibleEncryptor::Reset() {
  ResetRun();
  WipeMemoryStream(FNonce);
}

// ---------------------------------------------------------------------------
// TDesalinationWriteStream

std::int64_t TDesalinationWriteStream::Write(const void* buffer, std::int64_t count) {
  if (count <= 0) return 0;
  const std::int64_t salt = std::min<std::int64_t>(FSaltVolume, count);
  FSaltVolume -= static_cast<std::int32_t>(salt);
  std::int64_t passed = 0;
  if (count > salt) passed = FFreshwaterStream->Write(static_cast<const std::uint8_t*>(buffer) + salt, count - salt);
  return salt + passed;
}

// ---------------------------------------------------------------------------
// TNoncibleDecryptor

TNoncibleDecryptor::TNoncibleDecryptor(std::shared_ptr<IBlockChainingModel> Chaining,
                                       std::shared_ptr<IBlockCipher> BlockCipher, TSymetricKey& Key,
                                       Stream* PlainText, TSetMemStreamProc OnSetIV)
    : TEncryptorDecryptor(std::move(Chaining), std::move(BlockCipher), Key, PlainText, false),
      FPlainText(PlainText),
      FIVSeedLen(std::min(FBlockLen, kNonceLen)),
      FSaltLen(kNonceLen - FIVSeedLen),
      FOnSetIV(std::move(OnSetIV)) {
  if (FSaltLen > 0) {
    FSaltAbsorber = std::make_unique<TDesalinationWriteStream>(FPlainText, FSaltLen);
    FEmissionStream = FSaltAbsorber.get();
  }
}

void TNoncibleDecryptor::Decrypt(Stream& Ciphertext) {
  Ciphertext.SetPosition(0);
  std::int64_t remaining = Ciphertext.Size();
  if (FIVSeedLen > 0 && remaining > 0) {
    const std::int32_t n = static_cast<std::int32_t>(std::min<std::int64_t>(FIVSeedLen, remaining));
    const std::int64_t have = FIV.Size();
    FIV.SetSize(have + n);
    Ciphertext.ReadBuffer(FIV.Memory() + have, n);
    FIVSeedLen -= n;
    remaining -= n;
    if (FIVSeedLen == 0 && FIV.Size() < FBlockLen) FIV.SetSize(FBlockLen);  // new bytes are zero
    if (FOnSetIV) FOnSetIV(FIV);
  }
  // Bytes are left only once the whole IV is in.
  TakeBlocks(Ciphertext, remaining);
}

void TNoncibleDecryptor::End_Decrypt() {
  Finish("TNoncibleDecryptor.End_Encrypt - Internal marshalling error.");
  Reset();
}

void TNoncibleDecryptor::StealTail(std::int32_t r) {
  // FBuffer holds X[0..r-1], F2ndBuffer holds Y; both undo against C(m-1).
  BurnedLink copy{FChainState->Clone()};
  FChainState->Decrypt_Block(FEmitBuffer, F2ndBuffer);  // T = Q || X[r..]
  std::memcpy(FBuffer.Memory() + r, FEmitBuffer.Memory() + r, static_cast<std::size_t>(FBlockLen - r));
  copy.link->Decrypt_Block(F2ndBuffer, FBuffer);  // Pm
  FEmissionStream->WriteBuffer(F2ndBuffer.Memory(), FBlockLen);
  FEmissionStream->WriteBuffer(FEmitBuffer.Memory(), r);
}

void TNoncibleDecryptor::Reset() {
  WipeMemoryStream(FIV);
  ResetRun();
  FIVSeedLen = std::min(FBlockLen, kNonceLen);
  FSaltLen = kNonceLen - FIVSeedLen;
  if (FSaltAbsorber) FSaltAbsorber->SetSaltVolume(FSaltLen);
}

}  // namespace qlx::cipher
