// `qlxctl doctor` on Windows: the installed context (registry, system
// directory, drive mask, messages) with the diagnosis' own readers added.
#include "platform/context.h"
#include "platform/win32/diagnostics.h"
#include "tools/qlxctl/doctor.h"
#include "tools/qlxctl/doctor_win32.h"

namespace qlx::qlxctl {

int DoctorCommand(const Options& options, Io& io) {
  platform::Win32Diagnostics diagnostics;
  platform::Context context = platform::CurrentContext();
  diagnostics.AddTo(context);
  platform::ScopedContext scope(context);
  return doctor::Run(options, io);
}

}  // namespace qlx::qlxctl
