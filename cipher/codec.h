#pragma once
// The password codec: text <-> Base64 ciphertext under a password.
// TCodec is the caller's surface; TSimpleCodec the inner codec behind ICodec.
#include <cstdint>
#include <memory>
#include <string>

#include "cipher/algorithm.h"
#include "cipher/utf.h"

namespace qlx::cipher {

class TCryptographicLibrary;
class TSimpleCodec;
class ICodec;

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
