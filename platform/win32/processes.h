#pragma once
#include "platform/context.h"

namespace qlx::platform {

// Child processes over CreateProcessW. The request is passed as it stands:
// the application (when given), the command line in a writable buffer, a
// hidden or shown window, the creation flags; no environment or directory
// of its own. The child's standard input, output and error are the null
// device, the one handle it inherits.
class Win32Processes final : public Processes {
 public:
  ProcessOutcome RunAndWait(const ProcessRequest& request) override;
  std::u16string SystemDirectory() override;
};

}  // namespace qlx::platform
