#pragma once
// An independent reference of the stored-value layout, built on OpenSSL's
// Blowfish (ECB on single blocks) and the formulas, for differential tests.
#include <cstdint>
#include <string>
#include <vector>

namespace qlx::cipher::reference {

using Bytes = std::vector<std::uint8_t>;

enum class Stealing {
  ChainedToPrevious,  // X and Y both chained to C(m-1): the stored layout
  Common,             // Y = E((Q || 0) XOR X): the textbook form, for contrast
};

// IV || body for a plaintext under a Blowfish key made of keyBytes.
Bytes Encrypt(const Bytes& keyBytes, const Bytes& iv, const Bytes& plain, Stealing form = Stealing::ChainedToPrevious);
// The inverse of Encrypt for the stored layout.
Bytes Decrypt(const Bytes& keyBytes, const Bytes& ciphertext);

std::string Base64(const Bytes& bytes);
Bytes Utf16LE(const std::u16string& text);

}  // namespace qlx::cipher::reference
