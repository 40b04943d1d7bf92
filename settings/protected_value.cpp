#include "settings/protected_value.h"

#include <cstdint>
#include <vector>

#include "base/utf.h"
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
  if (cifra)
    codec.EncryptString(testo, risultato, TEncoding::UTF8);
  else
    codec.DecryptString(risultato, testo, TEncoding::UTF8);
  return risultato;
}

std::u16string CriptaStringa(const std::u16string& password, const std::u16string& testo) {
  return CifraDecifra(testo, password, true);
}

std::u16string DecriptaStringa(const std::u16string& password, const std::u16string& testo) {
  return CifraDecifra(testo, password, false);
}

const cipher::TBase64LineEncoder& CodificatoreEsterno() {
  static const cipher::TBase64LineEncoder codificatore(19);
  return codificatore;
}

std::u16string CodificaEsterna(const std::u16string& interno) {
  const std::vector<std::uint8_t> byte = EncodeText(interno, TEncoding::UTF8);
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
