#pragma once
// SHA-1 (FIPS 180-4): the codec's password hasher.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "cipher/algorithm.h"

namespace qlx::cipher {

constexpr std::size_t kSha1DigestSize = 20;
using TSha1Digest = std::array<std::uint8_t, kSha1DigestSize>;

// One-shot digest of a byte string.
TSha1Digest Sha1(const void* data, std::size_t count);

class TSHA1 final : public IHash {
 public:
  TSHA1();
  ~TSHA1() override;

  void Begin() override;
  void Update(const void* data, std::size_t count) override;
  void End() override;
  const MemoryStream& HashOutputValue() const override { return FOutput; }
  void Burn() override;

 private:
  void Compress(const std::uint8_t* block) noexcept;

  std::uint32_t FState[5];
  std::uint8_t FBlock[64];
  std::size_t FBlockLen = 0;
  std::uint64_t FTotalBytes = 0;
  MemoryStream FOutput;
};

// The codec's hasher: a front for whichever hash it is set to. Without one
// it yields an empty digest, which the codec reports as a failed hash.
class TSimpleHash final : public IHash {
 public:
  TSimpleHash() = default;
  explicit TSimpleHash(std::unique_ptr<IHash> hash) : FHash(std::move(hash)) {}
  ~TSimpleHash() override;

  void SetHash(std::unique_ptr<IHash> hash);
  IHash* Hash() const noexcept { return FHash.get(); }

  void Begin() override;
  void Update(const void* data, std::size_t count) override;
  void End() override;
  const MemoryStream& HashOutputValue() const override;
  void Burn() override;

 private:
  std::unique_ptr<IHash> FHash;
  MemoryStream FEmpty;
};

}  // namespace qlx::cipher
