// DecodeBase64Text and the stored values' outer line decoder on arbitrary text.
// Neither may raise, and both must produce exactly the byte count their
// grouping rules give; whatever the encoders make must decode back.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cipher/base64.h"
#include "cipher/stream.h"
#include "harness.h"
#include "settings/protected_value.h"

namespace {

using namespace qlx::cipher;

bool InAlphabet(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'+' ||
         c == u'/';
}

// Whole groups of four; within one, the characters before the first "="
// count, and 4, 3, 2, 1, 0 of them give 3, 2, 1, 0, 0 bytes.
std::size_t CodecDecodedSize(const std::u16string& text) {
  std::size_t total = 0;
  for (std::size_t g = 0; g < text.size() / 4; ++g) {
    std::size_t taken = 0;
    while (taken < 4 && text[4 * g + taken] != u'=') ++taken;
    total += taken * 6 / 8;
  }
  return total;
}

void CheckDecoders(const std::u16string& text) {
  MemoryStream decoded;
  // The stream's position after the decode: bytes are appended, not
  // written over what is there.
  const std::uint8_t marker = 0xA5;
  decoded.WriteBuffer(&marker, 1);
  qlx::fuzz::Guarded([&] { DecodeBase64Text(text, decoded); }, {});
  QLX_FUZZ_CHECK(decoded.Size() == static_cast<std::int64_t>(1 + CodecDecodedSize(text)));
  QLX_FUZZ_CHECK(decoded.Memory()[0] == marker);

  // A text made only of alphabet characters in whole groups is the
  // encoding of what it decodes to, and nothing else.
  bool canonical = text.size() % 4 == 0;
  for (char16_t c : text) canonical = canonical && InAlphabet(c);
  if (canonical) {
    MemoryStream body(decoded.Memory() + 1, static_cast<std::size_t>(decoded.Size() - 1));
    QLX_FUZZ_CHECK(EncodeBase64Text(body) == text);
  }

  const qlx::settings::Base64LineEncoder lines = qlx::settings::OuterEncoder();
  std::vector<std::uint8_t> bytes;
  qlx::fuzz::Guarded([&] { bytes = lines.Decode(text); }, {});
  std::u16string alphabet_only;
  for (char16_t c : text)
    if (InAlphabet(c)) alphabet_only.push_back(c);
  const std::size_t n = alphabet_only.size();
  QLX_FUZZ_CHECK(bytes.size() == n / 4 * 3 + (n % 4 == 0 || n % 4 == 1 ? 0 : n % 4 - 1));
  // Everything outside the alphabet is skipped, wherever it stands.
  QLX_FUZZ_CHECK(lines.Decode(alphabet_only) == bytes);
}

void CheckRoundTrips(const std::uint8_t* data, std::size_t size) {
  MemoryStream source(data, size);
  const std::u16string text = EncodeBase64Text(source);
  QLX_FUZZ_CHECK(text.size() == (size + 2) / 3 * 4);
  MemoryStream back;
  DecodeBase64Text(text, back);
  QLX_FUZZ_CHECK(back.Bytes() == std::vector<std::uint8_t>(data, data + size));

  const qlx::settings::Base64LineEncoder lines = qlx::settings::OuterEncoder();
  const std::u16string stored = lines.Encode(data, size);
  // 76 characters and CR LF per full line of 57 bytes.
  QLX_FUZZ_CHECK(stored.size() == (size + 2) / 3 * 4 + size / 57 * 2);
  QLX_FUZZ_CHECK(lines.Decode(stored) == std::vector<std::uint8_t>(data, data + size));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CheckDecoders(qlx::fuzz::AsLatin1(data, size));
  CheckDecoders(qlx::fuzz::AsUtf16Units(data, size));
  CheckRoundTrips(data, size);
  return 0;
}
