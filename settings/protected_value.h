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
inline constexpr char16_t PasswordCifratura[] = u"K7Rp4mzq";

// One codec run with its own library and codec. Encrypting never fails: a
// lone surrogate in the text is encrypted as U+FFFD, the character Windows
// itself puts in its place. Decrypting stays strict.
std::u16string CifraDecifra(const std::u16string& testo, const std::u16string& password, bool cifra);
std::u16string CriptaStringa(const std::u16string& password, const std::u16string& testo);
std::u16string DecriptaStringa(const std::u16string& password, const std::u16string& testo);

// The outer layer's Base64 encoder: CR LF after every complete run of
// `gruppi_per_riga` groups of four, also when nothing follows; a last group
// of 1 or 2 bytes counts for no line. Decoding skips every character outside
// the alphabet and never fails.
class TBase64LineEncoder {
 public:
  explicit TBase64LineEncoder(int gruppi_per_riga) : gruppi_per_riga_(gruppi_per_riga) {}
  std::u16string Encode(const std::uint8_t* bytes, std::size_t count) const;
  std::vector<std::uint8_t> Decode(const std::u16string& text) const;

 private:
  int gruppi_per_riga_;
};

// The one outer encoder: 76 characters a line (19 groups).
const TBase64LineEncoder& CodificatoreEsterno();
// A text's UTF-8 bytes, encoded (lone surrogates as U+FFFD, so it never
// fails); and back, strict UTF-8 on the decoded bytes.
std::u16string CodificaEsterna(const std::u16string& interno);
std::u16string DecodificaEsterna(const std::u16string& memorizzato);

// Setting -> registry string, and back.
std::u16string ProteggiValore(const std::u16string& valore);
std::u16string RivelaValore(const std::u16string& memorizzato);

}  // namespace qlx::settings
