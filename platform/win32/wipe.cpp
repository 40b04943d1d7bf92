#include <windows.h>

#include "base/wipe.h"

namespace qlx {

void SecureWipe(void* data, std::size_t size) noexcept {
  if (data == nullptr || size == 0) return;
  SecureZeroMemory(data, size);
}

}  // namespace qlx
