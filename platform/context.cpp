#include "platform/context.h"

#include "base/errors.h"

namespace qlx::platform {

namespace {
Context g_context;

template <class T>
T& Required(T* part, const char* name) {
  if (!part) throw AssertionError(std::string("No ") + name + " in the installed platform context");
  return *part;
}
}  // namespace

ScopedContext::ScopedContext(const Context& context) : previous_(g_context) { g_context = context; }
ScopedContext::~ScopedContext() { g_context = previous_; }

const Context& CurrentContext() { return g_context; }
Registry& CurrentRegistry() { return Required(g_context.registry, "registry"); }
ProgramFile& CurrentProgramFile() { return Required(g_context.program, "program file"); }
Clock& CurrentClock() { return Required(g_context.clock, "clock"); }
Drives& CurrentDrives() { return Required(g_context.drives, "drive list"); }
Processes& CurrentProcesses() { return Required(g_context.processes, "process runner"); }
Shell& CurrentShell() { return Required(g_context.shell, "shell"); }
Environment& CurrentEnvironment() { return Required(g_context.environment, "environment"); }
Messages& CurrentMessages() { return Required(g_context.messages, "message box"); }
ServiceManager& CurrentServices() { return Required(g_context.services, "service manager"); }
MachineRegistry& CurrentMachineRegistry() { return Required(g_context.machine_registry, "machine registry"); }
NetworkConnections& CurrentConnections() { return Required(g_context.connections, "network connection list"); }
Files& CurrentFiles() { return Required(g_context.files, "file system"); }
Http& CurrentHttp() { return Required(g_context.http, "HTTP client"); }
Session& CurrentSession() { return Required(g_context.session, "session"); }
ProxySettings& CurrentProxies() { return Required(g_context.proxies, "proxy settings"); }

void Pause(std::uint32_t milliseconds) { CurrentClock().Pause(milliseconds); }

}  // namespace qlx::platform
