#pragma once
// What SaveSettings would store, captured without touching a registry,
// and written out as a .reg file that `reg import` replays.
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/context.h"
#include "platform/registry.h"

namespace qlx::qlxctl {

// Records every REG_SZ written under HKEY_CURRENT_USER. Keys that the store
// only opens (the Run key) count as present and empty, so a save without
// autorun finds no entry to clear and the file leaves that key alone.
class RecordingRegistry final : public platform::Registry {
 public:
  struct RecordedKey {
    std::u16string path;  // as handed to the system, without HKEY_CURRENT_USER
    std::vector<std::pair<std::u16string, std::u16string>> values;  // first-write order, last text
  };

  std::optional<Key> CreateKey(const std::u16string& path, std::uint32_t access) override;
  std::optional<Key> OpenKey(const std::u16string& path, std::uint32_t access) override;
  bool SetString(Key key, const std::u16string& name, const std::u16string& text) override;
  platform::RegStatus QueryValue(Key key, const std::u16string& name, std::uint32_t* type, std::uint8_t* data,
                                 std::uint32_t* size) override;
  void CloseKey(Key key) override;

  // Keys that received at least one value, in the order of their first value.
  const std::vector<RecordedKey>& Keys() const { return keys_; }

 private:
  std::vector<std::u16string> handles_;  // Key - 1 indexes the path
  std::vector<RecordedKey> keys_;
};

// A program path given by the user instead of the running module's.
class GivenProgramFile final : public platform::ProgramFile {
 public:
  explicit GivenProgramFile(std::u16string path) : path_(std::move(path)) {}
  std::u16string FullPath() override { return path_; }

 private:
  std::u16string path_;
};

// The file as regedit writes one: UTF-16LE with a byte-order mark, CR LF,
// REG_SZ data as hex(1) so that line breaks inside values survive.
std::u16string RegFileText(const std::vector<RecordingRegistry::RecordedKey>& keys);
std::vector<std::uint8_t> RegFileBytes(const std::vector<RecordingRegistry::RecordedKey>& keys);

}  // namespace qlx::qlxctl
