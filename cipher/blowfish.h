#pragma once
// Blowfish: 64-bit blocks, 16 rounds, keys of 1 to 72 effective bytes.
// Stored settings values depend on every detail here, bit for bit.
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cipher/algorithm.h"

namespace qlx::cipher {

constexpr std::size_t kBlowfishPWords = 18;
constexpr std::size_t kBlowfishSWords = 4 * 256;
constexpr std::size_t kBlowfishTableWords = kBlowfishPWords + kBlowfishSWords;
// The digits of pi: P0..P17, then S0..S3 (blowfish_tables.cpp).
extern const std::uint32_t kBlowfishInitialTables[kBlowfishTableWords];

// S0, S1, S2, S3 of 256 words each, back to back (S1[i] is [256 + i]).
using TSBox = std::array<std::uint32_t, kBlowfishSWords>;
using TPBox = std::array<std::uint32_t, kBlowfishPWords>;

namespace detail {
// The key schedule alone. Where the processor has BMI1 a faster build of
// the same round code is used; both give the same tables bit for bit.
enum class TKeyScheduleCode { Portable, Bmi1 };
bool KeyScheduleAvailable(TKeyScheduleCode code) noexcept;
TKeyScheduleCode FastestKeySchedule() noexcept;
// Falls back to the portable code when `code` is not available.
void RunKeySchedule(TKeyScheduleCode code, const std::uint8_t* seed, std::size_t count, TPBox& P, TSBox& S);
}  // namespace detail

class TBlowfishKey final : public TSymetricKey {
 public:
  // The key schedule over raw seed bytes; count must be at least 1.
  TBlowfishKey(const std::uint8_t* seed, std::size_t count);
  ~TBlowfishKey() override;

  // The seed is the whole stream, read from position 0.
  static std::unique_ptr<TBlowfishKey> GenerateFromSeed(Stream& Seed);
  // Reads the saved form from the stream's current position.
  static std::unique_ptr<TBlowfishKey> LoadFromStream(Stream& Store);

  void SaveToStream(Stream& stream) override;
  void Burn() override;

  // The block function on words (L, R); the codec's byte order is outside.
  void Encipher(std::uint32_t& L, std::uint32_t& R) const noexcept;
  void Decipher(std::uint32_t& L, std::uint32_t& R) const noexcept;
  // Eight bytes, big-endian halves; in and out may be the same buffer.
  void EncipherBlock(const std::uint8_t in[8], std::uint8_t out[8]) const noexcept;
  void DecipherBlock(const std::uint8_t in[8], std::uint8_t out[8]) const noexcept;

  std::int32_t KeySize() const noexcept { return FKeySize; }
  const std::vector<std::uint8_t>& SeedData() const noexcept { return FSeedData; }
  const TSBox& SBox() const noexcept { return FSBox; }
  const TPBox& PBox() const noexcept { return FPBox; }

 private:
  TBlowfishKey() = default;
  void Schedule();

  std::int32_t FKeySize = 0;
  std::vector<std::uint8_t> FSeedData;
  alignas(64) TSBox FSBox{};
  TPBox FPBox{};
};

class TBlowFish;

class TBlowfishBlockCodec final : public IBlockCodec {
 public:
  TBlowfishBlockCodec(std::shared_ptr<const TBlowFish> owner, const TBlowfishKey& key)
      : FOwner(std::move(owner)), FKey(&key) {}

  void Encrypt_Block(MemoryStream& Plaintext, MemoryStream& Ciphertext) override;
  void Decrypt_Block(MemoryStream& Plaintext, MemoryStream& Ciphertext) override;
  // The key belongs to whoever made it.
  void Reset() override {}
  void Burn() override {}

  const TBlowfishKey& Key() const noexcept { return *FKey; }

 private:
  std::shared_ptr<const TBlowFish> FOwner;  // empty when the cipher is not shared-owned
  const TBlowfishKey* FKey;
};

class TBlowFish final : public IBlockCipher,
                        public IControlObject,
                        public ISeedByteSizeRange,
                        public std::enable_shared_from_this<TBlowFish> {
 public:
  std::u16string DisplayName() const override { return u"Blowfish"; }
  std::u16string ProgId() const override { return u"native.Blowfish"; }
  TAlgorithmicFeatureSet Features() const override { return {afOpenSourceSoftware}; }
  std::u16string DefinitionURL() const override;
  std::u16string WikipediaReference() const override { return u"Blowfish_(cipher)"; }

  std::unique_ptr<TSymetricKey> GenerateKey(Stream& Seed) override;
  std::unique_ptr<TSymetricKey> LoadKeyFromStream(Stream& Store) override;
  std::int32_t BlockSize() const override { return 64; }
  std::int32_t KeySize() const override { return 64; }
  std::int32_t SeedByteSize() const override { return (KeySize() + 7) / 8; }
  std::shared_ptr<IBlockCodec> MakeBlockCodec(TSymetricKey& Key) override;
  std::u16string SelfTest_Key() const override;
  std::u16string SelfTest_Plaintext() const override;
  std::u16string SelfTest_Ciphertext() const override;

  IInterface* ControlObject() override { return this; }
  // The seed lengths the cipher accepts, the attribute of SeedByteSize.
  std::optional<IntegerRange> SeedByteSizeRange() const override { return IntegerRange{1, 56}; }
};

}  // namespace qlx::cipher
