// `qlxctl doctor` on Windows: the entry's parts (registry, system directory,
// drive mask, messages) with the diagnosis' own readers added.
#include "platform/win32/diagnostics.h"
#include "tools/qlxctl/doctor.h"
#include "tools/qlxctl/doctor_win32.h"

namespace qlx::qlxctl {

int DoctorCommand(const platform::Context& os, const Options& options, Io& io) {
  platform::Win32Diagnostics readers;
  const doctor::System system{os.registry,     os.environment,       os.processes,         os.messages,
                              os.drives,       readers.services,     readers.machine_registry,
                              readers.connections, readers.files,    readers.http,         readers.session,
                              readers.proxies};
  return doctor::Run(system, options, io);
}

}  // namespace qlx::qlxctl
