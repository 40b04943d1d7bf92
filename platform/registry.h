#pragma once
// The narrow registry interface the store uses: keys under HKEY_CURRENT_USER
// only, one operation per open. The product implements it with the Win32
// API (platform/win32); the tests with an in-memory registry.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

namespace qlx::platform {

namespace access {
constexpr std::uint32_t kAllAccess = 0xF003F;      // KEY_ALL_ACCESS
constexpr std::uint32_t kRead = 0x20019;           // KEY_READ
constexpr std::uint32_t kReadEnumQuery = 0x20009;  // STANDARD_RIGHTS_READ | ENUMERATE_SUB_KEYS | QUERY_VALUE
constexpr std::uint32_t kQueryValue = 0x0001;      // KEY_QUERY_VALUE
}  // namespace access

namespace regtype {
constexpr std::uint32_t kNone = 0;
constexpr std::uint32_t kSz = 1;
constexpr std::uint32_t kExpandSz = 2;
constexpr std::uint32_t kBinary = 3;
constexpr std::uint32_t kDword = 4;
constexpr std::uint32_t kMultiSz = 7;
}  // namespace regtype

enum class RegStatus {
  Ok,
  NotFound,  // ERROR_FILE_NOT_FOUND
  MoreData,  // ERROR_MORE_DATA: the buffer was too small; size holds what is needed
  Failed,    // anything else
};

class Registry {
 public:
  using Key = std::uintptr_t;
  virtual ~Registry() = default;

  // RegCreateKeyExW(HKCU, path, 0, no class, REG_OPTION_NON_VOLATILE, access).
  virtual std::optional<Key> CreateKey(const std::u16string& path, std::uint32_t access) = 0;
  // RegOpenKeyExW(HKCU, path, 0, access): never creates.
  virtual std::optional<Key> OpenKey(const std::u16string& path, std::uint32_t access) = 0;
  // RegSetValueExW as REG_SZ: the text's units and one terminating zero.
  virtual bool SetString(Key key, const std::u16string& name, const std::u16string& text) = 0;
  // RegQueryValueExW: with data null only type and size are asked for; size
  // is in bytes on the way in (buffer size) and out (data size).
  virtual RegStatus QueryValue(Key key, const std::u16string& name, std::uint32_t* type, std::uint8_t* data,
                               std::uint32_t* size) = 0;
  virtual void CloseKey(Key key) = 0;
};

// Owns one open key and closes it on every way out.
class RegKey {
 public:
  RegKey() = default;
  RegKey(Registry& registry, std::optional<Registry::Key> key) : registry_(&registry), key_(key) {}
  RegKey(RegKey&& other) noexcept : registry_(other.registry_), key_(std::exchange(other.key_, std::nullopt)) {}
  RegKey& operator=(RegKey&& other) noexcept {
    if (this != &other) {
      Close();
      registry_ = other.registry_;
      key_ = std::exchange(other.key_, std::nullopt);
    }
    return *this;
  }
  RegKey(const RegKey&) = delete;
  RegKey& operator=(const RegKey&) = delete;
  ~RegKey() { Close(); }

  explicit operator bool() const { return key_.has_value(); }
  Registry::Key Get() const { return *key_; }
  void Close() {
    if (key_) registry_->CloseKey(*std::exchange(key_, std::nullopt));
  }

 private:
  Registry* registry_ = nullptr;
  std::optional<Registry::Key> key_;
};

}  // namespace qlx::platform
