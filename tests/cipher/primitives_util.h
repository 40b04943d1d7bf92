#pragma once
// Small helpers shared by the primitives' tests.
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "cipher/stream.h"

namespace qlx::cipher::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes FromHex(const std::string& hex) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  return out;
}

inline std::string ToHex(const std::uint8_t* p, std::size_t n) {
  static const char* digits = "0123456789ABCDEF";
  std::string s;
  for (std::size_t i = 0; i < n; ++i) {
    s += digits[p[i] >> 4];
    s += digits[p[i] & 15];
  }
  return s;
}
inline std::string ToHex(const Bytes& b) { return ToHex(b.data(), b.size()); }

inline Bytes RandomBytes(std::mt19937& rng, std::size_t n) {
  Bytes b(n);
  for (auto& x : b) x = static_cast<std::uint8_t>(rng());
  return b;
}

inline Bytes StreamBytes(const MemoryStream& s) { return s.Bytes(); }

// ASCII-only narrowing, for comparing engine texts in messages.
inline std::string Narrow(const std::u16string& s) { return {s.begin(), s.end()}; }
inline std::u16string Widen(const std::string& s) { return {s.begin(), s.end()}; }

}  // namespace qlx::cipher::test
