#pragma once
// An in-memory HKEY_CURRENT_USER for the native tests of everything that
// sits on the Registry interface, with the faults the real one can show.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/context.h"
#include "platform/registry.h"

namespace qlx::test {

class MemoryRegistry final : public platform::Registry {
 public:
  struct Value {
    std::uint32_t type = platform::regtype::kSz;
    std::vector<std::uint8_t> data;
  };
  struct Operation {
    std::string what;  // "create", "open", "set", "query", "close"
    std::u16string path;
    std::u16string name;
    std::uint32_t access = 0;
    bool ok = true;
  };

  // Faults. A refused create or open returns no key; a refused set fails.
  std::function<bool(const std::u16string& path)> refuse_create;
  std::function<bool(const std::u16string& path, std::uint32_t access)> refuse_open;
  int fail_set_at = 0;  // the n-th SetString call fails (1-based); 0: none
  // Runs before every query that carries a data buffer: a test may change
  // or remove the value between the size query and the read.
  std::function<void(const std::u16string& path, const std::u16string& name)> before_read;

  std::vector<Operation> log;

  // Paths as handed to the system: no leading backslash; case-insensitive
  // like value names.
  void AddKey(const std::u16string& path) {
    std::u16string prefix;
    for (std::size_t start = 0;;) {
      const std::size_t end = path.find(u'\\', start);
      prefix = path.substr(0, end);
      keys_.try_emplace(Fold(prefix));
      if (end == std::u16string::npos) break;
      start = end + 1;
    }
  }
  bool HasKey(const std::u16string& path) const { return keys_.count(Fold(path)) != 0; }

  void SetRaw(const std::u16string& path, const std::u16string& name, std::uint32_t type,
              std::vector<std::uint8_t> data) {
    AddKey(path);
    Put(keys_[Fold(path)], name, Value{type, std::move(data)});
  }
  // The text's units and one zero unit, as RegSetValueExW stores a REG_SZ.
  void SetText(const std::u16string& path, const std::u16string& name, const std::u16string& text,
               std::uint32_t type = platform::regtype::kSz) {
    SetRaw(path, name, type, Bytes(text, true));
  }
  bool Remove(const std::u16string& path, const std::u16string& name) {
    auto key = keys_.find(Fold(path));
    if (key == keys_.end()) return false;
    auto& values = key->second;
    auto it = Find(values, name);
    if (it == values.end()) return false;
    values.erase(it);
    return true;
  }
  std::optional<Value> Get(const std::u16string& path, const std::u16string& name) const {
    auto key = keys_.find(Fold(path));
    if (key == keys_.end()) return std::nullopt;
    auto it = Find(key->second, name);
    if (it == key->second.end()) return std::nullopt;
    return it->second;
  }
  // A REG_SZ value's text without its terminator.
  std::optional<std::u16string> GetText(const std::u16string& path, const std::u16string& name) const {
    auto value = Get(path, name);
    if (!value) return std::nullopt;
    std::u16string text;
    for (std::size_t i = 0; i + 1 < value->data.size(); i += 2)
      text.push_back(static_cast<char16_t>(value->data[i] | (value->data[i + 1] << 8)));
    if (!text.empty() && text.back() == 0) text.pop_back();
    return text;
  }
  // Values in the order they were first written.
  std::vector<std::pair<std::u16string, Value>> Values(const std::u16string& path) const {
    auto key = keys_.find(Fold(path));
    if (key == keys_.end()) return {};
    return key->second;
  }
  std::vector<Value> AllValues() const {
    std::vector<Value> all;
    for (const auto& [path, values] : keys_)
      for (const auto& [name, value] : values) all.push_back(value);
    return all;
  }
  std::size_t OpenHandles() const { return handles_.size(); }
  std::vector<Operation> LogOf(const std::string& what) const {
    std::vector<Operation> found;
    std::copy_if(log.begin(), log.end(), std::back_inserter(found), [&](const Operation& op) { return op.what == what; });
    return found;
  }

