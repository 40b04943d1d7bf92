#include "cipher/library.h"

#include <algorithm>

#include "cipher/blowfish.h"
#include "cipher/chaining.h"
#include "cipher/codec.h"
#include "cipher/stream_adapter.h"

namespace qlx::cipher {

namespace {

// Simple lower-case mapping of ASCII, Latin-1 and Latin Extended-A; the
// dotted and dotless I keep their own identity.
char16_t FoldCase(char16_t c) {
  if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 0x20);
  if (c < 0xC0) return c;
  if (c <= 0xDE) return c == 0xD7 ? c : static_cast<char16_t>(c + 0x20);
  if (c < 0x100 || c > 0x17E) return c;
  if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149) return c;
  if (c == 0x178) return 0xFF;
  const bool evenUpper = (c <= 0x137) || (c >= 0x14A && c <= 0x177);
  const bool isUpper = evenUpper ? (c % 2 == 0) : (c % 2 == 1);
  return isUpper ? static_cast<char16_t>(c + 1) : c;
}

template <class T>
void Register(std::vector<std::shared_ptr<T>>& list, std::shared_ptr<T> item) {
  if (!item) return;
  if (std::find(list.begin(), list.end(), item) != list.end()) return;
  const std::u16string id = item->ProgId();
  std::erase_if(list, [&](const std::shared_ptr<T>& entry) { return SameProgId(entry->ProgId(), id); });
  list.push_back(std::move(item));
}

}  // namespace

bool SameProgId(const std::u16string& a, const std::u16string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  return true;
}

TCryptographicLibrary::TCryptographicLibrary() {
  RegisterStreamCipher(std::make_shared<TStreamToBlock_Adapter>());
  RegisterBlockCipher(std::make_shared<TBlowFish>());
  RegisterBlockChainingModel(std::make_shared<TCBC>());
}

TCryptographicLibrary::~TCryptographicLibrary() {
  FDestroying = true;
  // A codec told of our end detaches itself; work on a copy.
  const std::vector<TCodec*> codecs = FCodecs;
  for (TCodec* codec : codecs) codec->LibraryDestroyed(this);
  FCodecs.clear();
}

template <class T>
std::shared_ptr<T> TCryptographicLibrary::Find(const std::vector<std::shared_ptr<T>>& list,
                                               const std::u16string& ProgId) const {
  if (FDestroying) return nullptr;
  for (const auto& entry : list)
    if (SameProgId(entry->ProgId(), ProgId)) return entry;
  return nullptr;
}

std::shared_ptr<IStreamCipher> TCryptographicLibrary::StreamCipherIntfc(const std::u16string& ProgId) const {
  return Find(FStreamCiphers, ProgId);
}

std::shared_ptr<IBlockCipher> TCryptographicLibrary::BlockCipherIntfc(const std::u16string& ProgId) const {
  return Find(FBlockCiphers, ProgId);
}

std::shared_ptr<IBlockChainingModel> TCryptographicLibrary::BlockChainingModelIntfc(
    const std::u16string& ProgId) const {
  return Find(FChainModes, ProgId);
}

std::shared_ptr<IHashDsc> TCryptographicLibrary::HashIntfc(const std::u16string& ProgId) const {
  return Find(FHashes, ProgId);
}

void TCryptographicLibrary::RegisterStreamCipher(std::shared_ptr<IStreamCipher> cipher) {
  Register(FStreamCiphers, std::move(cipher));
}

void TCryptographicLibrary::RegisterBlockCipher(std::shared_ptr<IBlockCipher> cipher) {
  Register(FBlockCiphers, std::move(cipher));
}

void TCryptographicLibrary::RegisterBlockChainingModel(std::shared_ptr<IBlockChainingModel> model) {
  Register(FChainModes, std::move(model));
}

void TCryptographicLibrary::RegisterHash(std::shared_ptr<IHashDsc> hash) { Register(FHashes, std::move(hash)); }

void TCryptographicLibrary::AttachCodec(TCodec* codec) {
  if (codec != nullptr && std::find(FCodecs.begin(), FCodecs.end(), codec) == FCodecs.end())
    FCodecs.push_back(codec);
}

void TCryptographicLibrary::DetachCodec(TCodec* codec) { std::erase(FCodecs, codec); }

}  // namespace qlx::cipher
