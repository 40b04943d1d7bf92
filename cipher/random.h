#pragma once
#include <cstdint>

#include "cipher/stream.h"

namespace qlx::cipher {

// Where Randomize takes its seed: the platform's cryptographic provider,
// and the processor's time-stamp counter when the provider does not answer.
// Tests hand a stream a source of their own.
class TSeedSource {
 public:
  virtual ~TSeedSource() = default;
  // True, with eight bytes of cryptographic randomness read as a
  // little-endian number, when the provider answers; seed is not to be
  // trusted otherwise.
  virtual bool ProviderSeed(std::uint64_t& seed) noexcept = 0;
  virtual std::uint64_t TimeStampCounter() noexcept = 0;
};

// The platform's own source. Its body is the OS platform library's
// (platform/posix, platform/win32), linked by every program and test.
TSeedSource& PlatformSeedSource() noexcept;

// Read-only stream of generator bytes: a 64-bit LCG seeded once from the
// platform's cryptographic provider, the time-stamp counter as fallback.
class TRandomStream final : public Stream {
 public:
  // The shared instance, created on first use and kept to the end.
  static TRandomStream& Instance();

  // Seeds itself from `source`, which outlives the stream.
  explicit TRandomStream(TSeedSource& source = PlatformSeedSource());
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

  TSeedSource& source_;
  std::uint64_t FValue = 0;
  std::uint64_t FBuffer = 0;
  std::int32_t FAvail = 0;
};

}  // namespace qlx::cipher
