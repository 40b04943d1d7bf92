#include "platform/win32/registry.h"

#include <windows.h>

#include <cstdint>
#include <limits>

#include "platform/win32/text.h"
#include "platform/win32/unique_handle.h"

namespace qlx::platform {

namespace {

HKEY ToHkey(platform::Registry::Key key) { return reinterpret_cast<HKEY>(key); }

platform::Registry::Key ToKey(HKEY key) { return reinterpret_cast<platform::Registry::Key>(key); }

}  // namespace

std::optional<platform::Registry::Key> Win32Registry::CreateKey(const std::u16string& path, std::uint32_t access) {
  unique_hkey key;
  const LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, W(path), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                         static_cast<REGSAM>(access), nullptr, key.put(), nullptr);
  if (status != ERROR_SUCCESS || !key) return std::nullopt;
  return ToKey(key.release());
}

std::optional<platform::Registry::Key> Win32Registry::OpenKey(const std::u16string& path, std::uint32_t access) {
  unique_hkey key;
  const LSTATUS status = RegOpenKeyExW(HKEY_CURRENT_USER, W(path), 0, static_cast<REGSAM>(access), key.put());
  if (status != ERROR_SUCCESS || !key) return std::nullopt;
  return ToKey(key.release());
}

bool Win32Registry::SetString(Key key, const std::u16string& name, const std::u16string& text) {
  // The data size is a DWORD of bytes, terminator included.
  constexpr std::size_t kMaxUnits = std::numeric_limits<DWORD>::max() / sizeof(char16_t) - 1;
  if (text.size() > kMaxUnits) return false;
  const auto bytes = static_cast<DWORD>((text.size() + 1) * sizeof(char16_t));
  return RegSetValueExW(ToHkey(key), W(name), 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), bytes) ==
         ERROR_SUCCESS;
}

platform::RegStatus Win32Registry::QueryValue(Key key, const std::u16string& name, std::uint32_t* type,
                                              std::uint8_t* data, std::uint32_t* size) {
  // A buffer without a size would let the system write past it.
  if (data != nullptr && size == nullptr) return platform::RegStatus::Failed;
  DWORD value_type = REG_NONE;
  DWORD value_size = size != nullptr ? *size : 0;
  const LSTATUS status = RegQueryValueExW(ToHkey(key), W(name), nullptr, &value_type, data,
                                          size != nullptr ? &value_size : nullptr);
  switch (status) {
    case ERROR_SUCCESS:
    case ERROR_MORE_DATA:
      if (type != nullptr) *type = value_type;
      if (size != nullptr) *size = value_size;
      return status == ERROR_SUCCESS ? platform::RegStatus::Ok : platform::RegStatus::MoreData;
    case ERROR_FILE_NOT_FOUND:
      return platform::RegStatus::NotFound;
    default:
      return platform::RegStatus::Failed;
  }
}

void Win32Registry::CloseKey(Key key) { RegCloseKey(ToHkey(key)); }

}  // namespace qlx::platform
