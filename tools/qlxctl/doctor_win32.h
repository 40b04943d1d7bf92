#pragma once
#include "tools/qlxctl/cli.h"

namespace qlx::qlxctl {

// The doctor over the real system; 0, 1 or 2 as doctor::Run says.
int DoctorCommand(const Options& options, Io& io);

}  // namespace qlx::qlxctl
