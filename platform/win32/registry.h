#pragma once
// The settings' registry over the Win32 API; keys are HKEYs under
// HKEY_CURRENT_USER, passed through Registry::Key as their integer value.
#include "platform/registry.h"

namespace qlx::platform {

class Win32Registry final : public platform::Registry {
 public:
  std::optional<Key> CreateKey(const std::u16string& path, std::uint32_t access) override;
  std::optional<Key> OpenKey(const std::u16string& path, std::uint32_t access) override;
  bool SetString(Key key, const std::u16string& name, const std::u16string& text) override;
  platform::RegStatus QueryValue(Key key, const std::u16string& name, std::uint32_t* type, std::uint8_t* data,
                                 std::uint32_t* size) override;
  void CloseKey(Key key) override;
};

}  // namespace qlx::platform
