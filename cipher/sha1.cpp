#include "cipher/sha1.h"

#include <algorithm>
#include <cstring>

#include "base/wipe.h"

namespace qlx::cipher {

namespace {

constexpr std::uint32_t kInitialState[5] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u};

inline std::uint32_t Rotl(std::uint32_t x, int n) noexcept { return (x << n) | (x >> (32 - n)); }

inline std::uint32_t LoadBE(const std::uint8_t* p) noexcept {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

inline void StoreBE(std::uint8_t* p, std::uint32_t v) noexcept {
  p[0] = static_cast<std::uint8_t>(v >> 24);
  p[1] = static_cast<std::uint8_t>(v >> 16);
  p[2] = static_cast<std::uint8_t>(v >> 8);
  p[3] = static_cast<std::uint8_t>(v);
}

}  // namespace

TSHA1::TSHA1() { Begin(); }

TSHA1::~TSHA1() { Burn(); }

void TSHA1::Begin() {
  std::memcpy(FState, kInitialState, sizeof FState);
  SecureWipe(FBlock, sizeof FBlock);
  FBlockLen = 0;
  FTotalBytes = 0;
}

void TSHA1::Compress(const std::uint8_t* block) noexcept {
  std::uint32_t w[80];
  for (int t = 0; t < 16; ++t) w[t] = LoadBE(block + 4 * t);
  for (int t = 16; t < 80; ++t) w[t] = Rotl(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);

  std::uint32_t a = FState[0], b = FState[1], c = FState[2], d = FState[3], e = FState[4];
  for (int t = 0; t < 80; ++t) {
    std::uint32_t f, k;
    if (t < 20) {
      f = (b & c) | (~b & d);
      k = 0x5A827999u;
    } else if (t < 40) {
      f = b ^ c ^ d;
      k = 0x6ED9EBA1u;
    } else if (t < 60) {
      f = (b & c) | (b & d) | (c & d);
      k = 0x8F1BBCDCu;
    } else {
      f = b ^ c ^ d;
      k = 0xCA62C1D6u;
    }
    const std::uint32_t temp = Rotl(a, 5) + f + e + k + w[t];
    e = d;
    d = c;
    c = Rotl(b, 30);
    b = a;
    a = temp;
  }
  FState[0] += a;
  FState[1] += b;
  FState[2] += c;
  FState[3] += d;
  FState[4] += e;
  // The schedule is a function of the (secret) message block.
  SecureWipe(w, sizeof w);
}

void TSHA1::Update(const void* data, std::size_t count) {
  auto* p = static_cast<const std::uint8_t*>(data);
  FTotalBytes += count;
  if (FBlockLen > 0) {
    const std::size_t take = std::min(count, sizeof FBlock - FBlockLen);
    std::memcpy(FBlock + FBlockLen, p, take);
    FBlockLen += take;
    p += take;
    count -= take;
    if (FBlockLen < sizeof FBlock) return;
    Compress(FBlock);
    FBlockLen = 0;
  }
  for (; count >= 64; count -= 64, p += 64) Compress(p);
  if (count > 0) {
    std::memcpy(FBlock, p, count);
    FBlockLen = count;
  }
}

void TSHA1::End() {
  const std::uint64_t bit_length = FTotalBytes * 8;
  FBlock[FBlockLen++] = 0x80;
  if (FBlockLen > 56) {
    std::memset(FBlock + FBlockLen, 0, sizeof FBlock - FBlockLen);
    Compress(FBlock);
    FBlockLen = 0;
  }
  std::memset(FBlock + FBlockLen, 0, 56 - FBlockLen);
  for (int i = 0; i < 8; ++i) FBlock[56 + i] = static_cast<std::uint8_t>(bit_length >> (56 - 8 * i));
  Compress(FBlock);

  FOutput.SetSize(static_cast<std::int64_t>(kSha1DigestSize));
  for (int i = 0; i < 5; ++i) StoreBE(FOutput.Memory() + 4 * i, FState[i]);
  FOutput.SetPosition(0);
  // Ready for the next message without an explicit Begin.
  Begin();
}

void TSHA1::Burn() {
  SecureWipe(FState, sizeof FState);
  SecureWipe(FBlock, sizeof FBlock);
  FBlockLen = 0;
  FTotalBytes = 0;
  WipeMemoryStream(FOutput);
  std::memcpy(FState, kInitialState, sizeof FState);
}

TSha1Digest Sha1(const void* data, std::size_t count) {
  TSHA1 hash;
  hash.Update(data, count);
  hash.End();
  TSha1Digest digest;
  std::memcpy(digest.data(), hash.HashOutputValue().Memory(), digest.size());
  return digest;
}

TSimpleHash::~TSimpleHash() { Burn(); }

void TSimpleHash::SetHash(std::unique_ptr<IHash> hash) {
  if (FHash) FHash->Burn();
  FHash = std::move(hash);
}

void TSimpleHash::Begin() {
  if (FHash) FHash->Begin();
}

void TSimpleHash::Update(const void* data, std::size_t count) {
  if (FHash) FHash->Update(data, count);
}

void TSimpleHash::End() {
  if (FHash) FHash->End();
}

const MemoryStream& TSimpleHash::HashOutputValue() const { return FHash ? FHash->HashOutputValue() : FEmpty; }

void TSimpleHash::Burn() {
  if (FHash) FHash->Burn();
}

}  // namespace qlx::cipher
