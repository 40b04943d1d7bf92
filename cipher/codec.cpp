#include "cipher/codec.h"

#include <algorithm>
#include <cstring>

#include "base/errors.h"
#include "base/wipe.h"
#include "cipher/base64.h"
#include "cipher/library.h"
#include "cipher/sha1.h"
#include "cipher/stream_adapter.h"

namespace qlx::cipher {

namespace {

// Pieces fed to the stream cipher through the one working buffer.
constexpr std::int64_t kPieceSize = 1024;
// Salt length for stream ciphers that do not declare afDoesNotNeedSalt.
constexpr std::int32_t kSaltLen = 8;

template <class F>
class OnExit {
 public:
  explicit OnExit(F f) : f_(std::move(f)) {}
  OnExit(const OnExit&) = delete;
  OnExit& operator=(const OnExit&) = delete;
  ~OnExit() { f_(); }

 private:
  F f_;
};

}  // namespace

// ---------------------------------------------------------------------------
// TSimpleCodec

TSimpleCodec::TSimpleCodec() : FPasswordHasher(std::make_shared<TSimpleHash>(std::make_unique<TSHA1>())) {}

TSimpleCodec::~TSimpleCodec() { Burn(true); }

void TSimpleCodec::BeforeAlgorithmChange() {
  if (FMode == cmEncrypting || FMode == cmDecrypting)
    throw Error("TSimpleCodec.Init - Cannot set Cipher whilst enc/decrypting.");
  if (FMode == cmIdle) Burn(true);
  // A cipher bound to the old algorithms must not outlive them.
  FParameterizedStreamCipher.reset();
}

void TSimpleCodec::SetStreamCipher(std::shared_ptr<IStreamCipher> value) {
  BeforeAlgorithmChange();
  FStreamCipher = std::move(value);
}

void TSimpleCodec::SetBlockCipher(std::shared_ptr<IBlockCipher> value) {
  BeforeAlgorithmChange();
  FBlockCipher = std::move(value);
}

void TSimpleCodec::SetChainMode(std::shared_ptr<IBlockChainingModel> value) {
  BeforeAlgorithmChange();
  FChainMode = std::move(value);
}

bool TSimpleCodec::isAsymetric() const { return FStreamCipher && FStreamCipher->Features().Has(afAsymetric); }

bool TSimpleCodec::NeedsSalt() const {
  const TAlgorithmicFeatureSet f = FStreamCipher->Features();
  return !f.Has(afCompressor) && !f.Has(afConverter) && !f.Has(afDoesNotNeedSalt);
}

bool TSimpleCodec::AlgorithmsComplete() const {
  if (!FStreamCipher || FStreamCipher->Features().Has(afNotImplementedYet)) return false;
  if (!FStreamCipher->Features().Has(afBlockAdapter)) return true;
  return FBlockCipher && !FBlockCipher->Features().Has(afNotImplementedYet) && FChainMode &&
         !FChainMode->Features().Has(afNotImplementedYet);
}

void TSimpleCodec::MakeParameterized() {
  FParameterizedStreamCipher = FStreamCipher->MakeParameterized(static_cast<IInterface*>(this));
  if (!FParameterizedStreamCipher) FParameterizedStreamCipher = FStreamCipher;
}

void TSimpleCodec::Init(const std::u16string& password) { Init(password, TEncoding::UTF16LE); }

void TSimpleCodec::Init(const std::u16string& password, TEncoding encoding) {
  if (password.empty()) throw Error("TSimpleCodec.Init - No password.");

  if (FMode == cmEncrypting && FEnc) FEnc->Reset();
  if (FMode == cmDecrypting && FDec) FDec->Reset();
  FMode = cmUnitialized;
  FXtextCount = 0;
  // The runs refer to the key: let them go before it does.
  FEnc.reset();
  FDec.reset();
  FSaltAbsorber.reset();
  FOutput = nullptr;
  if (FKey) {
    FKey->Burn();
    FKey.reset();
  }
  if (!FStreamCipher) return;  // no key without a stream cipher
  if (!FParameterizedStreamCipher) MakeParameterized();

  OnExit cleanup([this] {
    FPasswordHasher->Burn();
    WipeMemoryStream(FBuffer);
  });
  Wiped<std::vector<std::uint8_t>> bytes(EncodeText(password, encoding));
  const std::int64_t n = static_cast<std::int64_t>(bytes->size());

  WipeMemoryStream(FBuffer);
  const std::int32_t s = FParameterizedStreamCipher->SeedByteSize();
  if (s != -1) {
    std::int64_t lo = s, hi = s;
    auto* control = dynamic_cast<IControlObject*>(FParameterizedStreamCipher.get());
    IInterface* holder = control ? control->ControlObject() : FParameterizedStreamCipher.get();
    if (auto* ranged = dynamic_cast<ISeedByteSizeRange*>(holder)) {
      if (const std::optional<IntegerRange> range = ranged->SeedByteSizeRange()) {
        lo = range->Min;
        hi = std::max(range->Min, range->Max);
      }
    }
    const std::int64_t wanted = std::min(std::max(n, lo), hi);
    if (wanted == n) {
      FBuffer.SetSize(n);
      if (n) std::memcpy(FBuffer.Memory(), bytes->data(), static_cast<std::size_t>(n));
    } else {
      FPasswordHasher->Begin();
      FPasswordHasher->Update(bytes->data(), bytes->size());
      FPasswordHasher->End();
      const MemoryStream& digest = FPasswordHasher->HashOutputValue();
      const std::int64_t d = digest.Size();
      if (d == 0) throw Error("TSimpleCodec.Init - Hash failed.");
      // Longer targets repeat the digest from its first byte.
      const std::int64_t target = std::min(std::max(d, lo), hi);
      FBuffer.SetSize(target);
      for (std::int64_t i = 0; i < target; ++i) FBuffer.Memory()[i] = digest.Memory()[i % d];
    }
  }
  FBuffer.SetPosition(0);
  FKey = FParameterizedStreamCipher->GenerateKey(FBuffer);
  FMode = cmIdle;
}

void TSimpleCodec::Reset() {
  if (FMode == cmUnitialized) throw Error("TSimpleCodec.Init - Reset when not intialized.");
  if (FEnc) FEnc->Reset();
  if (FDec) FDec->Reset();
  FMode = cmIdle;
  WipeMemoryStream(FBuffer);
  FParameterizedStreamCipher.reset();
  FXtextCount = 0;
}

void TSimpleCodec::Burn(bool includeKey) {
  if (FEnc) FEnc->Reset();
  if (FDec) FDec->Reset();
  FEnc.reset();
  FDec.reset();
  FSaltAbsorber.reset();
  FOutput = nullptr;
  FParameterizedStreamCipher.reset();
  if (FPasswordHasher) FPasswordHasher->Burn();
  WipeMemoryStream(FBuffer);
  FXtextCount = 0;
  if (includeKey) {
    if (FKey) {
      FKey->Burn();
      FKey.reset();
    }
    FMode = cmUnitialized;
  } else {
    FMode = (FKey && FMode != cmUnitialized) ? cmIdle : cmUnitialized;
  }
}

void TSimpleCodec::Begin_EncryptMemory(Stream& CipherText) {
  if (FMode != cmIdle) throw Error("TSimpleCodec.Begin_EncryptMemory - Wrong mode.");
  if (!AlgorithmsComplete()) throw Error("TSimpleCodec.Begin_EncryptMemory - Algorithms not set.");
  if (!FParameterizedStreamCipher) {
    MakeParameterized();
    FEnc.reset();
  }
  FDec.reset();
  FSaltAbsorber.reset();
  if (FEnc && FOutput == &CipherText) {
    FEnc->Reset();
  } else {
    FEnc = FParameterizedStreamCipher->Start_Encrypt(FKey.get(), &CipherText);
    FOutput = &CipherText;
  }
  FMode = cmEncrypting;
  FXtextCount = 0;
}

void TSimpleCodec::Begin_DecryptMemory(Stream& PlainText) {
  if (FMode != cmIdle) throw Error("TSimpleCodec.Begin_DecryptMemory - Wrong mode.");
  if (!AlgorithmsComplete()) throw Error("TSimpleCodec.Begin_DecryptMemory - Algorithms not set.");
  if (!FParameterizedStreamCipher) {
    MakeParameterized();
    FDec.reset();
  }
  FEnc.reset();
  const bool salted = NeedsSalt();
  if (FDec && FOutput == &PlainText && !salted) {
    FDec->Reset();
  } else {
    FDec.reset();
    FSaltAbsorber.reset();
    Stream* output = &PlainText;
    if (salted) {
      FSaltAbsorber = std::make_unique<TDesalinationWriteStream>(&PlainText, kSaltLen);
      output = FSaltAbsorber.get();
    }
    FDec = FParameterizedStreamCipher->Start_Decrypt(FKey.get(), output);
    FOutput = &PlainText;
  }
  FMode = cmDecrypting;
  FXtextCount = 0;
}

void TSimpleCodec::Feed(const void* data, std::int64_t count, bool encrypting) {
  OnExit wipe([this] { WipeMemoryStream(FBuffer); });
  const auto* p = static_cast<const std::uint8_t*>(data);
  while (count > 0) {
    const std::int64_t piece = std::min(count, kPieceSize);
    FBuffer.SetSize(piece);  // a shrinking buffer wipes the bytes it drops
    std::memcpy(FBuffer.Memory(), p, static_cast<std::size_t>(piece));
    FBuffer.SetPosition(0);
    if (encrypting)
      FEnc->Encrypt(FBuffer);
    else
      FDec->Decrypt(FBuffer);
    FXtextCount += piece;
    p += piece;
    count -= piece;
  }
}

void TSimpleCodec::EncryptMemory(const void* Plaintext, std::int64_t PlaintextLen) {
  if (FMode != cmEncrypting) throw Error("TSimpleCodec.EncryptMemory - Wrong mode.");
  if (FXtextCount == 0 && PlaintextLen > 0 && NeedsSalt()) {
    MemoryStream salt(kSaltLen);
    FillStreamRandom(salt);
    FEnc->Encrypt(salt);
  }
  Feed(Plaintext, PlaintextLen, true);
}

void TSimpleCodec::DecryptMemory(const void* CipherText, std::int64_t CipherTextLen) {
  if (FMode != cmDecrypting) throw Error("TSimpleCodec.DecryptMemory - Wrong mode.");
  Feed(CipherText, CipherTextLen, false);
}

void TSimpleCodec::End_EncryptMemory() {
  if (FMode == cmIdle) return;
  if (FMode != cmEncrypting) throw Error("TSimpleCodec.End_EncryptMemory - Wrong mode.");
  FEnc->End_Encrypt();
  Reset();
}

void TSimpleCodec::End_DecryptMemory() {
  if (FMode == cmIdle) return;
  if (FMode != cmDecrypting) throw Error("TSimpleCodec.End_DecryptMemory - Wrong mode.");
  FDec->End_Decrypt();
  Reset();
}

void TSimpleCodec::EncryptString(const std::u16string& Plaintext, std::u16string& CipherText_Base64,
                                 TEncoding encoding) {
  MemoryStream cipherText;
  // The run writes to a local stream: it must not outlive it.
  OnExit release([this] {
    FEnc.reset();
    FOutput = nullptr;
  });
  Begin_EncryptMemory(cipherText);
  {
    Wiped<std::vector<std::uint8_t>> bytes(EncodeText(Plaintext, encoding));
    EncryptMemory(bytes->data(), static_cast<std::int64_t>(bytes->size()));
  }
  End_EncryptMemory();
  CipherText_Base64 = EncodeBase64Text(cipherText);
}

void TSimpleCodec::DecryptString(std::u16string& Plaintext, const std::u16string& CipherText_Base64,
                                 TEncoding encoding) {
  MemoryStream cipherText;
  MemoryStream plainText;
  OnExit release([&] {
    FDec.reset();
    FSaltAbsorber.reset();
    FOutput = nullptr;
    WipeMemoryStream(cipherText);
    WipeMemoryStream(plainText);
  });
  DecodeBase64Text(CipherText_Base64, cipherText);
  Begin_DecryptMemory(plainText);
  if (cipherText.Size() > 0) DecryptMemory(cipherText.Memory(), cipherText.Size());
  End_DecryptMemory();
  Plaintext = plainText.Size() > 0
                  ? DecodeText(plainText.Memory(), static_cast<std::size_t>(plainText.Size()), encoding)
                  : std::u16string();
}

// ---------------------------------------------------------------------------
// TCodec

TCodec::TCodec() : FCodecObj(std::make_shared<TSimpleCodec>()), FCodec(FCodecObj.get()) {}

TCodec::~TCodec() {
  FCodec->Burn(true);
  if (FLib) FLib->DetachCodec(this);
  FLib = nullptr;
  SecureWipe(FPassword);
  FCodec = nullptr;
  FCodecObj.reset();
}

void TCodec::SetIntfCached(bool value) {
  if (FIntfCached == value) return;
  FIntfCached = value;
  FCodec->SetStreamCipher(nullptr);
  FCodec->SetBlockCipher(nullptr);
  FCodec->SetChainMode(nullptr);
  if (value && FLib) {
    FCodec->SetStreamCipher(FLib->StreamCipherIntfc(FStreamCipherId));
    FCodec->SetBlockCipher(FLib->BlockCipherIntfc(FBlockCipherId));
    FCodec->SetChainMode(FLib->BlockChainingModelIntfc(FChainId));
  }
  if (FCodec->StreamCipher() && !FPassword.empty() && !FCodec->isAsymetric()) FCodec->Init(FPassword);
}

void TCodec::SetCryptoLibrary(TCryptographicLibrary* library) {
  if (library == FLib) return;
  SetIntfCached(false);
  if (FLib) FLib->DetachCodec(this);
  FLib = library;
  if (FLib) FLib->AttachCodec(this);
}

void TCodec::LibraryDestroyed(TCryptographicLibrary* library) {
  if (library != FLib) return;
  // Called from the library's destructor, so nothing here may throw: the
  // algorithms already resolved stay alive through their references and
  // are let go when the next operation resolves again.
  FLib = nullptr;
  FIntfCached = false;
}

void TCodec::SetStreamCipherId(const std::u16string& id) {
  if (id == FStreamCipherId) return;
  SetIntfCached(false);
  FStreamCipherId = id;
}

void TCodec::SetBlockCipherId(const std::u16string& id) {
  if (id == FBlockCipherId) return;
  SetIntfCached(false);
  FBlockCipherId = id;
}

void TCodec::SetChainModeId(const std::u16string& id) {
  if (id == FChainId) return;
  SetIntfCached(false);
  FChainId = id;
}

void TCodec::SetPassword(const std::u16string& password) {
  if (password != FPassword) {
    SecureWipe(FPassword);
    FPassword = password;
  }
  if (!FIntfCached) {
    SetIntfCached(true);
  } else if (FPassword.empty()) {
    FCodec->Burn(true);  // no password, no key: the old one must not go on encrypting
  } else if (FCodec->StreamCipher() && !FCodec->isAsymetric()) {
    FCodec->Init(FPassword);
  }
}

void TCodec::EncryptString(const std::u16string& Plaintext, std::u16string& CipherText_Base64, TEncoding encoding) {
  SetIntfCached(true);
  FCodec->EncryptString(Plaintext, CipherText_Base64, encoding);
}

void TCodec::DecryptString(std::u16string& Plaintext, const std::u16string& CipherText_Base64, TEncoding encoding) {
  SetIntfCached(true);
  FCodec->DecryptString(Plaintext, CipherText_Base64, encoding);
}

}  // namespace qlx::cipher
