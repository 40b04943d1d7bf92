#pragma once
#include "platform/context.h"

namespace qlx::platform {

// The running program's own path, read in full whatever its length.
class Win32ProgramFile final : public platform::ProgramFile {
 public:
  std::u16string FullPath() override;
};

}  // namespace qlx::platform
