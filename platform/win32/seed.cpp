#include <windows.h>
#include <wincrypt.h>
#include <intrin.h>

#include "cipher/random.h"

namespace qlx::cipher {

namespace {

class Win32SeedSource final : public TSeedSource {
 public:
  bool ProviderSeed(std::uint64_t& seed) noexcept override {
    HCRYPTPROV provider = 0;
    // No verify-only flag: this opens the user's default container of the
    // provider and, as on a machine without one, fails into the fallback.
    if (!CryptAcquireContextW(&provider, nullptr, L"Microsoft Base Cryptographic Provider v1.0", PROV_RSA_FULL,
                              CRYPT_SILENT))
      return false;
    std::uint64_t value = 0;
    const bool ok = CryptGenRandom(provider, sizeof value, reinterpret_cast<BYTE*>(&value)) != FALSE;
    CryptReleaseContext(provider, 0);
    if (ok) seed = value;
    return ok;
  }
  std::uint64_t TimeStampCounter() noexcept override { return __rdtsc(); }
};

}  // namespace

TSeedSource& PlatformSeedSource() noexcept {
  static Win32SeedSource source;
  return source;
}

}  // namespace qlx::cipher
