#include "settings/autostart.h"

#include "platform/registry.h"
#include "settings/store.h"

namespace qlx::settings {

namespace {

// Writes the entry when the Run key opens with full access; the key is
// never created.
void WriteRunEntry(Registry& registry, const std::u16string& text) {
  RegKey key(registry, registry.OpenKey(FromRoot(kRunKey), access::kAllAccess));
  if (!key) return;
  WriteRegistryString(registry, key.Get(), kRunEntry, text);
}

}  // namespace

std::u16string AutostartCommand(const std::u16string& program_path) {
  if (program_path.find(u' ') == std::u16string::npos) return program_path;
  return u"\"" + program_path + u"\"";
}

void UpdateAutostart(Registry& registry, platform::ProgramFile& program, bool auto_run) {
  const std::u16string path = program.FullPath();
  WriteProtectedValue(registry, value_name::ConfigIniFilesPath, path);
  if (auto_run)
    WriteRunEntry(registry, AutostartCommand(path));
  else if (AutostartPresent(registry))
    ClearAutostart(registry);
}

void ClearAutostart(Registry& registry) { WriteRunEntry(registry, u""); }

bool AutostartPresent(Registry& registry) {
  const std::u16string path = FromRoot(kRunKey);
  // Narrower rights for users whose Run key refuses the usual read mask.
  RegKey key;
  for (std::uint32_t rights : {access::kRead, access::kReadEnumQuery, access::kQueryValue}) {
    key = RegKey(registry, registry.OpenKey(path, rights));
    if (key) break;
  }
  if (!key) return false;
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  return registry.QueryValue(key.Get(), kRunEntry, &type, nullptr, &size) == RegStatus::Ok;
}

}  // namespace qlx::settings
