#include "tools/qlxctl/reg_file.h"

#include <algorithm>

namespace qlx::qlxctl {

namespace {

bool SameName(const std::u16string& a, const std::u16string& b) {
  auto fold = [](char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char16_t x, char16_t y) {
           return fold(x) == fold(y);
         });
}

std::u16string Quoted(const std::u16string& name) {
  std::u16string text = u"\"";
  for (char16_t c : name) {
    if (c == u'\\' || c == u'"') text += u'\\';
    text += c;
  }
  return text + u"\"";
}

// regedit keeps every line of hex data within 80 columns, continuing with
// a backslash and two blanks.
constexpr std::size_t kHexLineWidth = 77;

void AppendHexString(std::u16string& out, const std::u16string& prefix, const std::u16string& text) {
  std::vector<std::uint8_t> bytes;
  for (char16_t c : text) {
    bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  bytes.insert(bytes.end(), {0, 0});
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  out += prefix;
  std::size_t column = prefix.size();
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 0xF];
    column += 2;
    if (i + 1 == bytes.size()) break;
    out += u',';
    ++column;
    if (column >= kHexLineWidth) {
      out += u"\\\r\n  ";
      column = 2;
    }
  }
  out += u"\r\n";
}

}  // namespace

std::optional<platform::Registry::Key> RecordingRegistry::CreateKey(const std::u16string& path, std::uint32_t) {
  handles_.push_back(path);
  return handles_.size();
}

std::optional<platform::Registry::Key> RecordingRegistry::OpenKey(const std::u16string& path, std::uint32_t) {
  handles_.push_back(path);
  return handles_.size();
}

bool RecordingRegistry::SetString(Key key, const std::u16string& name, const std::u16string& text) {
  if (key == 0 || key > handles_.size()) return false;
  const std::u16string& path = handles_[key - 1];
  auto found = std::find_if(keys_.begin(), keys_.end(), [&](const RecordedKey& k) { return SameName(k.path, path); });
  if (found == keys_.end()) found = keys_.insert(keys_.end(), RecordedKey{path, {}});
  auto value = std::find_if(found->values.begin(), found->values.end(),
                            [&](const auto& v) { return SameName(v.first, name); });
  if (value != found->values.end())
    value->second = text;
  else
    found->values.emplace_back(name, text);
  return true;
}

platform::RegStatus RecordingRegistry::QueryValue(Key, const std::u16string&, std::uint32_t*, std::uint8_t*,
                                                  std::uint32_t*) {
  return platform::RegStatus::NotFound;
}

void RecordingRegistry::CloseKey(Key) {}

std::u16string RegFileText(const std::vector<RecordingRegistry::RecordedKey>& keys) {
  std::u16string out = u"Windows Registry Editor Version 5.00\r\n\r\n";
  for (const auto& key : keys) {
    out += u"[HKEY_CURRENT_USER\\" + key.path + u"]\r\n";
    for (const auto& [name, text] : key.values) AppendHexString(out, Quoted(name) + u"=hex(1):", text);
    out += u"\r\n";
  }
  return out;
}

std::vector<std::uint8_t> RegFileBytes(const std::vector<RecordingRegistry::RecordedKey>& keys) {
  const std::u16string text = RegFileText(keys);
  std::vector<std::uint8_t> bytes = {0xFF, 0xFE};
  for (char16_t c : text) {
    bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  return bytes;
}

}  // namespace qlx::qlxctl
