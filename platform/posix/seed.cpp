#include <sys/random.h>
#include <x86intrin.h>

#include "base/wipe.h"
#include "cipher/random.h"

namespace qlx::cipher {

namespace {

// getrandom(2) in place of the Windows provider; the counter serves where
// the call is missing or refused.
class PosixSeedSource final : public TSeedSource {
 public:
  bool ProviderSeed(std::uint64_t& seed) noexcept override {
    unsigned char bytes[8];
    const bool ok = getrandom(bytes, sizeof bytes, 0) == static_cast<ssize_t>(sizeof bytes);
    if (ok) {
      seed = 0;
      for (int i = 7; i >= 0; --i) seed = (seed << 8) | bytes[i];
    }
    SecureWipe(bytes, sizeof bytes);
    return ok;
  }
  std::uint64_t TimeStampCounter() noexcept override { return __rdtsc(); }
};

}  // namespace

TSeedSource& PlatformSeedSource() noexcept {
  static PosixSeedSource source;
  return source;
}

}  // namespace qlx::cipher
