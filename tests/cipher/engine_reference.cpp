#include "tests/cipher/engine_reference.h"

#include <openssl/blowfish.h>
#include <openssl/evp.h>

#include <cstring>
#include <stdexcept>

namespace qlx::cipher::reference {

namespace {

constexpr std::size_t B = 8;

struct Cipher {
  explicit Cipher(const Bytes& key) { BF_set_key(&k, static_cast<int>(key.size()), key.data()); }
  Bytes E(const Bytes& in) const {
    Bytes out(B);
    BF_ecb_encrypt(in.data(), out.data(), &k, BF_ENCRYPT);
    return out;
  }
  Bytes D(const Bytes& in) const {
    Bytes out(B);
    BF_ecb_encrypt(in.data(), out.data(), &k, BF_DECRYPT);
    return out;
  }
  BF_KEY k;
};

Bytes Xor(Bytes a, const Bytes& b) {
  for (std::size_t i = 0; i < B; ++i) a[i] ^= b[i];
  return a;
}

Bytes Block(const Bytes& data, std::size_t offset) { return Bytes(data.begin() + offset, data.begin() + offset + B); }

void Append(Bytes& out, const Bytes& part, std::size_t count) { out.insert(out.end(), part.begin(), part.begin() + count); }

// CFB with 8-bit feedback: shift register starts as the IV.
Bytes Cfb8(const Cipher& c, const Bytes& iv, const Bytes& in, bool encrypt) {
  Bytes reg = iv, out;
  for (std::uint8_t x : in) {
    const std::uint8_t k = c.E(reg)[0];
    const std::uint8_t y = static_cast<std::uint8_t>(x ^ k);
    const std::uint8_t fed = encrypt ? y : x;
    reg.erase(reg.begin());
    reg.push_back(fed);
    out.push_back(y);
  }
  return out;
}

}  // namespace

Bytes Encrypt(const Bytes& keyBytes, const Bytes& iv, const Bytes& plain, Stealing form) {
  if (iv.size() != B) throw std::invalid_argument("iv");
  const std::size_t n = plain.size();
  if (n == 0) return {};
  const Cipher c(keyBytes);
  Bytes out = iv;
  if (n < B) {
    const Bytes body = Cfb8(c, iv, plain, true);
    Append(out, body, body.size());
    return out;
  }
  const std::size_t m = n / B, r = n % B;
  Bytes prev = iv;
  const std::size_t plainBlocks = r == 0 ? m : m - 1;
  for (std::size_t i = 0; i < plainBlocks; ++i) {
    prev = c.E(Xor(Block(plain, i * B), prev));
    Append(out, prev, B);
  }
  if (r == 0) return out;
  const Bytes x = c.E(Xor(Block(plain, (m - 1) * B), prev));
  Bytes tail(B, 0);
  std::memcpy(tail.data(), plain.data() + m * B, r);
  Bytes y;
  if (form == Stealing::ChainedToPrevious) {
    for (std::size_t i = r; i < B; ++i) tail[i] = x[i];
    y = c.E(Xor(tail, prev));
  } else {
    y = c.E(Xor(tail, x));
  }
  Append(out, y, B);
  Append(out, x, r);
  return out;
}

Bytes Decrypt(const Bytes& keyBytes, const Bytes& ct) {
  if (ct.size() <= B) return {};
  const Cipher c(keyBytes);
  const Bytes iv(ct.begin(), ct.begin() + B);
  const Bytes body(ct.begin() + B, ct.end());
  const std::size_t n = body.size();
  if (n < B) return Cfb8(c, iv, body, false);
  const std::size_t m = n / B, r = n % B;
  Bytes prev = iv, out;
  const std::size_t plainBlocks = r == 0 ? m : m - 1;
  for (std::size_t i = 0; i < plainBlocks; ++i) {
    const Bytes ci = Block(body, i * B);
    Append(out, Xor(c.D(ci), prev), B);
    prev = ci;
  }
  if (r == 0) return out;
  const Bytes y = Block(body, (m - 1) * B);
  const Bytes t = Xor(c.D(y), prev);  // Q || X[r..]
  Bytes x(B);
  std::memcpy(x.data(), body.data() + m * B, r);
  for (std::size_t i = r; i < B; ++i) x[i] = t[i];
  Append(out, Xor(c.D(x), prev), B);
  Append(out, t, r);
  return out;
}

std::string Base64(const Bytes& bytes) {
  std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  const int len = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()), bytes.data(), static_cast<int>(bytes.size()));
  out.resize(static_cast<std::size_t>(len));
  return out;
}

Bytes Utf16LE(const std::u16string& text) {
  Bytes out;
  for (char16_t u : text) {
    out.push_back(static_cast<std::uint8_t>(u & 0xFF));
    out.push_back(static_cast<std::uint8_t>(u >> 8));
  }
  return out;
}

}  // namespace qlx::cipher::reference
