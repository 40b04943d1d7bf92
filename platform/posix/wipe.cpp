#include "cipher/wipe.h"

namespace qlx {

void SecureWipe(void* data, std::size_t size) noexcept {
  if (data == nullptr || size == 0) return;
  volatile unsigned char* p = static_cast<volatile unsigned char*>(data);
  while (size--) *p++ = 0;
  // Keeps the stores from being treated as dead even under LTO.
  __asm__ __volatile__("" : : "r"(data) : "memory");
}

}  // namespace qlx
