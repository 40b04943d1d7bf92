#include "settings/platform.h"

#include "cipher/errors.h"

namespace qlx::settings {

namespace {
Registry* g_registry = nullptr;
ProgramFile* g_program = nullptr;
}  // namespace

void InstallPlatform(Registry& registry, ProgramFile& program) {
  g_registry = &registry;
  g_program = &program;
}

Registry& CurrentRegistry() {
  if (!g_registry) throw AssertionError("InstallPlatform was not called before the registry was used");
  return *g_registry;
}

ProgramFile& CurrentProgramFile() {
  if (!g_program) throw AssertionError("InstallPlatform was not called before the program path was used");
  return *g_program;
}

}  // namespace qlx::settings
