#include "settings/protected_value.h"

#include "base/utf.h"
#include "base/wipe.h"
#include "cipher/base64.h"
#include "cipher/codec.h"
#include "cipher/library.h"

namespace qlx::settings {

std::u16string RunCodec(const std::u16string& text, const std::u16string& password, bool encrypt) {
  // Declared before the codec so that it outlives it: the codec detaches
  // from its library when it is destroyed.
  cipher::TCryptographicLibrary library;
  cipher::TCodec codec;
  codec.SetCryptoLibrary(&library);
  codec.SetStreamCipherId(u"native.StreamToBlock");
  codec.SetChainModeId(u"native.CBC");
  codec.SetBlockCipherId(u"native.Blowfish");
  codec.SetPassword(password);
  std::u16string result;
  if (encrypt) {
    // The strict engine refuses a text with a lone surrogate, which would
    // stop a save half-way through its values; Windows would have stored
    // U+FFFD in its place, and so do we.
    Wiped<std::u16string> valid(text);
    ReplaceLoneSurrogates(*valid);
    codec.EncryptString(*valid, result, TEncoding::UTF8);
  } else {
    codec.DecryptString(result, text, TEncoding::UTF8);
  }
  return result;
}

std::u16string EncryptText(const std::u16string& password, const std::u16string& text) {
  return RunCodec(text, password, true);
}

std::u16string DecryptText(const std::u16string& password, const std::u16string& text) {
  return RunCodec(text, password, false);
}

std::u16string Base64LineEncoder::Encode(const std::uint8_t* bytes, std::size_t count) const {
  const std::size_t whole = count / 3;
  const std::size_t per_line = groups_per_line_ > 0 ? static_cast<std::size_t>(groups_per_line_) : 0;
  std::u16string text;
  text.reserve((count + 2) / 3 * 4 + (per_line > 0 ? whole / per_line * 2 : 0));
  for (std::size_t g = 0; g < whole; ++g) {
    cipher::AppendBase64Group(text, bytes + 3 * g, 3);
    if (per_line > 0 && (g + 1) % per_line == 0) text += u"\r\n";
  }
  if (count % 3 != 0) cipher::AppendBase64Group(text, bytes + 3 * whole, count % 3);
  return text;
}

std::vector<std::uint8_t> Base64LineEncoder::Decode(const std::u16string& text) const {
  std::vector<std::uint8_t> decoded;
  decoded.reserve(text.size() / 4 * 3 + 2);
  std::uint32_t gathered = 0;
  int bits = 0;
  for (char16_t c : text) {
    const int value = cipher::Base64Value(c);
    if (value < 0) continue;
    // 6 bits in, a byte out whenever 8 have gathered: 4 characters give 3
    // bytes, a remainder of 2 or 3 gives 1 or 2, a single one nothing.
    gathered = (gathered << 6) | static_cast<std::uint32_t>(value);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      decoded.push_back(static_cast<std::uint8_t>(gathered >> bits));
      gathered &= (1u << bits) - 1;
    }
  }
  return decoded;
}

Base64LineEncoder OuterEncoder() { return Base64LineEncoder(19); }

std::u16string EncodeOuter(const std::u16string& inner) {
  std::u16string valid = inner;
  ReplaceLoneSurrogates(valid);
  const std::vector<std::uint8_t> bytes = EncodeText(valid, TEncoding::UTF8);
  return OuterEncoder().Encode(bytes.data(), bytes.size());
}

std::u16string DecodeOuter(const std::u16string& stored) {
  const std::vector<std::uint8_t> decoded = OuterEncoder().Decode(stored);
  return DecodeText(decoded.data(), decoded.size(), TEncoding::UTF8);
}

std::u16string ProtectValue(const std::u16string& value) {
  return EncodeOuter(EncryptText(kValuePassword, value));
}

std::u16string RevealValue(const std::u16string& stored) {
  return DecryptText(kValuePassword, DecodeOuter(stored));
}

}  // namespace qlx::settings
