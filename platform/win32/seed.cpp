#include <windows.h>
#include <wincrypt.h>
#include <intrin.h>

#include <bit>

#include "base/wipe.h"
#include "cipher/random.h"
#include "platform/win32/unique_handle.h"

namespace qlx::cipher {

namespace {

// The provider's bytes are taken as the state in memory order.
static_assert(std::endian::native == std::endian::little);

// This file is the one user of CryptoAPI, so its owner lives here.
struct ReleaseCryptContext {
  void operator()(HCRYPTPROV provider) const noexcept { CryptReleaseContext(provider, 0); }
};
// A provider handle is a pointer-sized integer, not a pointer; 0 is none.
static_assert(sizeof(HCRYPTPROV) == sizeof(void*));
using unique_hcryptprov = platform::unique_any<HCRYPTPROV, ReleaseCryptContext>;

class Win32SeedSource final : public TSeedSource {
 public:
  bool ProviderSeed(std::uint64_t& seed) noexcept override {
    HCRYPTPROV acquired = 0;
    // No verify-only flag: this opens the user's default container of the
    // provider and, as on a machine without one, fails into the fallback.
    if (!CryptAcquireContextW(&acquired, nullptr, L"Microsoft Base Cryptographic Provider v1.0", PROV_RSA_FULL,
                              CRYPT_SILENT))
      return false;
    // Released on every way out, also when no bytes come.
    const unique_hcryptprov provider(acquired);
    std::uint64_t value = 0;
    const bool ok = CryptGenRandom(provider.get(), sizeof value, reinterpret_cast<BYTE*>(&value)) != FALSE;
    if (ok) seed = value;
    SecureWipe(&value, sizeof value);
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