  static std::vector<std::uint8_t> Bytes(const std::u16string& text, bool terminator) {
    std::vector<std::uint8_t> bytes;
    for (char16_t c : text) {
      bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
      bytes.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    if (terminator) bytes.insert(bytes.end(), {0, 0});
    return bytes;
  }

  // Registry
  std::optional<Key> CreateKey(const std::u16string& path, std::uint32_t access) override {
    const bool ok = !(refuse_create && refuse_create(path));
    log.push_back({"create", path, {}, access, ok});
    if (!ok) return std::nullopt;
    AddKey(path);
    return NewHandle(path, access);
  }
  std::optional<Key> OpenKey(const std::u16string& path, std::uint32_t access) override {
    const bool ok = HasKey(path) && !(refuse_open && refuse_open(path, access));
    log.push_back({"open", path, {}, access, ok});
    if (!ok) return std::nullopt;
    return NewHandle(path, access);
  }
  bool SetString(Key key, const std::u16string& name, const std::u16string& text) override {
    ++set_calls_;
    auto handle = handles_.find(key);
    const bool ok = handle != handles_.end() && (handle->second.access & kKeySetValue) != 0 &&
                    set_calls_ != fail_set_at;
    log.push_back({"set", handle != handles_.end() ? handle->second.path : u"?", name, 0, ok});
    if (!ok) return false;
    Put(keys_[Fold(handle->second.path)], name, Value{platform::regtype::kSz, Bytes(text, true)});
    return true;
  }
  platform::RegStatus QueryValue(Key key, const std::u16string& name, std::uint32_t* type, std::uint8_t* data,
                                 std::uint32_t* size) override {
    auto handle = handles_.find(key);
    if (handle == handles_.end() || (handle->second.access & kKeyQueryValue) == 0) {
      log.push_back({"query", u"?", name, 0, false});
      return platform::RegStatus::Failed;
    }
    const std::u16string path = handle->second.path;
    if (data && before_read) before_read(path, name);
    auto value = Get(path, name);
    log.push_back({"query", path, name, 0, value.has_value()});
    if (!value) return platform::RegStatus::NotFound;
    const auto needed = static_cast<std::uint32_t>(value->data.size());
    if (type) *type = value->type;
    if (!data) {
      *size = needed;
      return platform::RegStatus::Ok;
    }
    if (*size < needed) {
      *size = needed;
      return platform::RegStatus::MoreData;
    }
    std::copy(value->data.begin(), value->data.end(), data);
    *size = needed;
    return platform::RegStatus::Ok;
  }
  void CloseKey(Key key) override {
    auto handle = handles_.find(key);
    log.push_back({"close", handle != handles_.end() ? handle->second.path : u"?", {}, 0, handle != handles_.end()});
    if (handle != handles_.end()) handles_.erase(handle);
  }

 private:
  static constexpr std::uint32_t kKeyQueryValue = 0x0001;
  static constexpr std::uint32_t kKeySetValue = 0x0002;
  using Values_ = std::vector<std::pair<std::u16string, Value>>;
  struct Handle {
    std::u16string path;
    std::uint32_t access;
  };

  static std::u16string Fold(std::u16string text) {
    for (char16_t& c : text)
      if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    return text;
  }
  static Values_::const_iterator Find(const Values_& values, const std::u16string& name) {
    return std::find_if(values.begin(), values.end(), [&](const auto& v) { return Fold(v.first) == Fold(name); });
  }
  static Values_::iterator Find(Values_& values, const std::u16string& name) {
    return std::find_if(values.begin(), values.end(), [&](const auto& v) { return Fold(v.first) == Fold(name); });
  }
  static void Put(Values_& values, const std::u16string& name, Value value) {
    auto it = Find(values, name);
    if (it != values.end())
      it->second = std::move(value);
    else
      values.emplace_back(name, std::move(value));
  }
  Key NewHandle(const std::u16string& path, std::uint32_t access) {
    const Key key = next_handle_++;
    handles_[key] = Handle{path, access};
    return key;
  }

  std::map<std::u16string, Values_> keys_;
  std::map<Key, Handle> handles_;
  Key next_handle_ = 0x100;
  int set_calls_ = 0;
};

class FixedProgramFile final : public platform::ProgramFile {
 public:
  explicit FixedProgramFile(std::u16string path = u"C:\\QLXDrive\\QLXDrive.exe") : path(std::move(path)) {}
  std::u16string FullPath() override { return path; }
  std::u16string path;
};

}  // namespace qlx::test
