#include "base/wipe.h"

#include <cstring>

namespace qlx {

void SecureWipe(void* data, std::size_t size) noexcept {
  if (data == nullptr || size == 0) return;
  std::memset(data, 0, size);
  // The zeros count as read by the asm, so the stores cannot be treated as
  // dead, even under LTO; memset keeps a 4 KB key table wipe cheap.
  __asm__ __volatile__("" : : "r"(data) : "memory");
}

}  // namespace qlx
