#include "cipher/base64.h"

#include <algorithm>
#include <array>

namespace qlx::cipher {

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::int8_t kNotInAlphabet = -1;

// Character code -> 6-bit value; fixed at compile time, so read-only.
constexpr std::array<std::int8_t, 128> kDecodeTable = [] {
  std::array<std::int8_t, 128> table{};
  for (auto& v : table) v = kNotInAlphabet;
  for (int i = 0; i < 64; ++i) table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::int8_t>(i);
  return table;
}();

// Emits the complete bytes of `count` packed 6-bit values (count 0..4).
void EmitBytes(std::uint32_t v, int count, std::uint8_t* out, std::size_t& n) {
  v <<= 6 * (4 - count);  // align as a full 24-bit group
  const int bytes = count * 6 / 8;
  for (int i = 0; i < bytes; ++i) out[n++] = static_cast<std::uint8_t>(v >> (16 - 8 * i));
}

}  // namespace

int Base64Value(char16_t c) noexcept { return c < 128 ? kDecodeTable[c] : kNotInAlphabet; }

void AppendBase64Group(std::u16string& out, const std::uint8_t* p, std::size_t k) {
  const std::uint32_t v = (std::uint32_t{p[0]} << 16) | (k > 1 ? std::uint32_t{p[1]} << 8 : 0u) | (k > 2 ? p[2] : 0u);
  out.push_back(static_cast<char16_t>(kAlphabet[(v >> 18) & 63]));
  out.push_back(static_cast<char16_t>(kAlphabet[(v >> 12) & 63]));
  out.push_back(k > 1 ? static_cast<char16_t>(kAlphabet[(v >> 6) & 63]) : u'=');
  out.push_back(k > 2 ? static_cast<char16_t>(kAlphabet[v & 63]) : u'=');
}

std::u16string EncodeBase64Text(const MemoryStream& source) {
  const std::uint8_t* p = source.Memory();
  const std::size_t size = static_cast<std::size_t>(source.Size());
  std::u16string out;
  out.reserve((size + 2) / 3 * 4);
  for (std::size_t i = 0; i < size; i += 3) AppendBase64Group(out, p + i, std::min<std::size_t>(3, size - i));
  return out;
}

void DecodeBase64Text(const std::u16string& text, MemoryStream& destination) {
  const std::size_t groups = text.size() / 4;
  destination.Seek(0, SeekOrigin::End);
  std::uint8_t bytes[3];
  for (std::size_t g = 0; g < groups; ++g) {
    std::uint32_t v = 0;
    int taken = 0;
    for (; taken < 4; ++taken) {
      const char16_t c = text[4 * g + taken];
      if (c == u'=') break;
      // A stray character decodes as 0: the group still counts.
      const int value = Base64Value(c);
      v = (v << 6) | static_cast<std::uint32_t>(value < 0 ? 0 : value);
    }
    std::size_t n = 0;
    EmitBytes(v, taken, bytes, n);
    destination.WriteBuffer(bytes, static_cast<std::int64_t>(n));
  }
  WipeBytes(bytes, sizeof bytes);
}

}  // namespace qlx::cipher
