#include "cipher/random.h"

#include <algorithm>
#include <memory>

namespace qlx::cipher {

namespace {
TRandomStream* g_instance = nullptr;
// Owns the shared instance so that it is freed when the program ends.
std::unique_ptr<TRandomStream> g_owned;
}  // namespace

TRandomStream& TRandomStream::Instance() {
  if (g_instance == nullptr) g_owned = std::make_unique<TRandomStream>();
  return *g_instance;
}

TRandomStream::TRandomStream(TSeedSource& source) : source_(source) {
  if (g_instance == nullptr) g_instance = this;
  Randomize();
}

TRandomStream::~TRandomStream() {
  if (g_instance == this) g_instance = nullptr;
}

void TRandomStream::Randomize() {
  std::uint64_t seed = 0;
  if (!source_.ProviderSeed(seed)) seed = source_.TimeStampCounter();
  FValue = seed;
  // The provider's own bytes are never handed out: the first word read is
  // already the stepped state.
  NextState();
}

void TRandomStream::SetSeed(std::uint64_t value) noexcept {
  FValue = value;
  FBuffer = value;
  FAvail = 8;
}

void TRandomStream::NextState() noexcept {
  FValue = FValue * 6364136223846793005ULL + 1;
  FBuffer = FValue;
  FAvail = 8;
}

std::int64_t TRandomStream::Read(void* buffer, std::int64_t count) {
  const std::int64_t n = std::max<std::int64_t>(count, 0);
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::int64_t remaining = n;
  while (remaining > 0) {
    const std::int32_t b = static_cast<std::int32_t>(std::min<std::int64_t>(FAvail, remaining));
    for (std::int32_t i = 0; i < b; ++i) *out++ = static_cast<std::uint8_t>(FBuffer >> (8 * i));
    FAvail -= b;
    remaining -= b;
    if (FAvail == 0)
      NextState();
    else
      FBuffer >>= 8 * b;
  }
  return n;
}

}  // namespace qlx::cipher
