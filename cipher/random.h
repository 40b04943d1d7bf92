#pragma once
#include <cstdint>

#include "cipher/stream.h"

namespace qlx::cipher {

// Read-only stream of generator bytes: a 64-bit LCG seeded once from the
// platform's cryptographic provider, the time-stamp counter as fallback.
class TRandomStream final : public Stream {
 public:
  // The shared instance, created on first use and kept to the end.
  static TRandomStream& Instance();

  TRandomStream();
  ~TRandomStream() override;

  void Randomize();
  std::uint64_t Seed() const noexcept { return FValue; }
  void SetSeed(std::uint64_t value) noexcept;

  std::int64_t Read(void* buffer, std::int64_t count) override;
  std::int64_t Write(const void* buffer, std::int64_t count) override { (void)buffer; return count; }
  std::int64_t Seek(std::int64_t, SeekOrigin) override { return 0; }
  std::int64_t Size() const override { return 0; }
  void SetSize(std::int64_t) override {}

 private:
  void NextState() noexcept;

  std::uint64_t FValue = 0;
  std::uint64_t FBuffer = 0;
  std::int32_t FAvail = 0;
};

// Platform side of Randomize, one implementation per target: true and eight
// bytes of cryptographic randomness (little-endian) when the provider answers.
bool ProviderSeed(std::uint64_t& seed) noexcept;
std::uint64_t TimeStampCounter() noexcept;

}  // namespace qlx::cipher
