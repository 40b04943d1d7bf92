// TCodec::DecryptString on arbitrary text, set up as the settings store sets
// it up. Damaged ciphertext is not detected (there is no check value), so
// the only error it may raise is the strict UTF-8 refusal; and what it does
// return has exactly as many bytes as the ciphertext body.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/utf.h"
#include "cipher/base64.h"
#include "cipher/codec.h"
#include "cipher/library.h"
#include "cipher/stream.h"
#include "harness.h"

namespace {

using namespace qlx::cipher;

const std::u16string kPassword = u"K7Rp4mzq";
constexpr std::int64_t kNonceBytes = 8;

template <class F>
void WithCodec(F&& f) {
  TCryptographicLibrary library;
  TCodec codec;
  codec.SetCryptoLibrary(&library);
  codec.SetStreamCipherId(u"native.StreamToBlock");
  codec.SetChainModeId(u"native.CBC");
  codec.SetBlockCipherId(u"native.Blowfish");
  codec.SetPassword(kPassword);
  f(codec);
}

void CheckDecrypt(const std::u16string& text) {
  MemoryStream cipher_bytes;
  DecodeBase64Text(text, cipher_bytes);
  const std::int64_t body = cipher_bytes.Size() > kNonceBytes ? cipher_bytes.Size() - kNonceBytes : 0;

  std::u16string plain;
  const char* refused = qlx::fuzz::Guarded(
      [&] { WithCodec([&](TCodec& codec) { codec.DecryptString(plain, text, qlx::TEncoding::UTF8); }); },
      {qlx::kNoMappingText});
  if (refused != nullptr) {
    // No bytes at all cannot be invalid UTF-8.
    QLX_FUZZ_CHECK(body > 0);
    return;
  }
  QLX_FUZZ_CHECK(static_cast<std::int64_t>(qlx::EncodeText(plain, qlx::TEncoding::UTF8).size()) == body);
}

// Inputs that are valid UTF-8 also make a setting to protect and reveal.
void CheckRoundTrip(const std::uint8_t* data, std::size_t size) {
  std::u16string setting;
  if (qlx::fuzz::Guarded([&] { setting = qlx::DecodeText(data, size, qlx::TEncoding::UTF8); },
                         {qlx::kNoMappingText}) != nullptr)
    return;
  std::u16string cipher_text, back;
  qlx::fuzz::Guarded([&] { WithCodec([&](TCodec& c) { c.EncryptString(setting, cipher_text, qlx::TEncoding::UTF8); }); },
                     {});
  const std::size_t c = size == 0 ? 0 : size + kNonceBytes;
  QLX_FUZZ_CHECK(cipher_text.size() == (c + 2) / 3 * 4);
  qlx::fuzz::Guarded([&] { WithCodec([&](TCodec& d) { d.DecryptString(back, cipher_text, qlx::TEncoding::UTF8); }); },
                     {});
  QLX_FUZZ_CHECK(back == setting);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CheckDecrypt(qlx::fuzz::AsLatin1(data, size));
  CheckDecrypt(qlx::fuzz::AsUtf16Units(data, size));
  CheckRoundTrip(data, size);
  return 0;
}
