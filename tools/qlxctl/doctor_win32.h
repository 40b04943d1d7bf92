#pragma once
#include "platform/context.h"
#include "tools/qlxctl/cli.h"

namespace qlx::qlxctl {

// The doctor over the real system, `os` with the diagnosis' own readers
// added; 0, 1 or 2 as doctor::Run says.
int DoctorCommand(const platform::Context& os, const Options& options, Io& io);

}  // namespace qlx::qlxctl
