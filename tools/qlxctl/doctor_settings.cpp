// The one place where the doctor calls the settings and mapping routines:
// when their names or shapes change, only this file follows.
#include <exception>

#include "base/wipe.h"
#include "mapping/mapping.h"
#include "settings/protected_value.h"
#include "settings/store.h"
#include "tools/qlxctl/doctor.h"

namespace qlx::qlxctl::doctor {

namespace {

StoredValue ReadOne(platform::Registry& registry, platform::Registry::Key key, const char16_t* name) {
  StoredValue value;
  std::uint32_t type = 0, size = 0;
  if (registry.QueryValue(key, name, &type, nullptr, &size) == platform::RegStatus::NotFound) return value;
  try {
    // The same two steps as the program's own read, so that a damaged value
    // fails here with the text the program would show.
    value.text = settings::RevealValue(settings::ReadRegistryString(registry, key, name));
    value.status = StoredValue::Status::Read;
  } catch (const std::exception& e) {
    value.status = StoredValue::Status::Unreadable;
    value.error = e.what();
  }
  return value;
}

}  // namespace

StoredSettings::~StoredSettings() { SecureWipe(password.text); }

void ReadStoredSettings(platform::Registry& registry, StoredSettings& out) {
  // Full access, as the program opens it: a key an administrator locked to
  // read and write only is one the program reads nothing from.
  const std::u16string path = settings::FromRoot(settings::kSettingsKey);
  platform::RegKey key(registry, registry.OpenKey(path, platform::access::kAllAccess));
  if (!key) {
    out.key = platform::RegKey(registry, registry.OpenKey(path, platform::access::kRead))
                  ? StoredSettings::Key::Refused
                  : StoredSettings::Key::Absent;
    return;
  }
  out.key = StoredSettings::Key::Opened;
  out.user = ReadOne(registry, key.Get(), settings::value_name::USER);
  out.password = ReadOne(registry, key.Get(), settings::value_name::PASSWORD);
  out.drive = ReadOne(registry, key.Get(), settings::value_name::PATHDRIVE);
  out.autoconnect = ReadOne(registry, key.Get(), settings::value_name::AUTOCONNECT);
  out.autorun = ReadOne(registry, key.Get(), settings::value_name::AUTORUN);
  out.program_path = ReadOne(registry, key.Get(), settings::value_name::ConfigIniFilesPath);
}

std::u16string SettingsKeyForCommands() { return u"HKCU" + std::u16string(settings::kSettingsKey); }
std::u16string ServiceBaseUrl() { return mapping::ServiceBaseUrl(); }
std::u16string AccountDomain() { return mapping::AccountDomain(); }
std::u16string NetProgram(platform::Processes& processes) { return mapping::NetProgram(processes); }
std::u16string SystemErrorText(platform::Messages& messages, std::uint32_t code) {
  return mapping::SystemErrorText(messages, code);
}

}  // namespace qlx::qlxctl::doctor
