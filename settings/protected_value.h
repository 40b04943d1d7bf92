#pragma once
// The protected form of every stored setting: the codec's Base64 ciphertext
// under one fixed password (inner layer), Base64-encoded once more with
// CR LF line breaks (outer layer). The result is the registry string.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qlx::settings {

// Shared by every installation: changing it orphans all stored values.
inline constexpr char16_t kValuePassword[] = u"K7Rp4mzq";

// One codec run with its own library and codec. Encrypting never fails: a
// lone surrogate in the text is encrypted as U+FFFD, the character Windows
// itself puts in its place. Decrypting stays strict.
std::u16string RunCodec(const std::u16string& text, const std::u16string& password, bool encrypt);
std::u16string EncryptText(const std::u16string& password, const std::u16string& text);
std::u16string DecryptText(const std::u16string& password, const std::u16string& text);

// The outer layer's Base64 encoder: CR LF after every complete run of
// `groups_per_line` groups of four, also when nothing follows; a last group
// of 1 or 2 bytes counts for no line. Decoding skips every character outside
// the alphabet and never fails.
class Base64LineEncoder {
 public:
  explicit Base64LineEncoder(int groups_per_line) : groups_per_line_(groups_per_line) {}
  std::u16string Encode(const std::uint8_t* bytes, std::size_t count) const;
  std::vector<std::uint8_t> Decode(const std::u16string& text) const;

 private:
  int groups_per_line_;
};

// The one outer encoder: 76 characters a line (19 groups).
Base64LineEncoder OuterEncoder();
// A text's UTF-8 bytes, encoded (lone surrogates as U+FFFD, so it never
// fails); and back, strict UTF-8 on the decoded bytes.
std::u16string EncodeOuter(const std::u16string& inner);
std::u16string DecodeOuter(const std::u16string& stored);

// Setting -> registry string, and back.
std::u16string ProtectValue(const std::u16string& value);
std::u16string RevealValue(const std::u16string& stored);

}  // namespace qlx::settings
