#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "cipher/stream.h"

namespace qlx::cipher {

// The codec's Base64: RFC 4648 section 4, "=" padding, no line breaks.
// Encodes the whole stream from position 0.
std::u16string EncodeBase64Text(const MemoryStream& source);
// Appends the decoded bytes to destination. Reads whole groups of four only;
// every character takes a position (nothing is skipped) and nothing raises.
void DecodeBase64Text(const std::u16string& text, MemoryStream& destination);

// The alphabet at the level of one group, for encoders with another
// framing (the stored values' outer layer): the 4 characters of k = 1..3
// bytes, "=" padded, appended to out; and the 6-bit value of a character,
// -1 outside the alphabet ("=" included).
void AppendBase64Group(std::u16string& out, const std::uint8_t* bytes, std::size_t k);
int Base64Value(char16_t c) noexcept;

}  // namespace qlx::cipher
