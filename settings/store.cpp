#include "settings/store.h"

#include <cstdint>
#include <vector>

#include "base/errors.h"
#include "base/utf.h"
#include "settings/autostart.h"
#include "settings/protected_value.h"

namespace qlx::settings {

namespace {

constexpr std::string_view kFailedToSet = "Failed to set data for '%s'";
constexpr std::string_view kFailedToGet = "Failed to get data for '%s'";
constexpr std::string_view kInvalidType = "Invalid data type for '%s'";

// A value that keeps growing between the size query and the read is given
// up on rather than chased for ever.
constexpr int kMaxReads = 8;

RegKey OpenSettingsKey(Registry& registry) {
  return RegKey(registry, registry.CreateKey(FromRoot(kSettingsKey), access::kAllAccess));
}

std::u16string Read(Registry& registry, const char16_t* name) {
  std::u16string text;
  ReadProtectedValue(registry, name, text);
  return text;
}

}  // namespace

std::u16string FromRoot(std::u16string_view path) {
  if (!path.empty() && path.front() == u'\\') path.remove_prefix(1);
  return std::u16string(path);
}

std::string RegistryErrorText(std::string_view pattern, const std::u16string& name) {
  std::string text(pattern);
  const auto at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, Utf16ToUtf8(name));
  return text;
}

std::u16string ReadRegistryString(Registry& registry, Registry::Key key, const std::u16string& name) {
  std::uint32_t type = regtype::kNone;
  std::uint32_t size = 0;
  RegStatus status = registry.QueryValue(key, name, &type, nullptr, &size);
  if (status == RegStatus::NotFound) return {};
  if (status != RegStatus::Ok) throw Error(RegistryErrorText(kFailedToGet, name));
  if (size == 0) return {};

  std::vector<std::uint8_t> data;
  for (int read = 1;; ++read) {
    data.assign(size, 0);
    std::uint32_t returned = size;
    status = registry.QueryValue(key, name, &type, data.data(), &returned);
    if (status == RegStatus::Ok) {
      // A value that shrank in between reports less than the buffer holds.
      if (returned < data.size()) data.resize(returned);
      break;
    }
    if (status == RegStatus::MoreData && returned > size && read < kMaxReads) {
      size = returned;
      continue;
    }
    throw Error(RegistryErrorText(kFailedToGet, name));
  }
  if (type != regtype::kSz && type != regtype::kExpandSz) throw Error(RegistryErrorText(kInvalidType, name));

  // An odd last byte, a missing terminator or an embedded zero all end the
  // text at the first zero unit or at the last whole unit.
  std::u16string text;
  const std::size_t units = data.size() / 2;
  text.reserve(units);
  for (std::size_t i = 0; i < units; ++i) {
    const auto c = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    if (c == 0) break;
    text.push_back(c);
  }
  return text;
}

void WriteRegistryString(Registry& registry, Registry::Key key, const std::u16string& name,
                         const std::u16string& text) {
  if (!registry.SetString(key, name, text)) throw Error(RegistryErrorText(kFailedToSet, name));
}

void WriteProtectedValue(Registry& registry, const std::u16string& name, const std::u16string& value) {
  RegKey key = OpenSettingsKey(registry);
  if (!key) return;
  WriteRegistryString(registry, key.Get(), name, ProtectValue(value));
}

void ReadProtectedValue(Registry& registry, const std::u16string& name, std::u16string& value) {
  RegKey key = OpenSettingsKey(registry);
  if (!key) return;
  value = RevealValue(ReadRegistryString(registry, key.Get(), name));
}

void SaveSettings(Registry& registry, platform::ProgramFile& program, const ConnectionSettings& settings) {
  WriteProtectedValue(registry, value_name::PATHDRIVE, settings.drive);
  WriteProtectedValue(registry, value_name::ConfigIniFilesPath, program.FullPath());
  WriteProtectedValue(registry, value_name::USER, settings.user);
  WriteProtectedValue(registry, value_name::PASSWORD, settings.password);
  WriteProtectedValue(registry, value_name::AUTOCONNECT, settings.auto_connect ? u"S" : u"N");
  WriteProtectedValue(registry, value_name::AUTORUN, settings.auto_run ? u"S" : u"N");
  UpdateAutostart(registry, program, settings.auto_run);
}

void LoadSettings(Registry& registry, ConnectionSettings& settings) {
  settings.user = Read(registry, value_name::USER);
  settings.password = Read(registry, value_name::PASSWORD);
  settings.drive = Read(registry, value_name::PATHDRIVE);
  settings.auto_connect = Read(registry, value_name::AUTOCONNECT) == u"S";
  settings.auto_run = Read(registry, value_name::AUTORUN) == u"S";
}

}  // namespace qlx::settings
