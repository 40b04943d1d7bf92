#include <sys/random.h>
#include <x86intrin.h>

#include <cstring>

#include "cipher/random.h"

namespace qlx::cipher {

bool ProviderSeed(std::uint64_t& seed) noexcept {
  unsigned char bytes[8];
  if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) return false;
  seed = 0;
  for (int i = 7; i >= 0; --i) seed = (seed << 8) | bytes[i];
  std::memset(bytes, 0, sizeof bytes);
  return true;
}

std::uint64_t TimeStampCounter() noexcept { return __rdtsc(); }

}  // namespace qlx::cipher
