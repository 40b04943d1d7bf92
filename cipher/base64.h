#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cipher/stream.h"

namespace qlx::cipher {

// The codec's Base64: RFC 4648 section 4, "=" padding, no line breaks.
// Encodes the whole stream from position 0.
std::u16string EncodeBase64Text(const MemoryStream& source);
// Appends the decoded bytes to destination. Reads whole groups of four only;
// every character takes a position (nothing is skipped) and nothing raises.
void DecodeBase64Text(const std::u16string& text, MemoryStream& destination);

// The line-wrapping encoder of stored values: CR LF after every complete
// run of `groups_per_line` groups of four (also at the very end); decoding
// skips every character outside the alphabet.
class TBase64LineEncoder {
 public:
  explicit TBase64LineEncoder(int groups_per_line = 19) : groups_per_line_(groups_per_line) {}
  std::u16string Encode(const std::uint8_t* bytes, std::size_t count) const;
  std::vector<std::uint8_t> Decode(const std::u16string& text) const;
  // The stored-value form: a text's UTF-8 bytes in, and back. Decoding
  // raises the no-mapping error when the bytes are not valid UTF-8.
  std::u16string EncodeString(const std::u16string& text) const;
  std::u16string DecodeString(const std::u16string& text) const;

 private:
  int groups_per_line_;
};

}  // namespace qlx::cipher
