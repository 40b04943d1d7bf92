#pragma once
// The registry that finds algorithm objects by ProgId, never by class.
#include <memory>
#include <string>
#include <vector>

#include "cipher/algorithm.h"

namespace qlx::cipher {

class TCodec;

// A hash algorithm's entry in the registry.
class IHashDsc : public ICryptoGraphicAlgorithm {
 public:
  virtual std::shared_ptr<IHash> MakeHash() = 0;
};

// ProgIds compare ignoring case (ASCII and the Latin letters).
bool SameProgId(const std::u16string& a, const std::u16string& b);

class TCryptographicLibrary {
 public:
  // Registers the built-in algorithms.
  TCryptographicLibrary();
  TCryptographicLibrary(const TCryptographicLibrary&) = delete;
  TCryptographicLibrary& operator=(const TCryptographicLibrary&) = delete;
  // Tells every attached codec that the library is gone.
  ~TCryptographicLibrary();

  // None when nothing matches, and always none while being destroyed.
  std::shared_ptr<IStreamCipher> StreamCipherIntfc(const std::u16string& ProgId) const;
  std::shared_ptr<IBlockCipher> BlockCipherIntfc(const std::u16string& ProgId) const;
  std::shared_ptr<IBlockChainingModel> BlockChainingModelIntfc(const std::u16string& ProgId) const;
  std::shared_ptr<IHashDsc> HashIntfc(const std::u16string& ProgId) const;

  // An object already listed is ignored; one with the same ProgId is replaced.
  void RegisterStreamCipher(std::shared_ptr<IStreamCipher> cipher);
  void RegisterBlockCipher(std::shared_ptr<IBlockCipher> cipher);
  void RegisterBlockChainingModel(std::shared_ptr<IBlockChainingModel> model);
  void RegisterHash(std::shared_ptr<IHashDsc> hash);

  // Codecs that refer to this library, told when it goes away.
  void AttachCodec(TCodec* codec);
  void DetachCodec(TCodec* codec);

 private:
  template <class T>
  std::shared_ptr<T> Find(const std::vector<std::shared_ptr<T>>& list, const std::u16string& ProgId) const;

  std::vector<std::shared_ptr<IStreamCipher>> FStreamCiphers;
  std::vector<std::shared_ptr<IBlockCipher>> FBlockCiphers;
  std::vector<std::shared_ptr<IBlockChainingModel>> FChainModes;
  std::vector<std::shared_ptr<IHashDsc>> FHashes;
  std::vector<TCodec*> FCodecs;
  bool FDestroying = false;
};

}  // namespace qlx::cipher
