#include "cipher/blowfish.h"

#include <algorithm>
#include <cstring>

#include "base/errors.h"
#include "base/wipe.h"

namespace qlx::cipher {

namespace {

constexpr char kSelfTestKey[] = "qlxdrive";
constexpr char kSelfTestPlaintext[] = "12345678";
// "12345678" under "qlxdrive"; cross-checked against an independent
// Blowfish in the tests.
constexpr char16_t kSelfTestCiphertext[] = u"A8717D8DE014BE72";

constexpr std::size_t kSavedTablesBytes = 4 * (kBlowfishSWords + kBlowfishPWords);

#if defined(__GNUC__)
#define QLX_BF_INLINE inline __attribute__((always_inline))
#else
#define QLX_BF_INLINE inline
#endif

// How F finds byte 2 of its input, the one index that takes two
// instructions (shift, zero-extend) on the plain instruction set.
struct PlainByte2 {
  static QLX_BF_INLINE std::size_t Get(std::uint32_t x) noexcept { return (x >> 16) & 0xFF; }
};

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
#define QLX_BF_HAVE_BEXTR 1
// BMI1's bit-field extract does it in one. The key schedule is one chain of
// 521 dependent encipherments, so the saved step per round shows there; asm
// keeps the newer instruction set out of all other code.
struct BextrByte2 {
  static QLX_BF_INLINE std::size_t Get(std::uint32_t x) noexcept {
    std::uint32_t b;
    __asm__("bextr %2, %1, %0" : "=r"(b) : "r"(x), "r"(0x0810u));  // 8 bits from bit 16
    return b;
  }
};

bool ProcessorHasBmi1() noexcept {
  static const bool has = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("bmi") != 0;
  }();
  return has;
}
#endif

template <class Byte2 = PlainByte2>
QLX_BF_INLINE std::uint32_t F(const std::uint32_t* S, std::uint32_t x) noexcept {
  // Byte indices widened first, so that the box offsets fold into the
  // addressing instead of costing an instruction on the critical path.
  const std::size_t a = x >> 24, b = Byte2::Get(x), c = (x >> 8) & 0xFF, d = x & 0xFF;
  return ((S[a] + S[0x100 + b]) ^ S[0x200 + c]) + S[0x300 + d];
}

template <class Byte2 = PlainByte2>
QLX_BF_INLINE void EncipherWords(const std::uint32_t* P, const std::uint32_t* S, std::uint32_t& left,
                                 std::uint32_t& right) noexcept {
  std::uint32_t l = left ^ P[0], r = right;
  r ^= F<Byte2>(S, l) ^ P[1];
  l ^= F<Byte2>(S, r) ^ P[2];
  r ^= F<Byte2>(S, l) ^ P[3];
  l ^= F<Byte2>(S, r) ^ P[4];
  r ^= F<Byte2>(S, l) ^ P[5];
  l ^= F<Byte2>(S, r) ^ P[6];
  r ^= F<Byte2>(S, l) ^ P[7];
  l ^= F<Byte2>(S, r) ^ P[8];
  r ^= F<Byte2>(S, l) ^ P[9];
  l ^= F<Byte2>(S, r) ^ P[10];
  r ^= F<Byte2>(S, l) ^ P[11];
  l ^= F<Byte2>(S, r) ^ P[12];
  r ^= F<Byte2>(S, l) ^ P[13];
  l ^= F<Byte2>(S, r) ^ P[14];
  r ^= F<Byte2>(S, l) ^ P[15];
  l ^= F<Byte2>(S, r) ^ P[16];
  left = r ^ P[17];
  right = l;
}

QLX_BF_INLINE void DecipherWords(const std::uint32_t* P, const std::uint32_t* S, std::uint32_t& left,
                                 std::uint32_t& right) noexcept {
  std::uint32_t l = left ^ P[17], r = right;
  r ^= F(S, l) ^ P[16];
  l ^= F(S, r) ^ P[15];
  r ^= F(S, l) ^ P[14];
  l ^= F(S, r) ^ P[13];
  r ^= F(S, l) ^ P[12];
  l ^= F(S, r) ^ P[11];
  r ^= F(S, l) ^ P[10];
  l ^= F(S, r) ^ P[9];
  r ^= F(S, l) ^ P[8];
  l ^= F(S, r) ^ P[7];
  r ^= F(S, l) ^ P[6];
  l ^= F(S, r) ^ P[5];
  r ^= F(S, l) ^ P[4];
  l ^= F(S, r) ^ P[3];
  r ^= F(S, l) ^ P[2];
  l ^= F(S, r) ^ P[1];
  left = r ^ P[0];
  right = l;
}

// The cipher's own byte order, whatever the host's.
QLX_BF_INLINE std::uint32_t LoadBE(const std::uint8_t* p) noexcept {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | std::uint32_t{p[3]};
}
QLX_BF_INLINE void StoreBE(std::uint8_t* p, std::uint32_t v) noexcept {
  p[0] = static_cast<std::uint8_t>(v >> 24);
  p[1] = static_cast<std::uint8_t>(v >> 16);
  p[2] = static_cast<std::uint8_t>(v >> 8);
  p[3] = static_cast<std::uint8_t>(v);
}
// The saved key form is the one little-endian place.
inline std::uint32_t LoadLE(const std::uint8_t* p) noexcept {
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}
inline void StoreLE(std::uint8_t* p, std::uint32_t v) noexcept {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

[[noreturn]] void EmptySeed() { throw Error("TBlowFish.GenerateKey - Empty seed."); }

void RequireBlock(const MemoryStream& stream) {
  // Never read or write past a short buffer.
  if (stream.Size() < 8) throw AssertionError("TBlowfishBlockCodec - Block shorter than 8 bytes.");
}

std::u16string Hex(const std::uint8_t* bytes, std::size_t count) {
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string out;
  out.reserve(2 * count);
  for (std::size_t i = 0; i < count; ++i) {
    out.push_back(kDigits[bytes[i] >> 4]);
    out.push_back(kDigits[bytes[i] & 15]);
  }
  return out;
}

template <class Byte2>
QLX_BF_INLINE void ScheduleTables(const std::uint8_t* k, std::size_t n, std::uint32_t* P, std::uint32_t* S) noexcept {
  std::memcpy(P, kBlowfishInitialTables, kBlowfishPWords * 4);
  std::memcpy(S, kBlowfishInitialTables + kBlowfishPWords, kBlowfishSWords * 4);

  // The seed is one continuous cycle of bytes across the 18 words.
  std::size_t j = 0;
  std::uint32_t word = 0;
  for (std::size_t i = 0; i < kBlowfishPWords; ++i) {
    word = 0;
    for (int b = 0; b < 4; ++b) {
      word = (word << 8) | k[j];
      if (++j == n) j = 0;
    }
    P[i] ^= word;
  }

  std::uint32_t l = 0, r = 0;
  for (std::size_t i = 0; i < kBlowfishPWords; i += 2) {
    EncipherWords<Byte2>(P, S, l, r);
    P[i] = l;
    P[i + 1] = r;
  }
  for (std::size_t i = 0; i < kBlowfishSWords; i += 2) {
    EncipherWords<Byte2>(P, S, l, r);
    S[i] = l;
    S[i + 1] = r;
  }
  SecureWipe(&word, sizeof word);
  SecureWipe(&l, sizeof l);
  SecureWipe(&r, sizeof r);
}

}  // namespace

namespace detail {

bool KeyScheduleAvailable(TKeyScheduleCode code) noexcept {
#if QLX_BF_HAVE_BEXTR
  if (code == TKeyScheduleCode::Bmi1) return ProcessorHasBmi1();
#endif
  return code == TKeyScheduleCode::Portable;
}

TKeyScheduleCode FastestKeySchedule() noexcept {
  return KeyScheduleAvailable(TKeyScheduleCode::Bmi1) ? TKeyScheduleCode::Bmi1 : TKeyScheduleCode::Portable;
}

void RunKeySchedule(TKeyScheduleCode code, const std::uint8_t* seed, std::size_t count, TPBox& P, TSBox& S) {
  if (count == 0) EmptySeed();
#if QLX_BF_HAVE_BEXTR
  if (code == TKeyScheduleCode::Bmi1 && ProcessorHasBmi1()) {
    ScheduleTables<BextrByte2>(seed, count, P.data(), S.data());
    return;
  }
#endif
  (void)code;
  ScheduleTables<PlainByte2>(seed, count, P.data(), S.data());
}

}  // namespace detail

TBlowfishKey::TBlowfishKey(const std::uint8_t* seed, std::size_t count) {
  if (count == 0) EmptySeed();
  FSeedData.assign(seed, seed + count);
  FKeySize = static_cast<std::int32_t>(count);
  Schedule();
}

TBlowfishKey::~TBlowfishKey() { Burn(); }

void TBlowfishKey::Schedule() {
  detail::RunKeySchedule(detail::FastestKeySchedule(), FSeedData.data(), FSeedData.size(), FPBox, FSBox);
}

std::unique_ptr<TBlowfishKey> TBlowfishKey::GenerateFromSeed(Stream& Seed) {
  const std::int64_t size = Seed.Size();
  if (size <= 0) EmptySeed();
  Wiped<std::vector<std::uint8_t>> bytes(std::vector<std::uint8_t>(static_cast<std::size_t>(size)));
  Seed.SetPosition(0);
  Seed.ReadBuffer(bytes->data(), size);
  return std::make_unique<TBlowfishKey>(bytes->data(), bytes->size());
}

std::unique_ptr<TBlowfishKey> TBlowfishKey::LoadFromStream(Stream& Store) {
  std::unique_ptr<TBlowfishKey> key(new TBlowfishKey());
  std::uint8_t length = 0;
  Store.ReadBuffer(&length, 1);
  key->FSeedData.resize(length);
  Store.ReadBuffer(key->FSeedData.data(), length);
  key->FKeySize = length;
  std::uint8_t flag = 0;
  Store.ReadBuffer(&flag, 1);
  if (flag == 0) {
    // Tables left out: rebuild them from the seed.
    if (length == 0) EmptySeed();
    key->Schedule();
    return key;
  }
  Wiped<std::vector<std::uint8_t>> tables{std::vector<std::uint8_t>(kSavedTablesBytes)};
  Store.ReadBuffer(tables->data(), static_cast<std::int64_t>(kSavedTablesBytes));
  const std::uint8_t* p = tables->data();
  for (auto& w : key->FSBox) w = LoadLE(p), p += 4;
  for (auto& w : key->FPBox) w = LoadLE(p), p += 4;
  return key;
}

void TBlowfishKey::SaveToStream(Stream& stream) {
  // The length byte holds only the low 8 bits; writing just that many seed
  // bytes keeps the record readable (the stored tables carry the key).
  const std::uint8_t length = static_cast<std::uint8_t>(FKeySize & 0xFF);
  const std::size_t seed_bytes = std::min<std::size_t>(length, FSeedData.size());
  Wiped<std::vector<std::uint8_t>> record(std::vector<std::uint8_t>(2 + seed_bytes + kSavedTablesBytes));
  std::uint8_t* p = record->data();
  *p++ = static_cast<std::uint8_t>(seed_bytes);
  if (seed_bytes) std::memcpy(p, FSeedData.data(), seed_bytes);
  p += seed_bytes;
  *p++ = 1;
  for (std::uint32_t w : FSBox) StoreLE(p, w), p += 4;
  for (std::uint32_t w : FPBox) StoreLE(p, w), p += 4;
  stream.WriteBuffer(record->data(), static_cast<std::int64_t>(record->size()));
}

void TBlowfishKey::Burn() {
  SecureWipe(FSeedData);
  SecureWipe(FSBox.data(), sizeof FSBox);
  SecureWipe(FPBox.data(), sizeof FPBox);
  FKeySize = 0;
}

void TBlowfishKey::Encipher(std::uint32_t& L, std::uint32_t& R) const noexcept {
  EncipherWords(FPBox.data(), FSBox.data(), L, R);
}

void TBlowfishKey::Decipher(std::uint32_t& L, std::uint32_t& R) const noexcept {
  DecipherWords(FPBox.data(), FSBox.data(), L, R);
}

void TBlowfishKey::EncipherBlock(const std::uint8_t in[8], std::uint8_t out[8]) const noexcept {
  std::uint32_t l = LoadBE(in), r = LoadBE(in + 4);
  EncipherWords(FPBox.data(), FSBox.data(), l, r);
  StoreBE(out, l);
  StoreBE(out + 4, r);
}

void TBlowfishKey::DecipherBlock(const std::uint8_t in[8], std::uint8_t out[8]) const noexcept {
  std::uint32_t l = LoadBE(in), r = LoadBE(in + 4);
  DecipherWords(FPBox.data(), FSBox.data(), l, r);
  StoreBE(out, l);
  StoreBE(out + 4, r);
}

void TBlowfishBlockCodec::Encrypt_Block(MemoryStream& Plaintext, MemoryStream& Ciphertext) {
  RequireBlock(Plaintext);
  RequireBlock(Ciphertext);
  FKey->EncipherBlock(Plaintext.Memory(), Ciphertext.Memory());
}

void TBlowfishBlockCodec::Decrypt_Block(MemoryStream& Plaintext, MemoryStream& Ciphertext) {
  RequireBlock(Plaintext);
  RequireBlock(Ciphertext);
  FKey->DecipherBlock(Ciphertext.Memory(), Plaintext.Memory());
}

std::u16string TBlowFish::DefinitionURL() const {
  return u"https://www.schneier.com/academic/archives/1994/09/description_of_a_new.html";
}

std::unique_ptr<TSymetricKey> TBlowFish::GenerateKey(Stream& Seed) { return TBlowfishKey::GenerateFromSeed(Seed); }

std::unique_ptr<TSymetricKey> TBlowFish::LoadKeyFromStream(Stream& Store) { return TBlowfishKey::LoadFromStream(Store); }

std::shared_ptr<IBlockCodec> TBlowFish::MakeBlockCodec(TSymetricKey& Key) {
  auto* key = dynamic_cast<TBlowfishKey*>(&Key);
  if (key == nullptr) throw Error("Invalid class typecast");
  return std::make_shared<TBlowfishBlockCodec>(weak_from_this().lock(), *key);
}

std::u16string TBlowFish::SelfTest_Key() const {
  TBlowfishKey key(reinterpret_cast<const std::uint8_t*>(kSelfTestKey), sizeof kSelfTestKey - 1);
  MemoryStream saved;
  key.SaveToStream(saved);
  return Hex(saved.Memory(), static_cast<std::size_t>(saved.Size()));
}

std::u16string TBlowFish::SelfTest_Plaintext() const {
  return Hex(reinterpret_cast<const std::uint8_t*>(kSelfTestPlaintext), sizeof kSelfTestPlaintext - 1);
}

std::u16string TBlowFish::SelfTest_Ciphertext() const { return kSelfTestCiphertext; }

}  // namespace qlx::cipher
