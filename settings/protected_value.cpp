#include "settings/protected_value.h"

#include "base/utf.h"
#include "base/wipe.h"
#include "cipher/base64.h"
#include "cipher/codec.h"
#include "cipher/library.h"

namespace qlx::settings {

std::u16string CifraDecifra(const std::u16string& testo, const std::u16string& password, bool cifra) {
  // Declared before the codec so that it outlives it: the codec detaches
  // from its library when it is destroyed.
  cipher::TCryptographicLibrary libreria;
  cipher::TCodec codec;
  codec.SetCryptoLibrary(&libreria);
  codec.SetStreamCipherId(u"native.StreamToBlock");
  codec.SetChainModeId(u"native.CBC");
  codec.SetBlockCipherId(u"native.Blowfish");
  codec.SetPassword(password);
  std::u16string risultato;
  if (cifra) {
    // The strict engine refuses a text with a lone surrogate, which would
    // stop a save half-way through its values; Windows would have stored
    // U+FFFD in its place, and so do we.
    Wiped<std::u16string> valido(testo);
    ReplaceLoneSurrogates(*valido);
    codec.EncryptString(*valido, risultato, TEncoding::UTF8);
  } else {
    codec.DecryptString(risultato, testo, TEncoding::UTF8);
  }
  return risultato;
}

std::u16string CriptaStringa(const std::u16string& password, const std::u16string& testo) {
  return CifraDecifra(testo, password, true);
}

std::u16string DecriptaStringa(const std::u16string& password, const std::u16string& testo) {
  return CifraDecifra(testo, password, false);
}

std::u16string TBase64LineEncoder::Encode(const std::uint8_t* bytes, std::size_t count) const {
  const std::size_t interi = count / 3;
  const std::size_t per_riga = gruppi_per_riga_ > 0 ? static_cast<std::size_t>(gruppi_per_riga_) : 0;
  std::u16string testo;
  testo.reserve((count + 2) / 3 * 4 + (per_riga > 0 ? interi / per_riga * 2 : 0));
  for (std::size_t g = 0; g < interi; ++g) {
    cipher::AppendBase64Group(testo, bytes + 3 * g, 3);
    if (per_riga > 0 && (g + 1) % per_riga == 0) testo += u"\r\n";
  }
  if (count % 3 != 0) cipher::AppendBase64Group(testo, bytes + 3 * interi, count % 3);
  return testo;
}

std::vector<std::uint8_t> TBase64LineEncoder::Decode(const std::u16string& text) const {
  std::vector<std::uint8_t> byte;
  byte.reserve(text.size() / 4 * 3 + 2);
  std::uint32_t accumulati = 0;
  int bit = 0;
  for (char16_t c : text) {
    const int valore = cipher::Base64Value(c);
    if (valore < 0) continue;
    // 6 bits in, a byte out whenever 8 have gathered: 4 characters give 3
    // bytes, a remainder of 2 or 3 gives 1 or 2, a single one nothing.
    accumulati = (accumulati << 6) | static_cast<std::uint32_t>(valore);
    bit += 6;
    if (bit >= 8) {
      bit -= 8;
      byte.push_back(static_cast<std::uint8_t>(accumulati >> bit));
      accumulati &= (1u << bit) - 1;
    }
  }
  return byte;
}

const TBase64LineEncoder& CodificatoreEsterno() {
  static const TBase64LineEncoder codificatore(19);
  return codificatore;
}

std::u16string CodificaEsterna(const std::u16string& interno) {
  std::u16string valido = interno;
  ReplaceLoneSurrogates(valido);
  const std::vector<std::uint8_t> byte = EncodeText(valido, TEncoding::UTF8);
  return CodificatoreEsterno().Encode(byte.data(), byte.size());
}

std::u16string DecodificaEsterna(const std::u16string& memorizzato) {
  const std::vector<std::uint8_t> byte = CodificatoreEsterno().Decode(memorizzato);
  return DecodeText(byte.data(), byte.size(), TEncoding::UTF8);
}

std::u16string ProteggiValore(const std::u16string& valore) {
  return CodificaEsterna(CriptaStringa(PasswordCifratura, valore));
}

std::u16string RivelaValore(const std::u16string& memorizzato) {
  return DecriptaStringa(PasswordCifratura, DecodificaEsterna(memorizzato));
}

}  // namespace qlx::settings
