#pragma once
// Direct Win32 registry access for the tests: sets up and inspects state
// independently of the code under test. Only tests delete keys.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qlx::test {

struct RawValue {
  std::u16string name;
  DWORD type = REG_NONE;
  std::vector<std::uint8_t> data;
};

inline const wchar_t* Wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

inline std::vector<std::uint8_t> Bytes(const std::u16string& text, bool terminator = true) {
  const auto* first = reinterpret_cast<const std::uint8_t*>(text.data());
  std::vector<std::uint8_t> bytes(first, first + text.size() * sizeof(char16_t));
  if (terminator) bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

inline std::u16string Units(const std::vector<std::uint8_t>& data) {
  std::u16string text(data.size() / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
  return text;
}

inline bool KeyExists(const std::u16string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, Wide(path), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

inline void DeleteTree(const std::u16string& path) {
  const LSTATUS status = RegDeleteTreeW(HKEY_CURRENT_USER, Wide(path));
  if (status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND) {
    RegDeleteKeyW(HKEY_CURRENT_USER, Wide(path));
  }
}

inline void DeleteValue(const std::u16string& path, const std::u16string& name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, Wide(path), 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS) return;
  RegDeleteValueW(key, Wide(name));
  RegCloseKey(key);
}

// Creates the key when needed; false when the system refused.
inline bool WriteRaw(const std::u16string& path, const std::u16string& name, DWORD type,
                     const std::vector<std::uint8_t>& data) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, Wide(path), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return false;
  const LSTATUS status =
      RegSetValueExW(key, Wide(name), 0, type, data.empty() ? nullptr : data.data(), static_cast<DWORD>(data.size()));
  RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

inline std::optional<RawValue> ReadRaw(const std::u16string& path, const std::u16string& name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, Wide(path), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return std::nullopt;
  RawValue value{name, REG_NONE, {}};
  DWORD size = 0;
  LSTATUS status = RegQueryValueExW(key, Wide(name), nullptr, &value.type, nullptr, &size);
  if (status == ERROR_SUCCESS) {
    value.data.resize(size);
    status = RegQueryValueExW(key, Wide(name), nullptr, &value.type, value.data.data(), &size);
    value.data.resize(size);
  }
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) return std::nullopt;
  return value;
}

inline std::vector<RawValue> EnumValues(const std::u16string& path) {
  std::vector<RawValue> values;
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, Wide(path), 0, KEY_READ, &key) != ERROR_SUCCESS) return values;
  DWORD name_max = 0, data_max = 0;
  RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &name_max, &data_max, nullptr,
                   nullptr);
  for (DWORD index = 0;; ++index) {
    std::wstring name(name_max + 1, L'\0');
    std::vector<std::uint8_t> data(data_max);
    DWORD name_size = name_max + 1, data_size = data_max, type = REG_NONE;
    if (RegEnumValueW(key, index, name.data(), &name_size, nullptr, &type, data.data(), &data_size) != ERROR_SUCCESS)
      break;
    data.resize(data_size);
    values.push_back({std::u16string(reinterpret_cast<const char16_t*>(name.data()), name_size), type, data});
  }
  RegCloseKey(key);
  return values;
}

}  // namespace qlx::test
