#include "cipher/chaining.h"

#include <cstring>

#include "base/errors.h"

namespace qlx::cipher {

namespace {

// The chaining value fixes the block length; a shorter block argument, or a
// link used after Burn, would mean touching memory that is not there.
std::size_t BlockLength(const MemoryStream& cv, const char* where) {
  if (cv.Size() <= 0) throw AssertionError(std::string(where) + " - No chaining value.");
  return static_cast<std::size_t>(cv.Size());
}

void RequireBlock(const MemoryStream& stream, std::size_t length, const char* where) {
  if (static_cast<std::size_t>(stream.Size()) < length) throw AssertionError(std::string(where) + " - Block too short.");
}

}  // namespace

// ---- TBlockChainLink -------------------------------------------------------

TBlockChainLink::TBlockChainLink(TSymetricKey* Key, const MemoryStream& IV, std::shared_ptr<IBlockCodec> Cipher)
    : FKey(Key), FCipher(std::move(Cipher)) {
  CopyStreamContent(IV, FCV);
}

TBlockChainLink::~TBlockChainLink() { WipeMemoryStream(FCV); }

void TBlockChainLink::Burn() {
  WipeMemoryStream(FCV);
  FKey = nullptr;
}

void TBlockChainLink::Reset(const MemoryStream& IV) { CopyStreamContent(IV, FCV); }

void TBlockChainLink::Encrypt_8bit(std::uint8_t Plaintext, std::uint8_t& Ciphertext) { Ciphertext = Plaintext; }

void TBlockChainLink::Decrypt_8bit(std::uint8_t& Plaintext, std::uint8_t Ciphertext) { Plaintext = Ciphertext; }

// ---- TCBCLink --------------------------------------------------------------

TCBCLink::TCBCLink(TSymetricKey* Key, const MemoryStream& IV, std::shared_ptr<IBlockCodec> Cipher, bool ForDecryption)
    : TBlockChainLink(Key, IV, std::move(Cipher)) {
  if (ForDecryption) FNextCV = std::make_unique<MemoryStream>(FCV.Size());
}

TCBCLink::~TCBCLink() {
  if (FNextCV) WipeMemoryStream(*FNextCV);
}

void TCBCLink::Burn() {
  TBlockChainLink::Burn();
  if (FNextCV) WipeMemoryStream(*FNextCV);
}

std::unique_ptr<TBlockChainLink> TCBCLink::Clone() {
  auto copy = std::make_unique<TCBCLink>(FKey, FCV, FCipher, FNextCV != nullptr);
  if (FNextCV) CopyStreamContent(*FNextCV, *copy->FNextCV);
  return copy;
}

void TCBCLink::Encrypt_Block(MemoryStream& Plaintext, MemoryStream& Ciphertext) {
  const std::size_t b = BlockLength(FCV, "TCBCLink.Encrypt_Block");
  RequireBlock(Plaintext, b, "TCBCLink.Encrypt_Block");
  RequireBlock(Ciphertext, b, "TCBCLink.Encrypt_Block");
  XorIntoStream(FCV, Plaintext);
  FCipher->Encrypt_Block(FCV, Ciphertext);
  std::memcpy(FCV.Memory(), Ciphertext.Memory(), b);
}

void TCBCLink::Decrypt_Block(MemoryStream& Plaintext, MemoryStream& Ciphertext) {
  const std::size_t b = BlockLength(FCV, "TCBCLink.Decrypt_Block");
  RequireBlock(Plaintext, b, "TCBCLink.Decrypt_Block");
  RequireBlock(Ciphertext, b, "TCBCLink.Decrypt_Block");
  if (!FNextCV) FNextCV = std::make_unique<MemoryStream>();
  // Saved first, so that Plaintext and Ciphertext may be one stream.
  FNextCV->SetSize(static_cast<std::int64_t>(b));
  std::memcpy(FNextCV->Memory(), Ciphertext.Memory(), b);
  FCipher->Decrypt_Block(Plaintext, Ciphertext);
  std::uint8_t* p = Plaintext.Memory();
  const std::uint8_t* cv = FCV.Memory();
  for (std::size_t i = 0; i < b; ++i) p[i] ^= cv[i];
  std::memcpy(FCV.Memory(), FNextCV->Memory(), b);
}

// ---- TCFB_8BitLink ---------------------------------------------------------

TCFB_8BitLink::TCFB_8BitLink(TSymetricKey* Key, const MemoryStream& IV, std::shared_ptr<IBlockCodec> Cipher)
    : TBlockChainLink(Key, IV, std::move(Cipher)),
      FTemp(FCV.Size()),
      FBlockSize_Minus1(static_cast<std::int32_t>(FCV.Size()) - 1) {}

TCFB_8BitLink::~TCFB_8BitLink() { ZeroStreamContent(FTemp); }

void TCFB_8BitLink::Burn() {
  TBlockChainLink::Burn();
  ZeroStreamContent(FTemp);
}

void TCFB_8BitLink::Reset(const MemoryStream& IV) {
  TBlockChainLink::Reset(IV);
  ZeroStreamContent(FTemp);
  FTemp.SetSize(FCV.Size());
  FBlockSize_Minus1 = static_cast<std::int32_t>(FCV.Size()) - 1;
}

std::unique_ptr<TBlockChainLink> TCFB_8BitLink::Clone() { return std::make_unique<TCFB_8BitLink>(FKey, FCV, FCipher); }

std::uint8_t TCFB_8BitLink::KeyByte() {
  const std::size_t b = BlockLength(FCV, "TCFB_8BitLink.Encrypt_8bit");
  if (FBlockSize_Minus1 + 1 != static_cast<std::int32_t>(b) || static_cast<std::size_t>(FTemp.Size()) < b)
    throw AssertionError("TCFB_8BitLink.Encrypt_8bit - No chaining value.");
  FCipher->Encrypt_Block(FCV, FTemp);
  return FTemp.Memory()[0];
}

void TCFB_8BitLink::ShiftIn(std::uint8_t c) noexcept {
  std::uint8_t* cv = FCV.Memory();
  std::memmove(cv, cv + 1, static_cast<std::size_t>(FBlockSize_Minus1));
  cv[FBlockSize_Minus1] = c;
}

void TCFB_8BitLink::Encrypt_8bit(std::uint8_t Plaintext, std::uint8_t& Ciphertext) {
  const std::uint8_t c = static_cast<std::uint8_t>(Plaintext ^ KeyByte());
  ShiftIn(c);
  Ciphertext = c;
}

void TCFB_8BitLink::Decrypt_8bit(std::uint8_t& Plaintext, std::uint8_t Ciphertext) {
  Plaintext = static_cast<std::uint8_t>(Ciphertext ^ KeyByte());
  ShiftIn(Ciphertext);
}

// ---- Models ----------------------------------------------------------------

std::u16string TCBC::DefinitionURL() const {
  return u"NIST SP 800-38A, Recommendation for Block Cipher Modes of Operation, section 6.2 (CBC): "
         u"https://doi.org/10.6028/NIST.SP.800-38A";
}

std::unique_ptr<TBlockChainLink> TCBC::MakeEncryptLink(TSymetricKey* Key, const MemoryStream& IV,
                                                       std::shared_ptr<IBlockCodec> Codec) {
  return std::make_unique<TCBCLink>(Key, IV, std::move(Codec), false);
}

std::unique_ptr<TBlockChainLink> TCBC::MakeDecryptLink(TSymetricKey* Key, const MemoryStream& IV,
                                                       std::shared_ptr<IBlockCodec> Codec) {
  return std::make_unique<TCBCLink>(Key, IV, std::move(Codec), true);
}

std::u16string TCFB_8Bit::DefinitionURL() const {
  return u"NIST SP 800-38A, Recommendation for Block Cipher Modes of Operation, section 6.3 (CFB): "
         u"https://doi.org/10.6028/NIST.SP.800-38A";
}

std::unique_ptr<TBlockChainLink> TCFB_8Bit::MakeEncryptLink(TSymetricKey* Key, const MemoryStream& IV,
                                                            std::shared_ptr<IBlockCodec> Codec) {
  return std::make_unique<TCFB_8BitLink>(Key, IV, std::move(Codec));
}

std::unique_ptr<TBlockChainLink> TCFB_8Bit::MakeDecryptLink(TSymetricKey* Key, const MemoryStream& IV,
                                                            std::shared_ptr<IBlockCodec> Codec) {
  return std::make_unique<TCFB_8BitLink>(Key, IV, std::move(Codec));
}

}  // namespace qlx::cipher
