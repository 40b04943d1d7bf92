#include "settings/autostart.h"

#include "platform/context.h"
#include "platform/registry.h"
#include "settings/store.h"

namespace qlx::settings {

using platform::CurrentProgramFile;
using platform::CurrentRegistry;

namespace {

// Writes the entry when the Run key opens with full access; the key is
// never created.
void WriteRunEntry(const std::u16string& text) {
  Registry& registry = CurrentRegistry();
  RegKey key(registry, registry.OpenKey(FromRoot(kRunKey), access::kAllAccess));
  if (!key) return;
  WriteRegistryString(registry, key.Get(), kRunEntry, text);
}

}  // namespace

std::u16string AutostartCommand(const std::u16string& program_path) {
  if (program_path.find(u' ') == std::u16string::npos) return program_path;
  return u"\"" + program_path + u"\"";
}

void UpdateAutostart(bool auto_run) {
  const std::u16string path = CurrentProgramFile().FullPath();
  WriteProtectedValue(value_name::ConfigIniFilesPath, path);
  if (auto_run)
    WriteRunEntry(AutostartCommand(path));
  else if (AutostartPresent())
    ClearAutostart();
}

void ClearAutostart() { WriteRunEntry(u""); }

bool AutostartPresent() {
  Registry& registry = CurrentRegistry();
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
